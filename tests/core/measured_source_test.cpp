// Measuring what the user chose: image files, volumes and disks picked in the
// source step, and paths named on the command line, told apart by what lies
// there (files, partitions, whole disks and loop devices); every failure with
// the text the user sees.

#include <gtest/gtest.h>

#include "common/byte_order.hpp"
#include "sources/measured_source.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::string path;  // in the test folder unless absolute
    std::optional<SourceKind> chosen_as;
    bool deep = false;
    std::expected<SourceKind, MeasureError::Kind> outcome;
    std::string says;  // the file system, or a piece of the failure's reason
    int partition = 0;
};

// A whole-card image: an MBR with one FAT16 partition at 1 MiB holding the
// given volume.
fs::path MakePartitionedDisk(const fs::path& disk, const fs::path& volume) {
    test::MakeSparseFile(disk, 65 << 20);
    std::vector<std::uint8_t> mbr(512, 0);
    mbr[446 + 4] = 0x06;
    store_le32(&mbr[446 + 8], 2048);
    store_le32(&mbr[446 + 12], 64 * 2048);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    test::WriteBytes(disk, 0, mbr);
    test::WriteBytes(disk, 1 << 20, test::ReadBytes(volume, 0, 1 << 20));
    return disk;
}

TEST(MeasureSource, ChoicesAndPathsAreClassifiedAndMeasured) {
    if (!test::HaveTool("mkfs.fat")) GTEST_SKIP() << "dosfstools not installed";
    test::TempDir dir;
    ASSERT_TRUE(test::MakeFatImage(dir / "fat.img", 64, 16, 8).has_value());
    MakePartitionedDisk(dir / "disk.img", dir / "fat.img");
    test::MakeSparseFile(dir / "zeros.img", 1 << 20);
    test::MakeSparseFile(dir / "empty.img", 0);
    fs::create_directory(dir / "folder");
    const auto failed = [](MeasureError::Kind kind) { return std::unexpected(kind); };
    const std::vector<Case> cases = {
        {"fat.img", SourceKind::Image, false, SourceKind::Image, "FAT16"},
        {"fat.img", std::nullopt, false, SourceKind::Image, "FAT16"},
        // A card without a partition table: the whole device is the volume,
        // except to a deep scan.
        {"fat.img", SourceKind::Disk, false, SourceKind::Volume, "FAT16"},
        {"fat.img", SourceKind::Disk, true, SourceKind::Disk, "Raw"},
        {"disk.img", std::nullopt, false, SourceKind::Image, "Raw"},
        {"disk.img", std::nullopt, false, SourceKind::Image, "FAT16", 1},
        {"disk.img", std::nullopt, false, failed(MeasureError::NotRecognised), "没有第2个分区", 2},
        {"fat.img", std::nullopt, false, failed(MeasureError::NotRecognised), "没有分区表", 1},
        {"zeros.img", std::nullopt, false, SourceKind::Image, "Raw"},
        {"zeros.img", SourceKind::Volume, false, failed(MeasureError::NotRecognised),
         "不是NTFS、exFAT、FAT32、FAT16或FAT12引导扇区"},
        {"zeros.img", SourceKind::Volume, true, SourceKind::Volume, "Raw"},
        {"empty.img", std::nullopt, false, failed(MeasureError::Empty), "不足一个完整扇区"},
        {"missing.img", std::nullopt, false, failed(MeasureError::OpenFailed), "无法访问源 "},
        {"missing.img", SourceKind::Image, false, failed(MeasureError::OpenFailed),
         "missing.img: "},
        {"folder", std::nullopt, false, failed(MeasureError::OpenFailed),
         "既不是镜像文件也不是块设备"},
        {"/dev/zero", std::nullopt, false, failed(MeasureError::OpenFailed),
         "既不是镜像文件也不是块设备"},
    };
    for (const Case& c : cases) {
        const std::string path = c.path.starts_with("/") ? c.path : (dir / c.path).string();
        SCOPED_TRACE(path + (c.deep ? " deep" : ""));
        SourceChoice choice{path, c.chosen_as, c.deep};
        if (c.partition > 0) choice.partition = c.partition;
        const auto measured = MeasureSource(choice);
        ASSERT_EQ(measured.has_value(), c.outcome.has_value())
            << (measured ? measured->info.FileSystem : measured.error().reason);
        if (!measured) {
            EXPECT_EQ(measured.error().kind, c.outcome.error());
            EXPECT_NE(measured.error().reason.find(c.says), std::string::npos)
                << measured.error().reason;
            continue;
        }
        EXPECT_EQ(measured->path, path);
        EXPECT_EQ(measured->kind, *c.outcome);
        EXPECT_EQ(measured->info.FileSystem, c.says);
        EXPECT_EQ(measured->size_bytes, static_cast<std::int64_t>(fs::file_size(path)));
        EXPECT_EQ(measured->sector_bytes, 512);
        if (c.says == "Raw") {
            EXPECT_EQ(measured->info.EndSector, measured->size_bytes / 512);
        }
        EXPECT_EQ(measured->info.VolumeOffset, c.partition > 0 ? 1 << 20 : 0);
    }
}

