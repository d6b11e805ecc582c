// Listing sources from a fake sysfs and /dev tree built per test: which
// devices are listed, their texts, labels and bus names, and that a listed
// source is measured at the device it was listed for, as it was listed.

#include <gtest/gtest.h>

#include <fstream>

#include "common/byte_order.hpp"
#include "disk/volume_label.hpp"
#include "platform/disk_descriptors.hpp"
#include "platform/source_list.hpp"
#include "sources/measured_source.hpp"
#include "sources/volume_probe.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

const std::string kComma = "，";

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

// A FAT boot sector carrying a volume label, enough to be measured.
void WriteFatVolume(const fs::path& path, bool fat32, const std::string& label) {
    std::vector<std::uint8_t> s(512, 0);
    store_le16(&s[0x0B], 512);
    s[0x0D] = 8;
    store_le16(&s[0x0E], 32);
    s[0x10] = 2;
    // FAT16 below 65525 clusters, with a FAT that holds them all.
    store_le32(&s[0x20], fat32 ? 557046 : 500000);
    const std::size_t sig = fat32 ? 0x42 : 0x26;
    if (fat32)
        store_le32(&s[0x24], 544);
    else
        store_le16(&s[0x16], 250);
    s[sig] = 0x29;
    std::string padded = label;
    padded.resize(11, ' ');
    std::copy(padded.begin(), padded.end(), s.begin() + sig + 5);
    const std::string name = fat32 ? "FAT32   " : "FAT16   ";
    std::copy(name.begin(), name.end(), s.begin() + (fat32 ? 0x52 : 0x36));
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(s.data()), 512);
}

class FakeTree {
  public:
    FakeTree() {
        roots_.sys = (dir_ / "sys").string();
        roots_.dev = (dir_ / "dev").string();
        fs::create_directories(dir_ / "sys/block");
        fs::create_directories(dir_ / "sys/class/block");
        fs::create_directories(dir_ / "dev/disk/by-label");
    }

    // A whole disk under the given device path; returns its sysfs folder.
    fs::path disk(const std::string& device_path, const std::string& name, std::int64_t sectors) {
        fs::path dir = dir_ / "sys/devices" / device_path / "block" / name;
        WriteText(dir / "size", std::to_string(sectors));
        fs::create_directory_symlink(dir, dir_ / "sys/block" / name);
        fs::create_directory_symlink(dir, dir_ / "sys/class/block" / name);
        return dir;
    }

    void partition(const fs::path& disk_dir, const std::string& name, std::int64_t sectors) {
        WriteText(disk_dir / name / "size", std::to_string(sectors));
        WriteText(disk_dir / name / "partition", "1");
        fs::create_directory_symlink(disk_dir / name, dir_ / "sys/class/block" / name);
    }

    void by_label(const std::string& link_name, const std::string& device) {
        WriteText(dir_ / "dev" / device, "");
        fs::create_symlink("../../" + device, dir_ / "dev/disk/by-label" / link_name);
    }

    fs::path dev(const std::string& name) const { return dir_ / "dev" / name; }
    const ListRoots& roots() const { return roots_; }

  private:
    test::TempDir dir_;
    ListRoots roots_;
};

