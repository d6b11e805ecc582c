// The allocation map on real volumes made at test time, checked against what
// mtools and the ntfs-3g tools say about the same clusters; and the window
// arithmetic at the map's edges.

#include <gtest/gtest.h>

#include <array>

#include <cstdint>
#include <regex>

#include "common/byte_order.hpp"
#include "disk/free_space_map.hpp"
#include "disk/measure.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

struct ClusterRange {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// "::/A.BIN <3-6> <9>" -> clusters 3..6 and 9.
std::vector<ClusterRange> MshowfatRanges(const std::string& text) {
    std::vector<ClusterRange> out;
    const std::regex range("<([0-9]+)(?:-([0-9]+))?>");
    for (std::sregex_iterator it(text.begin(), text.end(), range), end; it != end; ++it) {
        const std::int64_t a = std::stoll((*it)[1]);
        const std::int64_t b = (*it)[2].matched ? std::stoll((*it)[2]) : a;
        out.push_back({a, b - a + 1});
    }
    return out;
}

// The run list printed by ntfsinfo -v: "0x0  0x2200  0x4a" rows (VCN, LCN, length).
std::vector<ClusterRange> NtfsinfoRuns(const std::string& text) {
    std::vector<ClusterRange> out;
    const std::regex row("\\n\\s+0x[0-9a-f]+\\s+0x([0-9a-f]+)\\s+0x([0-9a-f]+)");
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it)
        out.push_back({std::stoll((*it)[1], nullptr, 16), std::stoll((*it)[2], nullptr, 16)});
    return out;
}

std::string MtoolsCommand(const std::string& args) {
    return "MTOOLS_SKIP_CHECK=1 " + args;
}

class Fat32Map : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveTool("mkfs.fat") || !test::HaveTool("mcopy") || !test::HaveTool("mshowfat"))
            GTEST_SKIP() << "dosfstools or mtools not installed";
        image_ = dir_ / "card.img";
        ASSERT_TRUE(test::MakeFatImage(image_, mib_, bits_, spc_, "CARD").has_value());
        Copy("a.mov", 20000);
        Copy("gone.mov", 50000);
        Copy("b.mov", 100000);
        ASSERT_EQ(
            test::RunCommand(MtoolsCommand("mdel -i " + test::Quoted(image_) + " ::/GONE.MOV"))
                .status,
            0);
        auto info = MeasureVolume(image_.string());
        ASSERT_TRUE(info.has_value());
        info_ = *info;
    }

    void Copy(const std::string& name, int bytes) {
        const fs::path file = dir_ / name;
        test::WriteBytes((test::MakeSparseFile(file, bytes), file), 0,
                         std::vector<std::uint8_t>(bytes, 0x5A));
        const std::string q = test::Quoted(image_);
        ASSERT_EQ(
            test::RunCommand(MtoolsCommand("mcopy -i " + q + " " + test::Quoted(file) + " ::/"))
                .status,
            0);
        if (name != "gone.mov") return;
        gone_ = MshowfatRanges(
            test::RunCommand(MtoolsCommand("mshowfat -i " + q + " ::/GONE.MOV")).output);
    }

    std::vector<ClusterRange> Clusters(const std::string& name) {
        return MshowfatRanges(
            test::RunCommand(MtoolsCommand("mshowfat -i " + test::Quoted(image_) + " ::/" + name))
                .output);
    }

    // The sector the free-space scan starts at: where cluster 0 would lie.
    std::int64_t BaseSector() const { return info_.StartSector - 2 * info_.SectorsPerCluster; }

    // Files' clusters read in use, the deleted file's free, and nothing else
    // in use but the two reserved entries (and FAT32's root directory).
    void ExpectFilesInUseAndDeletedFree() {
        auto source = SourceReader::open(image_.string());
        ASSERT_TRUE(source.has_value());
        ASSERT_TRUE(LocateFat(*source, info_));
        const auto window = LoadUseWindow(*source, FatRegion(info_), info_, BaseSector());
        ASSERT_TRUE(window.loaded);
        ASSERT_EQ(window.entries.size(), static_cast<std::size_t>(kFat32WindowClusters));
        EXPECT_EQ(window.first_cluster, 0);
        std::size_t in_use = bits_ == 32 ? 3 : 2;
        for (std::size_t c = 0; c < in_use; ++c) EXPECT_EQ(window.entries[c], 1) << c;
        for (const std::string name : {"A.MOV", "B.MOV"}) {
            const auto ranges = Clusters(name);
            ASSERT_FALSE(ranges.empty()) << name;
            for (const auto& r : ranges)
                for (std::int64_t c = r.first; c < r.first + r.count; ++c, ++in_use)
                    EXPECT_EQ(window.entries[c], 1) << name << " cluster " << c;
        }
        ASSERT_FALSE(gone_.empty());
        for (const auto& r : gone_)
            for (std::int64_t c = r.first; c < r.first + r.count; ++c)
                EXPECT_EQ(window.entries[c], 0) << "deleted cluster " << c;
        // Clusters past the volume's last read in use.
        const std::int64_t last =
            (info_.TotalSectors - info_.DataStartSector) / info_.SectorsPerCluster + 2;
        const auto past =
            std::count(window.entries.begin() + std::min<std::int64_t>(last, kFat32WindowClusters),
                       window.entries.end(), 1);
        EXPECT_EQ(
            static_cast<std::size_t>(std::count(window.entries.begin(), window.entries.end(), 1)),
            in_use + static_cast<std::size_t>(past));
    }

    int bits_ = 32, mib_ = 272, spc_ = 8;

    test::TempDir dir_;
    fs::path image_;
    TDiskInfo info_;
    std::vector<ClusterRange> gone_;
};