// An image attached as a block device. Its partitions get nodes only when
// asked for: a partition scan of the kernel's own would race the test.
class LoopDevice {
  public:
    explicit LoopDevice(const fs::path& image) {
        const auto r = test::RunCommand(kSbin + "losetup -f --show " + test::Quoted(image));
        if (r.status == 0) device_ = r.output.substr(0, r.output.find('\n'));
    }
    ~LoopDevice() {
        if (!device_.empty())
            test::RunCommand(kSbin + "partx -d " + device_ + "; losetup -d " + device_);
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& device() const { return device_; }

    // Empty when the system made no node for it.
    std::string first_partition() const {
        test::RunCommand(kSbin + "partx -a " + device_);
        const std::string node = device_ + "p1";
        return fs::exists(node) ? node : std::string{};
    }

  private:
    static inline const std::string kSbin = "PATH=\"$PATH:/sbin:/usr/sbin\" ";
    std::string device_;
};

TEST(MeasureSourceOfBlockDevices, LoopDeviceOfACardWithoutPartitionTableIsAVolume) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("losetup"))
        GTEST_SKIP() << "dosfstools or losetup not installed";
    test::TempDir dir;
    const auto image = test::MakeFatImage(dir / "card.img", 64, 16, 8);
    ASSERT_TRUE(image.has_value());
    LoopDevice loop(*image);
    if (loop.device().empty()) GTEST_SKIP() << "no loop device available here";
    const auto disk = MeasureSource({loop.device(), std::nullopt, true});
    ASSERT_TRUE(disk.has_value()) << disk.error().reason;
    EXPECT_EQ(disk->kind, SourceKind::Disk);
    EXPECT_EQ(disk->info.FileSystem, "Raw");
    EXPECT_EQ(disk->info.EndSector, 64 * 2048);
    EXPECT_EQ(disk->size_bytes, 64 << 20);
    // Outside a deep scan, the same device is measured by its file system.
    const auto volume = MeasureSource({loop.device()});
    ASSERT_TRUE(volume.has_value()) << volume.error().reason;
    EXPECT_EQ(volume->kind, SourceKind::Volume);
    EXPECT_EQ(volume->info.FileSystem, "FAT16");
    EXPECT_EQ(volume->info.TotalSectors, 64 * 2048);
}

TEST(MeasureSourceOfBlockDevices, PartitionIsAVolumeReadByItsBootSector) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("losetup") || !test::HaveTool("partx"))
        GTEST_SKIP() << "dosfstools, losetup or partx not installed";
    test::TempDir dir;
    const auto volume = test::MakeFatImage(dir / "volume.img", 64, 16, 8);
    ASSERT_TRUE(volume.has_value());
    const auto disk = MakePartitionedDisk(dir / "disk.img", *volume);
    LoopDevice loop(disk);
    if (loop.device().empty()) GTEST_SKIP() << "no loop device available here";
    const std::string partition = loop.first_partition();
    if (partition.empty()) GTEST_SKIP() << "no partition nodes for loop devices here";
    const auto measured = MeasureSource({partition});
    ASSERT_TRUE(measured.has_value()) << measured.error().reason;
    EXPECT_EQ(measured->kind, SourceKind::Volume);
    EXPECT_EQ(measured->info.FileSystem, "FAT16");
    EXPECT_EQ(measured->size_bytes, 64 << 20);
}

}  // namespace
}  // namespace tav
