#include <gtest/gtest.h>

#include <regex>

#include "common/log_line.hpp"
#include "scan/scan_start.hpp"

namespace tav {
namespace {

std::tm at(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

TEST(LogLine, UsesShortDateLongTimeAndTwoSpaces) {
    EXPECT_EQ(format_log_line(at(2012, 5, 3, 9, 4, 7), "扫描完成"), "[2012/5/3 9:04:07]  扫描完成");
    EXPECT_EQ(format_log_line(at(2026, 12, 31, 23, 59, 59), ""), "[2026/12/31 23:59:59]  ");
    const std::string now = make_log_line("开始扫描......");
    EXPECT_TRUE(std::regex_match(
        now, std::regex(R"(\[\d{4}/\d{1,2}/\d{1,2} \d{1,2}:\d{2}:\d{2}\]  开始扫描\.{6})")))
        << now;
}

TDiskInfo ntfs_volume() {
    TDiskInfo d;
    d.BytesPerSector = 512;
    d.SectorsPerCluster = 8;
    d.BytesPerCluster = 4096;
    d.StartSector = 0;
    d.EndSector = 1953523711;
    d.FileSystem = "NTFS";
    return d;
}

TDiskInfo raw_image() {
    TDiskInfo d;
    d.BytesPerSector = 512;
    d.SectorsPerCluster = 8;
    d.BytesPerCluster = 4096;
    d.EndSector = 4096;
    d.FileSystem = "Raw";
    return d;
}

SourceSelection drive(const TDiskInfo& info) {
    return {"E:", "E:DATA", false, info};
}
SourceSelection image(const TDiskInfo& info) {
    return {"/x/card.img", "/x/card.img", true, info};
}

TEST(ScanStart, DeletionOfADriveLogsEveryHeaderLineInOrder) {
    ScanSettings s;
    const auto plan = PlanScanStart(drive(ntfs_volume()), s);
    EXPECT_EQ(plan.ScanKind, 0);
    EXPECT_EQ(plan.ScanAllSpace, 0);
    EXPECT_EQ(plan.header_messages,
              (std::vector<std::string>{"扫描盘符:  E:DATA", "扫描方式:  误删除", "文件系统:  NTFS",
                                        "扇区大小:  512Byte", "    簇大小:  8Sec", "起始扇区:  0",
                                        "结束扇区:  1953523711", "开始扫描......"}));
    // Stamped, the cluster-size line carries six spaces after the bracket.
    EXPECT_EQ(format_log_line(at(2012, 5, 3, 1, 2, 3), plan.header_messages[4]),
              "[2012/5/3 1:02:03]      簇大小:  8Sec");
}

TEST(ScanStart, FormattingFollowsTheSchemeAndDeepScanHasNoClusterLine) {
    ScanSettings s;
    s.ScanMode = kModeFormat;
    s.FormatScheme = 1;
    auto plan = PlanScanStart(drive(ntfs_volume()), s);
    EXPECT_EQ(plan.ScanKind, 1);
    EXPECT_EQ(plan.ScanAllSpace, 1);
    EXPECT_EQ(plan.header_messages[1], "扫描方式:  误格式化");
    EXPECT_EQ(plan.header_messages.size(), 8u);

    s.ScanMode = kModeDeep;
    s.FormatScheme = 0;
    TDiskInfo disk = raw_image();
    disk.EndSector = 7814037168;
    plan = PlanScanStart({"1", "HDD1:WDC (3726.02 GB，ATA)", false, disk}, s);
    EXPECT_EQ(plan.ScanKind, 2);
    EXPECT_EQ(plan.ScanAllSpace, 1);
    EXPECT_EQ(
        plan.header_messages,
        (std::vector<std::string>{"扫描盘符:  HDD1:WDC (3726.02 GB，ATA)", "扫描方式:  深入扫描",
                                  "文件系统:  Raw", "扇区大小:  512Byte", "起始扇区:  0",
                                  "结束扇区:  7814037168", "开始扫描......"}));
}

TEST(ScanStart, RawImageIsAlwaysADeepScanOfKindThree) {
    ScanSettings s;
    s.ScanMode = kModeFormat;
    const auto plan = PlanScanStart(image(raw_image()), s);
    EXPECT_EQ(plan.ScanKind, 3);
    EXPECT_EQ(plan.ScanAllSpace, 1);
    EXPECT_EQ(plan.header_messages[0], "镜像文件:  /x/card.img");
    EXPECT_EQ(plan.header_messages[1], "扫描方式:  深入扫描");
    EXPECT_EQ(plan.header_messages.size(), 7u);
}

TEST(ScanStart, FileSystemImageIsLoggedAsDeletionButScannedWithTheChosenMode) {
    ScanSettings s;
    s.ScanMode = kModeFormat;
    s.FormatScheme = 1;
    TDiskInfo fat = ntfs_volume();
    fat.FileSystem = "FAT32";
    const auto plan = PlanScanStart(image(fat), s);
    EXPECT_EQ(plan.header_messages[1], "扫描方式:  误删除");
    EXPECT_EQ(plan.header_messages[2], "文件系统:  FAT32");
    EXPECT_EQ(plan.ScanKind, 1);
    EXPECT_EQ(plan.ScanAllSpace, 1);
}

TEST(ScanStart, AnImageClickedInTheTreeStartsAsADrive) {
    ScanSettings s;
    s.ScanMode = kModeDeletion;
    SourceSelection sel = image(raw_image());
    sel.SourceIsImage = false;  // a click in the tree clears it
    const auto plan = PlanScanStart(sel, s);
    EXPECT_EQ(plan.header_messages[0], "扫描盘符:  /x/card.img");
    EXPECT_EQ(plan.header_messages[1], "扫描方式:  误删除");
    EXPECT_EQ(plan.ScanKind, 0);
    EXPECT_EQ(plan.ScanAllSpace, 0);
}

}  // namespace
}  // namespace tav