TEST_F(Fat32Map, RegionIsTheFirstFat) {
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    EXPECT_TRUE(LocateFat(*source, info_));
    const FreeSpaceRegion region = FatRegion(info_);
    EXPECT_EQ(region.offset, 32 * 512);
    EXPECT_EQ(region.length, info_.FatSectors * 512);
    ASSERT_EQ(region.extents.size(), 1u);
    EXPECT_EQ(region.extents[0], (MapExtent{0, region.offset, region.length}));
}

TEST_F(Fat32Map, FilesAreInUseAndDeletedClustersAreFree) {
    ExpectFilesInUseAndDeletedFree();
}

// FAT16 and FAT12 entries (12 bits, two to three bytes) read the same way.
class SmallFatMap : public Fat32Map, public ::testing::WithParamInterface<std::array<int, 3>> {
  protected:
    void SetUp() override {
        bits_ = GetParam()[0];
        mib_ = GetParam()[1];
        spc_ = GetParam()[2];
        Fat32Map::SetUp();
    }
};

TEST_P(SmallFatMap, FilesAreInUseAndDeletedClustersAreFree) {
    if (IsSkipped()) return;
    ASSERT_EQ(info_.FileSystem, bits_ == 12 ? "FAT12" : "FAT16");
    ExpectFilesInUseAndDeletedFree();
}

INSTANTIATE_TEST_SUITE_P(Kinds, SmallFatMap,
                         ::testing::Values(std::array<int, 3>{16, 64, 4},
                                           std::array<int, 3>{12, 8, 4}));