// One machine with a card reader, an NVMe disk, a SATA disk, a USB stick
// formatted without partitions, and devices that must not be listed.
class FakeMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path sd =
            tree_.disk("platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa", "mmcblk0", 124735488);
        WriteText(sd / "device/type", "SD");
        WriteText(sd / "device/name", "SD64G");
        tree_.disk("platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa", "mmcblk0boot0", 8192);

        const fs::path nvme =
            tree_.disk("pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", "nvme0n1", 1000215216);
        WriteText(nvme / "device/model", "Samsung SSD 970 EVO 500GB               ");
        tree_.partition(nvme, "nvme0n1p1", 1000000);
        tree_.by_label("My\\x20Disk", "nvme0n1p1");

        const fs::path sata =
            tree_.disk("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "sda", 976773168);
        WriteText(sata / "device/model", "ST500DM002-1BD142 ");
        tree_.partition(sata, "sda1", 900000000);
        tree_.partition(sata, "sda2", 2);  // extended-partition container
        WriteFatVolume(tree_.dev("sda1"), false, "CAMCARD");

        const fs::path usb = tree_.disk(
            "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", "sdb", 62521344);
        WriteText(usb / "device/model", "Cruzer Blade");
        WriteFatVolume(tree_.dev("sdb"), true, "EOS_DIGITAL");

        tree_.disk("pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0", "sdc", 0);
        const fs::path loop = tree_.disk("virtual", "loop0", 2048);
        WriteText(loop / "loop/backing_file", "/home/me/card.img");
        tree_.partition(loop, "loop0p1", 1024);
        tree_.disk("virtual", "loop1", 0);  // not attached
        tree_.disk("virtual", "zram0", 2048);
        tree_.disk("virtual", "dm-0", 4096);
        WriteText(tree_.dev("dm-0"), "not a file system");
    }

    FakeTree tree_;
};

TEST_F(FakeMachine, DisksAreNumberedWithModelSizeAndBus) {
    const auto disks = ListDisks(tree_.roots());
    ASSERT_EQ(disks.size(), 5u);
    EXPECT_EQ(disks[0].text, "HDD0:SD64G (59.48 GB" + kComma + "SD)");
    EXPECT_EQ(disks[1].text, "HDD1:Samsung SSD 970 EVO 500GB (476.94 GB" + kComma + "NVMe)");
    EXPECT_EQ(disks[2].text, "HDD2:ST500DM002-1BD142 (465.76 GB" + kComma + "ATA)");
    EXPECT_EQ(disks[3].text, "RM  3:Cruzer Blade (29.81 GB" + kComma + "USB)");
    // An attached image after the real disks, named by its file.
    EXPECT_EQ(disks[4].text, "HDD4:loop0 /home/me/card.img (1.00 MB" + kComma + "Virtual)");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(disks[i].number, i);
    EXPECT_EQ(disks[2].device, tree_.dev("sda").string());
    EXPECT_EQ(disks[3].device, tree_.dev("sdb").string());
}

TEST_F(FakeMachine, VolumesArePartitionsAndWholeDiskFileSystems) {
    const auto volumes = ListVolumes(FileSystemProbe(), tree_.roots());
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[0].text, "loop0p1:");           // a partition of an attached image
    EXPECT_EQ(volumes[1].text, "nvme0n1p1:My Disk");  // label from the udev link
    EXPECT_EQ(volumes[1].device, tree_.dev("nvme0n1p1").string());
    EXPECT_EQ(volumes[2].text, "sda1:CAMCARD");     // label from the boot sector
    EXPECT_EQ(volumes[3].text, "sdb:EOS_DIGITAL");  // no partition table
    EXPECT_EQ(volumes[3].label, "EOS_DIGITAL");
}

TEST_F(FakeMachine, UnreadableVolumeHasAnEmptyLabel) {
    fs::remove(tree_.dev("sda1"));
    const auto volumes = ListVolumes(FileSystemProbe(), tree_.roots());
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[2].text, "sda1:");
}

TEST_F(FakeMachine, WithoutAProbeOnlyPartitionsAndUdevLabelsCount) {
    const auto volumes = ListVolumes(VolumeProbe{}, tree_.roots());
    ASSERT_EQ(volumes.size(), 3u);
    EXPECT_EQ(volumes[1].text, "nvme0n1p1:My Disk");
    EXPECT_EQ(volumes[2].text, "sda1:");
}

