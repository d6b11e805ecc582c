// The Win32 platform layer as far as Wine lets it be exercised: image files
// through every path form the wizard produces, the drive listing (with a
// drive that scripts/windows-check.sh maps to a folder), free space, and the
// output files' create-new rule.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "platform/free_space.hpp"
#include "platform/source_list.hpp"
#include "platform/source_paths.hpp"
#include "platform/source_reader.hpp"
#include "recovery/output_sink.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The narrow form the core's paths take (UTF-8 with the manifest's code page).
std::string Narrow(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// In a folder with a Chinese name: the narrow paths are UTF-8.
TEST(Win32Reader, ImageFilesReadAlikeThroughEveryPathForm) {
    test::TempDir dir;
    const std::filesystem::path folder = dir / "恢复的视频";
    std::filesystem::create_directories(folder);
    const auto bytes = Pattern(5 * 512 + 100);  // not a whole number of sectors
    WriteFile(folder / "card.img", bytes);
    const std::string plain = Narrow(folder / "card.img");
    for (const std::string& path : {plain, Win32SourcePath(SourceKind::Image, plain)}) {
        SCOPED_TRACE(path);
        auto reader = SourceReader::open(path);
        ASSERT_TRUE(reader) << reader.error().reason;
        EXPECT_EQ(reader->size(), static_cast<std::int64_t>(bytes.size()));
        std::vector<std::uint8_t> buf(1024);
        const ReadReport middle = reader->read_at(700, buf);
        EXPECT_TRUE(middle.clean());
        EXPECT_EQ(middle.bytes, buf.size());
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), bytes.begin() + 700));
        // Across the end: the rest reads as zeros and is said to be past the end.
        const std::int64_t near_end = static_cast<std::int64_t>(bytes.size()) - 100;
        const ReadReport tail = reader->read_at(near_end, buf);
        EXPECT_TRUE(tail.end_of_medium);
        EXPECT_EQ(tail.bytes, 100u);
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 100, bytes.end() - 100));
        EXPECT_EQ(std::accumulate(buf.begin() + 100, buf.end(), 0), 0);
    }
}

TEST(Win32Reader, AMissingFileSaysWhyInTheSystemsWords) {
    test::TempDir dir;
    const auto reader = SourceReader::open(Narrow(dir / "no-such.img"));
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().code, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reader.error().reason.empty());
}

TEST(Win32Listing, DrivesAreListedAsVolumesWithTheirDeviceForm) {
    const auto volumes = ListVolumes({});
    ASSERT_FALSE(volumes.empty());
    for (const VolumeEntry& v : volumes) {
        SCOPED_TRACE(v.text);
        ASSERT_EQ(v.device.size(), 6u);
        EXPECT_EQ(v.device.substr(0, 4), "\\\\.\\");
        EXPECT_EQ(v.text.substr(0, 2), v.device.substr(4, 2));
    }
    // windows-check maps a drive letter to a folder: it is listed like a card.
    if (const char* mapped = std::getenv("TAVORINE_MAPPED_DRIVE")) {
        const bool listed = std::any_of(volumes.begin(), volumes.end(), [&](const VolumeEntry& v) {
            return v.device == Win32SourcePath(SourceKind::Volume, mapped);
        });
        EXPECT_TRUE(listed) << mapped;
    }
    for (const DiskEntry& d : ListDisks()) {
        SCOPED_TRACE(d.text);
        EXPECT_EQ(d.device, Win32SourcePath(SourceKind::Disk, std::to_string(d.number)));
    }
}

TEST(Win32FreeSpace, TheDriveOfAnExistingFolderAndNothingForAMissingOne) {
    test::TempDir dir;
    const std::string folder = Narrow(dir.path());
    const auto space = QueryFreeSpace(folder);
    ASSERT_TRUE(space);
    EXPECT_EQ(space->drive, folder.substr(0, 2));
    EXPECT_GT(space->free_bytes, 0u);
    EXPECT_FALSE(QueryFreeSpace(Narrow(dir / "not-made-yet")));
}

TEST(Win32OutputFile, IsCreatedNewAndNeverOverwritesAFile) {
    test::TempDir dir;
    const std::string path = Narrow(dir / "MVI_0001.MOV");
    {
        auto sink = FileSink::create(path);
        ASSERT_TRUE(sink) << sink.error();
        const auto bytes = Pattern(3000);
        EXPECT_TRUE((*sink)->write(bytes));
        EXPECT_TRUE((*sink)->close());
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "MVI_0001.MOV"), 3000u);
    EXPECT_FALSE(FileSink::create(path));
    EXPECT_EQ(std::filesystem::file_size(dir / "MVI_0001.MOV"), 3000u);
}

}  // namespace
}  // namespace tav