TEST_F(Fat32Map, WindowsFollowTheSectorAndStopAtTheVolumeEnd) {
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    const FreeSpaceRegion region = FatRegion(info_);
    const std::int64_t spc = info_.SectorsPerCluster;
    // A sector inside cluster 16384 + 5 starts the window at that cluster.
    const auto mid = LoadUseWindow(*source, region, info_, BaseSector() + (16384 + 5) * spc + 3);
    ASSERT_TRUE(mid.loaded);
    EXPECT_EQ(mid.first_cluster, 16384 + 5);
    EXPECT_EQ(mid.entries[0], 0);
    // The volume has 69490 data clusters (2..69491); the FAT has room for more.
    const std::int64_t clusters = (info_.TotalSectors - info_.DataStartSector) / spc + 2;
    const auto last = LoadUseWindow(*source, region, info_, BaseSector() + 65536 * spc);
    ASSERT_TRUE(last.loaded);
    EXPECT_EQ(last.entries[clusters - 1 - 65536], 0);
    EXPECT_EQ(last.entries[clusters - 65536], 1);
    EXPECT_TRUE(std::all_of(last.entries.begin() + (clusters - 65536), last.entries.end(),
                            [](auto e) { return e == 1; }));
    // Sectors outside the volume have no window.
    EXPECT_FALSE(LoadUseWindow(*source, region, info_, info_.TotalSectors).loaded);
    EXPECT_FALSE(LoadUseWindow(*source, region, info_, -1).loaded);
    EXPECT_FALSE(LoadUseWindow(*source, region, info_, INT64_MAX).loaded);
    EXPECT_TRUE(LoadUseWindow(*source, region, info_, info_.TotalSectors - 1).loaded);
}

TEST_F(Fat32Map, MediaDescriptorF0IsRefused) {
    std::vector<std::uint8_t> entry = test::ReadBytes(image_, 32 * 512, 4);
    ASSERT_EQ(load_le32(entry.data()), 0x0FFFFFF8u);
    entry[0] = 0xF0;
    test::WriteBytes(image_, 32 * 512, entry);
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    EXPECT_FALSE(LocateFat(*source, info_));
}

TEST_F(Fat32Map, ClusterWithOnlyReservedTopBitsCountsAsInUse) {
    const std::int64_t cluster = 5000;
    std::vector<std::uint8_t> entry(4);
    store_le32(entry.data(), 0xF0000000u);
    test::WriteBytes(image_, 32 * 512 + cluster * 4, entry);
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    const auto window = LoadUseWindow(*source, FatRegion(info_), info_, BaseSector());
    EXPECT_EQ(window.entries[cluster], 1);
    EXPECT_EQ(window.entries[cluster + 1], 0);
}

class NtfsMap : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveTool("mkntfs") || !test::HaveTool("ntfsinfo") ||
            !test::HaveTool("ntfs-3g") || !test::HaveTool("fusermount") || !fs::exists("/dev/fuse"))
            GTEST_SKIP() << "ntfs-3g tools or FUSE not available";
        image_ = dir_ / "vol.img";
        ASSERT_TRUE(test::MakeNtfsImage(image_, 64, 4096, "VIDEO").has_value());
        const fs::path mount = dir_ / "mnt";
        fs::create_directory(mount);
        if (test::RunCommand("ntfs-3g " + test::Quoted(image_) + " " + test::Quoted(mount))
                .status != 0)
            GTEST_SKIP() << "ntfs-3g cannot mount here";
        test::MakeSparseFile(mount / "clip.mov", 0);
        test::WriteBytes(mount / "clip.mov", 0, std::vector<std::uint8_t>(300000, 0x33));
        ASSERT_EQ(test::RunCommand("fusermount -u " + test::Quoted(mount)).status, 0);
        auto info = MeasureVolume(image_.string());
        ASSERT_TRUE(info.has_value());
        info_ = *info;
    }

    std::string Info(const std::string& args) {
        return test::RunCommand("ntfsinfo " + args + " " + test::Quoted(image_)).output;
    }

    test::TempDir dir_;
    fs::path image_;
    TDiskInfo info_;
};