TEST_F(FakeMachine, ListedSourceIsMeasuredAtItsDeviceAsListed) {
    // sdb is listed twice: as a disk a deep scan reads it whole, as a volume
    // it is measured by its file system (and so is the disk in other scans).
    const auto disk = MeasureSource({ListDisks(tree_.roots())[3].device, SourceKind::Disk, true});
    const auto volume = MeasureSource(
        {ListVolumes(FileSystemProbe(), tree_.roots())[3].device, SourceKind::Volume});
    ASSERT_TRUE(disk.has_value()) << disk.error().reason;
    ASSERT_TRUE(volume.has_value()) << volume.error().reason;
    EXPECT_EQ(disk->path, tree_.dev("sdb").string());
    EXPECT_EQ(disk->info.FileSystem, "Raw");
    EXPECT_EQ(volume->path, tree_.dev("sdb").string());
    EXPECT_EQ(volume->info.FileSystem, "FAT32");
}

TEST(DiskLineTexts, SizeTextUsesMegabytesBelowOneThousand) {
    EXPECT_EQ(DiskSizeText(2048 * 999.0), "999.00 MB");
    EXPECT_EQ(DiskSizeText(2048 * 1000.0), "0.98 GB");
    EXPECT_EQ(DiskSizeText(15523840.0), "7.40 GB");
    EXPECT_EQ(DiskSizeText(976773168.0), "465.76 GB");
    EXPECT_EQ(DiskSizeText(0.0), "0.00 MB");
}

TEST(DiskLineTexts, BusNamesFromTheTableAndBeyond) {
    EXPECT_EQ(BusName(0), "Unknow");
    EXPECT_EQ(BusName(1), "SCSI");
    EXPECT_EQ(BusName(2), "Atapi");
    EXPECT_EQ(BusName(3), "ATA");
    EXPECT_EQ(BusName(7), "USB");
    EXPECT_EQ(BusName(8), "RAID");
    EXPECT_EQ(BusName(127), "MaxReserved");
    EXPECT_EQ(BusName(kBusNvme), "NVMe");
    EXPECT_EQ(BusName(kBusSd), "SD");
    EXPECT_EQ(BusName(kBusMmc), "MMC");
    EXPECT_EQ(BusName(-1), "Unknow");
    EXPECT_EQ(BusName(99), "Unknow");
}

TEST(DiskLineTexts, RemovableBelowFortyGigabytesOnUsbOnly) {
    const double gb = 2048.0 * 1024.0;
    EXPECT_EQ(DiskLineText(1, "Stick", 39.99 * gb, kBusUsb).substr(0, 6), "RM  1:");
    EXPECT_EQ(DiskLineText(1, "Stick", 40.0 * gb, kBusUsb).substr(0, 5), "HDD1:");
    EXPECT_EQ(DiskLineText(1, "Card", 31.0 * gb, kBusSd).substr(0, 6), "RM  1:");
    EXPECT_EQ(DiskLineText(12, "Disk", 31.0 * gb, kBusAta).substr(0, 6), "HDD12:");
    EXPECT_EQ(DiskLineText(0, "ST500DM002", 976773168.0, kBusAta),
              "HDD0:ST500DM002 (465.76 GB" + kComma + "ATA)");
}

// The Windows answers, parsed on every OS.
TEST(DiskAnswers, GeometryMultipliesOutTheSectorCount) {
    std::vector<std::uint8_t> g(24, 0);
    store_le64(&g[0], 60801);  // cylinders
    store_le32(&g[8], 12);     // FixedMedia
    store_le32(&g[12], 255);
    store_le32(&g[16], 63);
    store_le32(&g[20], 512);
    const auto geometry = ParseDriveGeometry(ByteView(g));
    ASSERT_TRUE(geometry.has_value());
    EXPECT_EQ(geometry->total_sectors, 60801LL * 255 * 63);
    EXPECT_EQ(geometry->bytes_per_sector, 512u);
    EXPECT_FALSE(geometry->removable);
    for (std::uint32_t media : {1u, 11u, 13u, 22u}) {
        store_le32(&g[8], media);
        EXPECT_TRUE(ParseDriveGeometry(ByteView(g))->removable) << media;
    }
    for (std::uint32_t media : {0u, 12u, 23u}) {
        store_le32(&g[8], media);
        EXPECT_FALSE(ParseDriveGeometry(ByteView(g))->removable) << media;
    }
    store_le64(&g[0], 0x7FFFFFFFFFFFFFFFULL);
    EXPECT_FALSE(ParseDriveGeometry(ByteView(g)).has_value());
    EXPECT_FALSE(ParseDriveGeometry(ByteView(g.data(), 23)).has_value());
}

