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

std::unexpected<MeasureError> Reject(std::string why) {
    return std::unexpected(MeasureError{MeasureError::NotRecognised, std::move(why)});
}

// Sector size a power of two in 512..4096; cluster size a power of two of at
// most 128 sectors whose byte count still fits the 16-bit BytesPerCluster.
std::optional<std::string> GeometryFault(std::uint16_t bps, std::uint8_t spc) {
    if (bps < 512 || bps > 4096 || !std::has_single_bit(bps))
        return "每扇区字节数不正常: " + std::to_string(bps);
    if (spc == 0 || !std::has_single_bit(spc)) return "每簇扇区数不正常: " + std::to_string(spc);
    if (static_cast<std::uint32_t>(bps) * spc > 0xFFFFu)
        return "不支持的簇大小: " + std::to_string(bps * spc) + "Byte";
    return std::nullopt;
}

void FillCommon(TDiskInfo& info, const char* name, std::uint16_t bps, std::uint8_t spc) {
    info.FileSystem = name;
    info.BytesPerSector = bps;
    info.SectorsPerCluster = spc;
    info.BytesPerCluster = static_cast<std::uint16_t>(bps * spc);
    info.ProbeKind = 1;
}

std::expected<TDiskInfo, MeasureError> ParseNtfs(ByteView b, std::uint16_t bps, std::uint8_t spc) {
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

// FAT32 and FAT16 share the layout up to the FAT size; the data area starts
// after the reserved sectors and all FAT copies. The hidden-sector count is
// the volume's position on its disk and is deliberately not added: sector 0
// of the source already is the boot sector, so adding it would skip that many
// sectors of the data area.
std::expected<TDiskInfo, MeasureError> ParseFat(ByteView b, const char* name, std::uint16_t bps,
                                                std::uint8_t spc, std::uint32_t fat_size) {
    const std::uint16_t reserved = b.le16(0x0E).value_or(0);
    const std::uint8_t fat_count = b.u8(0x10).value_or(0);
    const std::uint32_t total = b.le32(0x20).value_or(0);
    if (total == 0) return Reject(std::string(name) + "引导扇区的32位扇区总数为0");
    if (reserved == 0 || fat_count == 0 || fat_size == 0)
        return Reject(std::string(name) + "引导扇区没有FAT表");
    const std::int64_t data_start = static_cast<std::int64_t>(fat_count) * fat_size + reserved;
    if (data_start >= static_cast<std::int64_t>(total))
        return Reject(std::string(name) + "数据区起点超出卷的末尾");
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

}  // namespace

std::expected<TDiskInfo, MeasureError> ParseBootSector(std::span<const std::uint8_t> sector0) {
    const ByteView b(sector0);
    if (!b.has(0, 512)) return Reject("不足一个引导扇区");
    const std::uint16_t bps = b.le16(0x0B).value_or(0);
    const std::uint8_t spc = b.u8(0x0D).value_or(0);
    const char* name = b.matches(3, "NTFS")       ? "NTFS"
                       : b.matches(0x52, "FAT32") ? "FAT32"
                       : b.matches(0x36, "FAT16") ? "FAT16"
                                                  : nullptr;
    if (name == nullptr) return Reject("不是NTFS、FAT32或FAT16引导扇区");
    if (auto fault = GeometryFault(bps, spc)) return Reject(std::string(name) + ": " + *fault);
    if (name[0] == 'N') return ParseNtfs(b, bps, spc);
    if (name[3] == '3') return ParseFat(b, name, bps, spc, b.le32(0x24).value_or(0));
    return ParseFat(b, name, bps, spc, b.le16(0x16).value_or(0));
}

}  // namespace tav
