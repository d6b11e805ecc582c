// Path forms of the sources: the Windows forms (pure, tested everywhere) and
// the disk-line parse; on Linux, paths that are used as they are.

#include <gtest/gtest.h>

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

TEST(DiskLines, NumberIsEveryDigitUpToTheColon) {
    EXPECT_EQ(DiskNumberOfLine("HDD0:ST500DM002 (465.76 GB, ATA)"), 0);
    EXPECT_EQ(DiskNumberOfLine("HDD12:Disk"), 12);
    EXPECT_EQ(DiskNumberOfLine("RM  3:Cruzer"), 3);
    EXPECT_EQ(DiskNumberOfLine("RM  255:x"), 255);
}

TEST(DiskLines, OtherTextsAreNoDiskLine) {
    for (const char* text : {"", "HDD", "HDD:", "HDDx:", "HDD1", "RM 3:x", "Recording.img",
                             "H:\\clip.img", "E:DATA", "/dev/sdb", "HDD99999999999:x"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(DiskNumberOfLine(text).has_value());
    }
}

#ifndef _WIN32
TEST(LinuxSelection, PathsAndImagesAreUsedUnchanged) {
    EXPECT_EQ(DevicePathForSelection("/dev/sdb1", "sdb1:DATA"), "/dev/sdb1");
    EXPECT_EQ(DevicePathForSelection("/home/u/card.img", "/home/u/card.img"), "/home/u/card.img");
    EXPECT_EQ(DevicePathForSelection("card.img", "card.img"), "card.img");
    // An image whose name looks like a disk line but whose text is a path.
    EXPECT_EQ(DevicePathForSelection("HDD1:x.img", "HDD1:x.img"), "HDD1:x.img");
    // Asking twice gives the same path.
    EXPECT_EQ(DevicePathForSelection("/dev/sdb1", "sdb1:DATA"),
              DevicePathForSelection("/dev/sdb1", "sdb1:DATA"));
}
#endif

}  // namespace
}  // namespace tav