TEST(DiskAnswers, DescriptorTextsAndBusAreBoundsChecked) {
    std::vector<std::uint8_t> d(551, 0);
    const std::string product = "ST500DM002-1BD142   ";
    std::copy(product.begin(), product.end(), d.begin() + 100);
    std::copy_n("KC45", 4, d.begin() + 130);
    store_le32(&d[16], 100);
    store_le32(&d[20], 130);
    store_le32(&d[28], 3);
    const auto descriptor = ParseStorageDescriptor(ByteView(d));
    ASSERT_TRUE(descriptor.has_value());
    EXPECT_EQ(descriptor->product, "ST500DM002-1BD142");
    EXPECT_EQ(descriptor->revision, "KC45");
    EXPECT_EQ(descriptor->bus_code, 3);

    store_le32(&d[16], 5000);  // offset outside the answer
    store_le32(&d[20], 0);     // no revision
    std::fill(d.begin() + 540, d.end(), 'X');
    store_le32(&d[28], 17);
    auto odd = ParseStorageDescriptor(ByteView(d));
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->product, "");
    EXPECT_EQ(odd->revision, "");
    EXPECT_EQ(odd->bus_code, 17);
    store_le32(&d[16], 540);  // text without a terminating NUL stops at the end
    EXPECT_EQ(ParseStorageDescriptor(ByteView(d))->product, std::string(11, 'X'));
    EXPECT_FALSE(ParseStorageDescriptor(ByteView(d.data(), 31)).has_value());
}

TEST(VolumeLabels, NtfsLabelComesFromTheVolumeRecord) {
    if (!test::HaveTool("mkntfs")) GTEST_SKIP() << "ntfs-3g tools not installed";
    test::TempDir dir;
    const auto image = test::MakeNtfsImage(dir / "n.img", 32, 4096, "VIDEO");
    ASSERT_TRUE(image.has_value());
    auto source = SourceReader::open(image->string());
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(ReadVolumeLabel(*source), "VIDEO");
}

TEST(VolumeLabels, FatLabelNoNameAndDamage) {
    test::TempDir dir;
    WriteFatVolume(dir / "a", true, "EOS_DIGITAL");
    WriteFatVolume(dir / "b", false, "NO NAME");
    WriteFatVolume(dir / "c", true, "X");
    auto read = [&](const char* name) {
        auto source = SourceReader::open((dir / name).string());
        return source ? ReadVolumeLabel(*source) : std::string("?");
    };
    EXPECT_EQ(read("a"), "EOS_DIGITAL");
    EXPECT_EQ(read("b"), "");
    EXPECT_EQ(read("c"), "X");
    std::vector<std::uint8_t> sector = test::ReadBytes(dir / "a", 0, 512);
    sector[0x42] = 0;  // no extended boot signature: the label field is not there
    EXPECT_EQ(FatBootLabel(ByteView(sector)), "");
}

TEST(VolumeLabels, Utf16ToUtf8) {
    const std::vector<std::uint8_t> text = {'A', 0, 0xE9, 0, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(Utf16LeToUtf8(ByteView(text)), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    const std::vector<std::uint8_t> lone = {0x3D, 0xD8, 'B', 0, 0x00, 0xDE};
    EXPECT_EQ(Utf16LeToUtf8(ByteView(lone)),
              "\xEF\xBF\xBD"
              "B\xEF\xBF\xBD");
    const std::vector<std::uint8_t> odd = {'A', 0, 'B'};
    EXPECT_EQ(Utf16LeToUtf8(ByteView(odd)), "A");
}

}  // namespace
}  // namespace tav
