// Pure parse of sector 0 of a volume. Every field that later code divides by
// or multiplies with is checked here once, so that nothing downstream can
// divide by zero, overflow or index outside the volume.

#include <bit>
#include <limits>

#include "common/byte_view.hpp"
#include "disk/measure.hpp"

namespace tav {
namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint32_t kMostClusterBytes = 32u << 20;  // exFAT's limit, the largest of all
// FAT drivers tell the three FAT kinds apart by the cluster count alone.
constexpr std::int64_t kFat12Clusters = 4085;
constexpr std::int64_t kFat16Clusters = 65525;

std::unexpected<MeasureError> Reject(std::string why) {
    return std::unexpected(MeasureError{MeasureError::NotRecognised, std::move(why)});
}

// Sector size a power of two in 512..4096; cluster size a power of two of at
// most 32 MiB.
std::optional<std::string> GeometryFault(std::uint32_t bps, std::uint32_t spc) {
    if (bps < 512 || bps > 4096 || !std::has_single_bit(bps))
        return "每扇区字节数不正常: " + std::to_string(bps);
    if (spc == 0 || !std::has_single_bit(spc)) return "每簇扇区数不正常: " + std::to_string(spc);
    if (std::uint64_t{bps} * spc > kMostClusterBytes)
        return "不支持的簇大小: " + std::to_string(std::uint64_t{bps} * spc) + "Byte";
    return std::nullopt;
}

void FillCommon(TDiskInfo& info, const char* name, std::uint32_t bps, std::uint32_t spc) {
    info.FileSystem = name;
    info.BytesPerSector = static_cast<std::uint16_t>(bps);
    info.SectorsPerCluster = spc;
    info.BytesPerCluster = bps * spc;
    info.ProbeKind = 1;
}

std::expected<TDiskInfo, MeasureError> ParseNtfs(ByteView b, std::uint32_t bps, std::uint32_t spc) {
    const std::uint64_t total = b.le64(0x28).value_or(0);
    const std::uint64_t mft_cluster = b.le64(0x30).value_or(0);
    if (total == 0) return Reject("NTFS引导扇区的扇区总数为0");
    if (total > static_cast<std::uint64_t>(kInt64Max / bps)) return Reject("NTFS扇区总数超出范围");
    if (mft_cluster > static_cast<std::uint64_t>(kInt64Max / spc))
        return Reject("NTFS的MFT位置超出范围");
    TDiskInfo info;
    FillCommon(info, "NTFS", bps, spc);
    info.TotalSectors = static_cast<std::int64_t>(total);
    info.VolumeBytes = info.TotalSectors * bps;
    info.StartSector = 0;
    info.EndSector = info.TotalSectors;
    info.MftStartSector = static_cast<std::int64_t>(mft_cluster) * spc;
    info.MftRecordCode = b.le16(0x40).value_or(0);
    return info;
}

// FAT12, FAT16 and FAT32 share the layout up to the FAT size: reserved
// sectors, the FATs, on FAT12/16 the root directory, then the data area. A
// FAT size in the 16-bit field makes a FAT12/16 volume, whose kind then
// follows from its cluster count. The hidden-sector count is the volume's
// position on its disk and is deliberately not added: sector 0 of the source
// already is the boot sector.
std::expected<TDiskInfo, MeasureError> ParseFat(ByteView b, std::uint32_t bps, std::uint32_t spc) {
    const std::uint16_t reserved = b.le16(0x0E).value_or(0);
    const std::uint8_t fat_count = b.u8(0x10).value_or(0);
    const std::uint16_t root_entries = b.le16(0x11).value_or(0);
    const std::uint16_t total16 = b.le16(0x13).value_or(0);
    const std::uint16_t fat_size16 = b.le16(0x16).value_or(0);
    const std::uint32_t total = total16 != 0 ? total16 : b.le32(0x20).value_or(0);
    const bool fat32 = fat_size16 == 0;
    const std::uint32_t fat_size = fat32 ? b.le32(0x24).value_or(0) : fat_size16;
    const char* family = fat32 ? "FAT32" : "FAT";
    if (total == 0) return Reject(std::string(family) + "引导扇区的扇区总数为0");
    if (reserved == 0 || fat_count == 0 || fat_size == 0)
        return Reject(std::string(family) + "引导扇区没有FAT表");
    const std::int64_t root_sectors = fat32 ? 0 : (std::int64_t{root_entries} * 32 + bps - 1) / bps;
    const std::int64_t data_start = std::int64_t{fat_count} * fat_size + reserved + root_sectors;
    if (data_start >= static_cast<std::int64_t>(total))
        return Reject(std::string(family) + "数据区起点超出卷的末尾");
    const std::int64_t clusters = (total - data_start) / spc;
    const char* name = fat32                       ? "FAT32"
                       : clusters < kFat12Clusters ? "FAT12"
                       : clusters < kFat16Clusters ? "FAT16"
                                                   : nullptr;
    if (name == nullptr) return Reject("FAT16引导扇区的簇数超出FAT16的范围");
    // The FAT must hold an entry for every cluster of the data area.
    const std::int64_t entry_bits = fat32 ? 32 : name[4] == '2' ? 12 : 16;
    if ((clusters + 2) * entry_bits > std::int64_t{fat_size} * bps * 8)
        return Reject(std::string(name) + "的FAT表太小，容不下所有的簇");
    TDiskInfo info;
    FillCommon(info, name, bps, spc);
    info.TotalSectors = total;
    info.VolumeBytes = info.TotalSectors * bps;
    info.StartSector = data_start;
    info.EndSector = info.TotalSectors;
    info.FatStartSector = reserved;
    info.FatSectors = fat_size;
    info.DataStartSector = data_start;
    return info;
}

// exFAT: sizes as powers of two, the FAT and the cluster heap by their
// offsets. Its allocation bitmap is found later through the root directory.
std::expected<TDiskInfo, MeasureError> ParseExfat(ByteView b) {
    const std::uint8_t sector_shift = b.u8(0x6C).value_or(0);
    const std::uint8_t cluster_shift = b.u8(0x6D).value_or(0);
    if (sector_shift < 9 || sector_shift > 12)
        return Reject("exFAT: 每扇区字节数不正常: 2^" + std::to_string(sector_shift));
    if (sector_shift + cluster_shift > 25)
        return Reject("exFAT: 不支持的簇大小: 2^" + std::to_string(sector_shift + cluster_shift));
    const std::uint32_t bps = 1u << sector_shift;
    const std::uint32_t spc = 1u << cluster_shift;
    const std::uint64_t total = b.le64(0x48).value_or(0);
    const std::uint32_t fat_offset = b.le32(0x50).value_or(0);
    const std::uint32_t fat_length = b.le32(0x54).value_or(0);
    const std::uint32_t heap = b.le32(0x58).value_or(0);
    const std::uint32_t clusters = b.le32(0x5C).value_or(0);
    const std::uint32_t root = b.le32(0x60).value_or(0);
    if (total == 0 || total > static_cast<std::uint64_t>(kInt64Max / bps))
        return Reject("exFAT卷的扇区总数不正常");
    if (fat_offset == 0 || fat_length == 0 || std::uint64_t{fat_offset} + fat_length > heap)
        return Reject("exFAT的FAT位置不正常");
    if (heap == 0 || heap >= total) return Reject("exFAT的簇堆起点超出卷的末尾");
    if (clusters == 0 || std::uint64_t{clusters} * spc > total - heap)
        return Reject("exFAT的簇数超出卷的末尾");
    if (root < 2 || root - 2 >= clusters) return Reject("exFAT的根目录位置不正常");
    TDiskInfo info;
    FillCommon(info, "exFAT", bps, spc);
    info.TotalSectors = static_cast<std::int64_t>(total);
    info.VolumeBytes = info.TotalSectors * bps;
    info.StartSector = heap;
    // The heap ends with its last cluster; sectors after it hold no file data.
    info.EndSector = heap + static_cast<std::int64_t>(clusters) * spc;
    info.FatStartSector = fat_offset;
    info.FatSectors = fat_length;
    info.DataStartSector = heap;
    info.RootDirCluster = root;
    return info;
}

}  // namespace

std::expected<TDiskInfo, MeasureError> ParseBootSector(std::span<const std::uint8_t> sector0) {
    const ByteView b(sector0);
    if (!b.has(0, 512)) return Reject("不足一个引导扇区");
    if (b.matches(3, "EXFAT   ")) return ParseExfat(b);
    const std::uint16_t bps = b.le16(0x0B).value_or(0);
    const std::uint8_t spc = b.u8(0x0D).value_or(0);
    const bool ntfs = b.matches(3, "NTFS");
    const bool fat = b.matches(0x52, "FAT32") || b.matches(0x36, "FAT");
    if (!ntfs && !fat) return Reject("不是NTFS、exFAT、FAT32、FAT16或FAT12引导扇区");
    const char* kind = ntfs ? "NTFS" : "FAT";
    if (auto fault = GeometryFault(bps, spc)) return Reject(std::string(kind) + ": " + *fault);
    if (ntfs) return ParseNtfs(b, bps, spc);
    return ParseFat(b, bps, spc);
}

}  // namespace tav