TEST_F(NtfsMap, BitmapRegionMatchesNtfsinfo) {
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    const FreeSpaceRegion region = LocateBitmap(*source, info_);
    ASSERT_FALSE(region.empty());
    const auto runs = NtfsinfoRuns(Info("-v -F '$Bitmap'"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(region.offset, runs[0].first * 4096);
    EXPECT_EQ(region.length, runs[0].count * 4096);
    ASSERT_EQ(region.extents.size(), 1u);
    EXPECT_EQ(region.extents[0], (MapExtent{0, region.offset, region.length}));
}

TEST_F(NtfsMap, FileClustersAreInUseAndTheCountMatches) {
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    const FreeSpaceRegion region = LocateBitmap(*source, info_);
    const auto window = LoadUseWindow(*source, region, info_, 0);
    ASSERT_TRUE(window.loaded);
    ASSERT_EQ(window.entries.size(), static_cast<std::size_t>(kNtfsWindowClusters));
    const auto runs = NtfsinfoRuns(Info("-v -F /clip.mov"));
    ASSERT_FALSE(runs.empty());
    std::int64_t file_clusters = 0;
    for (const auto& r : runs)
        for (std::int64_t c = r.first; c < r.first + r.count; ++c, ++file_clusters)
            EXPECT_EQ(window.entries[c], 1) << "cluster " << c;
    EXPECT_EQ(file_clusters, (300000 + 4095) / 4096);
    EXPECT_EQ(window.entries[runs[0].first + runs[0].count + 100], 0);

    const std::int64_t clusters = info_.TotalSectors / info_.SectorsPerCluster;
    const std::string report = test::RunCommand("ntfscluster -i " + test::Quoted(image_)).output;
    const std::int64_t free_clusters = test::NumberOnLine(report, "clusters of free space");
    ASSERT_GT(free_clusters, 0);
    EXPECT_EQ(std::count(window.entries.begin(), window.entries.begin() + clusters, 0),
              free_clusters);
    EXPECT_TRUE(std::all_of(window.entries.begin() + clusters, window.entries.end(),
                            [](auto e) { return e == 1; }));
}

TEST_F(NtfsMap, WindowStartIsRoundedDownToEightClusters) {
    auto source = SourceReader::open(image_.string());
    ASSERT_TRUE(source.has_value());
    const FreeSpaceRegion region = LocateBitmap(*source, info_);
    const auto whole = LoadUseWindow(*source, region, info_, 0);
    const std::int64_t cluster = 8 * 700 + 5;  // bitmap byte 700: not sector-aligned
    const auto part = LoadUseWindow(*source, region, info_, cluster * 8 + 2);
    ASSERT_TRUE(part.loaded);
    EXPECT_EQ(part.first_cluster, 8 * 700);
    const std::int64_t clusters = info_.TotalSectors / info_.SectorsPerCluster;
    for (std::int64_t c = part.first_cluster; c < clusters; ++c)
        ASSERT_EQ(part.entries[c - part.first_cluster], whole.entries[c]) << "cluster " << c;
}

TEST_F(NtfsMap, DamagedMftGivesAnEmptyRegion) {
    const std::int64_t mft = info_.MftStartSector * 512;
    auto source_ok = SourceReader::open(image_.string());
    ASSERT_TRUE(source_ok.has_value());
    ASSERT_FALSE(LocateBitmap(*source_ok, info_).empty());

    TDiskInfo odd_code = info_;
    odd_code.MftRecordCode = 0x0080;
    EXPECT_TRUE(LocateBitmap(*source_ok, odd_code).empty());
    TDiskInfo fat = info_;
    fat.FileSystem = "FAT32";
    EXPECT_TRUE(LocateBitmap(*source_ok, fat).empty());

    const auto record6 = test::ReadBytes(image_, mft + 6 * 1024, 1024);
    test::WriteBytes(image_, mft + 6 * 1024 + 510, {0xAB, 0xCD});  // torn sector
    auto source = SourceReader::open(image_.string());
    EXPECT_TRUE(LocateBitmap(*source, info_).empty());
    test::WriteBytes(image_, mft + 6 * 1024, record6);
    EXPECT_FALSE(LocateBitmap(*source, info_).empty());

    test::WriteBytes(image_, mft, {'B', 'A', 'A', 'D'});
    EXPECT_TRUE(LocateBitmap(*source, info_).empty());
}

TEST_F(NtfsMap, SparseOrCompressedMftDataIsRefused) {
    const std::int64_t mft = info_.MftStartSector * 512;
    std::vector<std::uint8_t> record = test::ReadBytes(image_, mft, 1024);
    ASSERT_TRUE(ApplyFixup(record, 512));
    const auto data = FindAttribute(ByteView(record), 128, false);
    ASSERT_TRUE(data.has_value());
    const std::int64_t flags_at = mft + (data->data() - record.data()) + 12;
    for (std::uint16_t flags : {0x0001, 0x4000, 0x8000, 0x8001}) {
        std::vector<std::uint8_t> bytes(2);
        store_le16(bytes.data(), flags);
        test::WriteBytes(image_, flags_at, bytes);
        auto source = SourceReader::open(image_.string());
        EXPECT_TRUE(LocateBitmap(*source, info_).empty()) << flags;
    }
}

// A map in two runs, written by hand: each window byte comes from its run.
TEST(NtfsMapExtents, WindowsReadAcrossRuns) {
    test::TempDir dir;
    const fs::path path = dir / "v.img";
    test::MakeSparseFile(path, 1 << 20);
    test::WriteBytes(path, 0x10000, std::vector<std::uint8_t>(4096, 0x01));  // run 1
    test::WriteBytes(path, 0x40000, std::vector<std::uint8_t>(4096, 0x80));  // run 2
    FreeSpaceRegion region;
    region.extents = {{0, 0x10000, 4096}, {4096, 0x40000, 4096}};
    region.offset = 0x10000;
    region.length = 8192;
    TDiskInfo info;
    info.FileSystem = "NTFS";
    info.BytesPerSector = 512;
    info.SectorsPerCluster = 1;
    info.BytesPerCluster = 512;
    info.TotalSectors = 8192 * 8;
    auto source = SourceReader::open(path.string());
    ASSERT_TRUE(source.has_value());
    const auto window = LoadUseWindow(*source, region, info, 4090 * 8);
    ASSERT_TRUE(window.loaded);
    EXPECT_EQ(window.first_cluster, 4090 * 8);
    for (int byte = 0; byte < 6; ++byte) {  // bytes 4090..4095: bit 0 set
        EXPECT_EQ(window.entries[byte * 8], 1);
        EXPECT_EQ(window.entries[byte * 8 + 7], 0);
    }
    for (int byte = 6; byte < 4102; ++byte) {  // bytes 4096..8191: bit 7 set
        EXPECT_EQ(window.entries[byte * 8], 0);
        EXPECT_EQ(window.entries[byte * 8 + 7], 1);
    }
    EXPECT_TRUE(std::all_of(window.entries.begin() + 4102 * 8, window.entries.end(),
                            [](auto e) { return e == 1; }));  // past the map: in use
}

TEST(FreeSpaceWindow, NothingLoadsWithoutARegionOrSaneGeometry) {
    test::TempDir dir;
    test::MakeSparseFile(dir / "v.img", 4096);
    auto source = SourceReader::open((dir / "v.img").string());
    ASSERT_TRUE(source.has_value());
    TDiskInfo info;
    info.FileSystem = "FAT32";
    info.BytesPerSector = 512;
    info.SectorsPerCluster = 0;
    info.FatSectors = 1;
    FreeSpaceRegion region{512, 512, {{0, 512, 512}}};
    EXPECT_FALSE(LoadUseWindow(*source, region, info, 0).loaded);
    EXPECT_TRUE(FatRegion(info).empty());
    info.SectorsPerCluster = 8;
    EXPECT_FALSE(LoadUseWindow(*source, FreeSpaceRegion{}, info, 0).loaded);
    info.FileSystem = "FAT16";
    EXPECT_FALSE(LoadUseWindow(*source, region, info, 0).loaded);
}

}  // namespace
}  // namespace tav
