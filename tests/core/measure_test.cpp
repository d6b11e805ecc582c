// Measuring sources: partition images by their boot sector, raw images and
// disks by their size, and every failure as a value with its reason.

#include <gtest/gtest.h>

#include "common/byte_order.hpp"
#include "disk/free_space_map.hpp"
#include "disk/measure.hpp"
#include "disk/volume_label.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

TEST(MeasureRaw, SizeGivesTheRangeAndFixedGeometry) {
    test::TempDir dir;
    const auto path = dir / "disk.img";
    test::MakeSparseFile(path, 10 * 1024 * 1024 + 300);  // a partial last sector
    const auto info = MeasureRawImage(path.string());
    ASSERT_TRUE(info.has_value()) << info.error().reason;
    EXPECT_EQ(info->FileSystem, "Raw");
    EXPECT_EQ(info->BytesPerSector, 512);
    EXPECT_EQ(info->SectorsPerCluster, 8);
    EXPECT_EQ(info->BytesPerCluster, 4096);
    EXPECT_EQ(info->StartSector, 0);
    EXPECT_EQ(info->EndSector, 20480);
    EXPECT_EQ(info->ProbeKind, 0);
    const auto disk = MeasurePhysicalDisk(path.string());
    ASSERT_TRUE(disk.has_value());
    EXPECT_EQ(*disk, *info);
}

TEST(MeasureRaw, RawFieldsKeepTheRestOfThePreviousRecord) {
    TDiskInfo previous;
    previous.TotalSectors = 77;
    previous.MftStartSector = 99;
    previous.FileSystem = "NTFS";
    const TDiskInfo info = RawDiskInfo(1 << 20, previous);
    EXPECT_EQ(info.TotalSectors, 77);
    EXPECT_EQ(info.MftStartSector, 99);
    EXPECT_EQ(info.FileSystem, "Raw");
    EXPECT_EQ(info.EndSector, 2048);
}

TEST(MeasureFailures, EmptyShortMissingAndFolders) {
    test::TempDir dir;
    test::MakeSparseFile(dir / "empty", 0);
    test::MakeSparseFile(dir / "short", 100);

    const auto empty = MeasureVolume((dir / "empty").string());
    ASSERT_FALSE(empty.has_value());
    EXPECT_EQ(empty.error().kind, MeasureError::Empty);
    const auto empty_raw = MeasureRawImage((dir / "empty").string());
    ASSERT_FALSE(empty_raw.has_value());
    EXPECT_EQ(empty_raw.error().kind, MeasureError::Empty);

    const auto short_volume = MeasureVolume((dir / "short").string());
    ASSERT_FALSE(short_volume.has_value());
    EXPECT_EQ(short_volume.error().kind, MeasureError::NotRecognised);
    EXPECT_FALSE(MeasureRawImage((dir / "short").string()).has_value());

    for (const auto& path : {dir / "missing", dir.path()}) {
        const auto volume = MeasureVolume(path.string());
        ASSERT_FALSE(volume.has_value());
        EXPECT_EQ(volume.error().kind, MeasureError::OpenFailed);
        EXPECT_NE(volume.error().reason.find(path.string()), std::string::npos);
        const auto raw = MeasureRawImage(path.string());
        ASSERT_FALSE(raw.has_value());
        EXPECT_EQ(raw.error().kind, MeasureError::OpenFailed);
    }
}

TEST(MeasureVolumeImage, WholeDiskImageIsNotAVolumeButMeasuresRaw) {
    test::TempDir dir;
    const auto path = dir / "whole.img";
    test::MakeSparseFile(path, 8 * 1024 * 1024);
    std::vector<std::uint8_t> mbr(512, 0);
    mbr[446 + 4] = 0x0C;  // one FAT32 LBA partition at sector 2048
    store_le32(&mbr[446 + 8], 2048);
    store_le32(&mbr[446 + 12], 14336);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    test::WriteBytes(path, 0, mbr);
    const auto volume = MeasureVolume(path.string());
    ASSERT_FALSE(volume.has_value());
    EXPECT_EQ(volume.error().kind, MeasureError::NotRecognised);
    const auto raw = MeasureRawImage(path.string());
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->EndSector, 16384);
}

