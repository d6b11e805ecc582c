// Path forms of the sources: the Windows forms, pure and tested everywhere.

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/source_paths.hpp"

namespace tav {
namespace {

TEST(Win32Paths, VolumeDiskAndImageForms) {
    EXPECT_EQ(Win32SourcePath(SourceKind::Volume, "E:"), "\\\\.\\E:");
    // No trailing backslash: the volume itself, not its root folder.
    EXPECT_EQ(Win32SourcePath(SourceKind::Volume, "E:\\"), "\\\\.\\E:");
    EXPECT_EQ(Win32SourcePath(SourceKind::Disk, "1"), "\\\\.\\PhysicalDrive1");
    EXPECT_EQ(Win32SourcePath(SourceKind::Disk, "12"), "\\\\.\\PhysicalDrive12");
    EXPECT_EQ(Win32SourcePath(SourceKind::Image, "D:\\backup\\card.img"),
              "\\\\.\\D:\\backup\\card.img");
    EXPECT_EQ(Win32SourcePath(SourceKind::Image, "\\\\server\\share\\card.img"),
              "\\\\server\\share\\card.img");
    EXPECT_EQ(Win32SourcePath(SourceKind::Image, "card.img"), "card.img");
    EXPECT_EQ(Win32SourcePath(SourceKind::Image, ""), "");
}

TEST(Win32Paths, DeviceFormsTellVolumesAndDisks) {
    const std::vector<std::pair<std::string, std::optional<PathKind>>> cases = {
        {"\\\\.\\E:", PathKind::Partition},
        {"\\\\.\\PhysicalDrive0", PathKind::WholeDisk},
        {"\\\\.\\physicaldrive12", PathKind::WholeDisk},
        {"\\\\.\\E:\\", std::nullopt},  // the root folder, not the volume
        {"\\\\.\\D:\\backup\\card.img", std::nullopt},
        {"\\\\.\\PhysicalDrive", std::nullopt},
        {"\\\\.\\PhysicalDrive1x", std::nullopt},
        {"\\\\.\\1:", std::nullopt},
        {"E:", std::nullopt},
        {"PhysicalDrive1", std::nullopt},
        {"\\\\server\\share\\card.img", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(Win32DeviceKind(path), kind) << path;
}

}  // namespace
}  // namespace tav