// exFAT measured as its own tool reports it, at both sector sizes a card
// may have; its label and allocation bitmap are found through the root
// directory.
TEST(MeasureVolumeImage, ExfatIsMeasuredLikeDumpExfatSays) {
    if (!test::HaveTool("mkfs.exfat") || !test::HaveTool("dump.exfat"))
        GTEST_SKIP() << "exfatprogs not installed";
    test::TempDir dir;
    const auto path = dir / "x.img";
    test::MakeSparseFile(path, 64 * 1024 * 1024);
    ASSERT_EQ(test::RunCommand("PATH=\"$PATH:/usr/sbin\" mkfs.exfat -L CAMCARD -c 32K " +
                               test::Quoted(path))
                  .status,
              0);
    const std::string report =
        test::RunCommand("PATH=\"$PATH:/usr/sbin\" dump.exfat " + test::Quoted(path)).output;
    const auto info = MeasureVolume(path.string());
    ASSERT_TRUE(info.has_value()) << info.error().reason;
    EXPECT_EQ(info->FileSystem, "exFAT");
    EXPECT_EQ(info->TotalSectors, test::NumberAfter(report, "Volume Length(sectors):"));
    EXPECT_EQ(info->FatStartSector, test::NumberAfter(report, "FAT Offset(sector offset):"));
    EXPECT_EQ(info->DataStartSector,
              test::NumberAfter(report, "Cluster Heap Offset (sector offset):"));
    EXPECT_EQ(info->BytesPerCluster, 32768u);
    EXPECT_EQ(info->EndSector, info->DataStartSector + test::NumberAfter(report, "Cluster Count:") *
                                                           std::int64_t{info->SectorsPerCluster});
    EXPECT_EQ(info->RootDirCluster, test::NumberAfter(report, "Root Cluster (cluster offset):"));
    auto source = SourceReader::open(path.string());
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(ReadVolumeLabel(*source), "CAMCARD");
    const FreeSpaceRegion bitmap = LocateExfatBitmap(*source, *info);
    EXPECT_EQ(bitmap.length, test::NumberAfter(report, "Bitmap size:"));
    EXPECT_EQ(bitmap.offset,
              (info->DataStartSector +
               (test::NumberAfter(report, "Bitmap start cluster:") - 2) * info->SectorsPerCluster) *
                  512);
}

// exFAT boot sectors damaged one field at a time are refused; an undamaged
// one that says 4096-byte sectors is measured in them.
TEST(MeasureVolumeImage, ExfatBootSectorFieldsAreChecked) {
    if (!test::HaveTool("mkfs.exfat")) GTEST_SKIP() << "exfatprogs not installed";
    test::TempDir dir;
    const auto path = dir / "x.img";
    test::MakeSparseFile(path, 64 * 1024 * 1024);
    ASSERT_EQ(test::RunCommand("PATH=\"$PATH:/usr/sbin\" mkfs.exfat " + test::Quoted(path)).status,
              0);
    const std::vector<std::uint8_t> good = test::ReadBytes(path, 0, 512);
    ASSERT_TRUE(ParseBootSector(good).has_value());
    const struct {
        const char* what;
        std::size_t at;
        int width;
        std::uint64_t value;
    } faults[] = {
        {"sector shift 8", 0x6C, 1, 8},           {"sector shift 13", 0x6C, 1, 13},
        {"cluster of 64 MiB", 0x6D, 1, 17},       {"no sectors", 0x48, 8, 0},
        {"sectors overflow", 0x48, 8, ~0ull},     {"FAT inside the heap", 0x54, 4, 1u << 20},
        {"heap past the end", 0x58, 4, 1u << 20}, {"clusters past the end", 0x5C, 4, 1u << 24},
        {"root cluster 1", 0x60, 4, 1},           {"root past the heap", 0x60, 4, 1u << 24},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        std::vector<std::uint8_t> s = good;
        if (f.width == 1) s[f.at] = static_cast<std::uint8_t>(f.value);
        if (f.width == 4) store_le32(&s[f.at], static_cast<std::uint32_t>(f.value));
        if (f.width == 8) store_le64(&s[f.at], f.value);
        EXPECT_FALSE(ParseBootSector(s).has_value());
    }
    std::vector<std::uint8_t> big_sectors = good;
    big_sectors[0x6C] = 12;
    const auto info = ParseBootSector(big_sectors);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->BytesPerSector, 4096);
}

TEST(MeasureVolumeImage, ReadsAFat32ImageLikeItsBootSectorSays) {
    if (!test::HaveTool("mkfs.fat")) GTEST_SKIP() << "dosfstools not installed";
    test::TempDir dir;
    const auto image = test::MakeFatImage(dir / "c.img", 272, 32, 8);
    ASSERT_TRUE(image.has_value());
    const auto info = MeasureVolume(image->string());
    ASSERT_TRUE(info.has_value());
    const auto again = ParseBootSector(test::ReadBytes(*image, 0, 512));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*info, *again);
    EXPECT_EQ(info->VolumeBytes, info->TotalSectors * 512);
}

}  // namespace
}  // namespace tav
