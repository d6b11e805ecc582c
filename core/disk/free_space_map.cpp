// Locating a volume's allocation map and loading windows of it. The map is
// read through its extents, so a $Bitmap stored in several runs is read from
// the right places; clusters past the end of the map count as in use, so
// nothing beyond the volume is ever taken for free space.

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "disk/free_space_map.hpp"
#include "disk/mft_record.hpp"

namespace tav {
namespace {

constexpr std::uint32_t kFatMediaF8 = 0x0FFFFFF8u;
constexpr std::uint32_t kDataType = 128;
constexpr std::uint32_t kFileNameType = 48;
constexpr int kLastSystemRecord = 15;
constexpr std::int64_t kNtfsWindowBytes = kNtfsWindowClusters / 8;
constexpr std::int64_t kFat32WindowBytes = kFat32WindowClusters * 4;
// Compressed (any compression unit bits), encrypted, sparse.
constexpr std::uint16_t kUnreadableDataFlags = 0x00FF | 0x4000 | 0x8000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool SaneGeometry(const TDiskInfo& info) {
    return info.BytesPerSector >= 512 && info.SectorsPerCluster > 0;
}

std::int64_t ClusterBytes(const TDiskInfo& info) {
    return std::int64_t{info.BytesPerSector} * info.SectorsPerCluster;
}

// Reads [offset, offset + out.size()) of the volume with whole-sector reads;
// adds the parts that could not be read (they stay zero) to unreadable.
void ReadAligned(const SourceReader& source, std::int64_t offset, std::span<std::uint8_t> out,
                 std::int64_t sector, std::vector<ByteRange>* unreadable = nullptr) {
    const std::int64_t start = FloorDiv(offset, sector) * sector;
    const std::int64_t end = offset + static_cast<std::int64_t>(out.size());
    const std::int64_t aligned_end = FloorDiv(end + sector - 1, sector) * sector;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(aligned_end - start));
    const ReadReport report = source.read_at(start, block);
    std::copy_n(block.begin() + (offset - start), out.size(), out.begin());
    if (unreadable)
        for (const ByteRange& r : ClipRanges(report.unreadable, offset, end))
            AddRange(*unreadable, r);
}

// Map bytes [map_offset, map_offset + out.size()) gathered from the extents;
// bytes no extent covers are left as they are. Map bytes that cannot be read
// stay zero, which both maps take for free clusters: scanning too much is
// safer than skipping a video.
void ReadMapBytes(const SourceReader& source, const FreeSpaceRegion& region,
                  std::int64_t map_offset, std::span<std::uint8_t> out, std::int64_t sector,
                  std::vector<ByteRange>& unreadable) {
    const std::int64_t want_end = map_offset + static_cast<std::int64_t>(out.size());
    for (const MapExtent& e : region.extents) {
        const std::int64_t from = std::max(map_offset, e.map_offset);
        const std::int64_t to = std::min(want_end, e.map_offset + e.length);
        if (from >= to) continue;
        ReadAligned(source, e.volume_offset + (from - e.map_offset),
                    out.subspan(static_cast<std::size_t>(from - map_offset),
                                static_cast<std::size_t>(to - from)),
                    sector, &unreadable);
    }
}

std::optional<std::vector<std::uint8_t>> ReadRecord(const SourceReader& source,
                                                    const TDiskInfo& info, std::int64_t mft_offset,
                                                    std::uint32_t size, int number) {
    std::vector<std::uint8_t> record(size);
    ReadAligned(source, mft_offset + std::int64_t{number} * size, record, info.BytesPerSector);
    if (!ApplyFixup(record, info.BytesPerSector)) return std::nullopt;
    return record;
}

bool DataIsPlain(ByteView record) {
    const auto data = FindAttribute(record, kDataType, false);
    if (!data) return false;
    const auto flags = data->le16(12);
    return flags && (*flags & kUnreadableDataFlags) == 0;
}

bool NameIsBitmap(ByteView record) {
    static constexpr std::string_view kName = "$Bitmap";
    const auto attribute = FindAttribute(record, kFileNameType, true);
    const auto name = attribute ? FileNameOf(*attribute) : std::nullopt;
    if (!name || name->size() != kName.size() * 2) return false;
    for (std::size_t i = 0; i < kName.size(); ++i)
        if (name->le16(2 * i).value_or(0) != static_cast<std::uint8_t>(kName[i])) return false;
    return true;
}

FreeSpaceRegion RegionFromRuns(const std::vector<DataRun>& runs, std::int64_t cluster_bytes) {
    FreeSpaceRegion region;
    std::int64_t map_offset = 0;
    for (const DataRun& run : runs) {
        const std::int64_t bytes = run.clusters * cluster_bytes;
        region.extents.push_back({map_offset, run.lcn * cluster_bytes, bytes});
        map_offset += bytes;
    }
    region.offset = region.extents.front().volume_offset;
    region.length = map_offset;
    return region;
}

FreeSpaceRegion BitmapFromRecord(ByteView record, const TDiskInfo& info) {
    const auto data = FindAttribute(record, kDataType, false);
    const auto runs = data ? RunListOf(*data) : std::nullopt;
    if (!runs) return {};  // missing, or resident: not a layout NTFS writes
    const std::int64_t volume_clusters = info.TotalSectors / info.SectorsPerCluster;
    const auto decoded = DecodeRunList(*runs, volume_clusters);
    if (!decoded) return {};
    return RegionFromRuns(*decoded, ClusterBytes(info));
}

void ExpandNtfsBits(std::span<const std::uint8_t> bytes, std::int64_t valid_bytes,
                    ClusterUseWindow& window) {
    for (std::int64_t k = 0; k < valid_bytes; ++k)
        for (int bit = 0; bit < 8; ++bit)
            window.entries[static_cast<std::size_t>(k * 8 + bit)] = (bytes[k] >> bit) & 1;
}

int FatEntryBits(const TDiskInfo& info) {
    return info.FileSystem == "FAT12" ? 12 : info.FileSystem == "FAT16" ? 16 : 32;
}

// The FAT entry of cluster c from map bytes that start at map byte first_byte;
// nothing when the map has no whole entry for it.
std::optional<std::uint32_t> FatEntry(std::span<const std::uint8_t> bytes, std::int64_t first_byte,
                                      std::int64_t map_bytes, std::int64_t c, int bits) {
    const std::int64_t at = c * bits / 8;
    if (c < 0 || (c * bits + bits + 7) / 8 > map_bytes) return std::nullopt;
    const std::int64_t k = at - first_byte;
    if (k < 0 || k + (bits == 32 ? 4 : 2) > static_cast<std::int64_t>(bytes.size()))
        return std::nullopt;
    const std::uint8_t* p = bytes.data() + k;
    if (bits == 32) return load_le32(p);
    const std::uint32_t v = load_le16(p);
    if (bits == 16) return v;
    return (c & 1) != 0 ? v >> 4 : v & 0x0FFF;
}

// Entries of clusters the volume does not have are marked in use.
void MarkPastVolume(std::int64_t cluster_count, ClusterUseWindow& window) {
    for (std::size_t k = 0; k < window.entries.size(); ++k)
        if (window.first_cluster + static_cast<std::int64_t>(k) >= cluster_count)
            window.entries[k] = 1;
}

ClusterUseWindow LoadNtfsWindow(const SourceReader& source, const FreeSpaceRegion& region,
                                const TDiskInfo& info, std::int64_t sector) {
    ClusterUseWindow window;
    const std::int64_t cluster = FloorDiv(sector, info.SectorsPerCluster);
    const std::int64_t byte_index = FloorDiv(cluster, 8);
    window.first_cluster = byte_index * 8;
    window.entries.assign(kNtfsWindowClusters, 1);
    const std::int64_t valid =
        std::clamp<std::int64_t>(region.length - byte_index, 0, kNtfsWindowBytes);
    if (byte_index >= 0 && valid > 0) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(valid));
        ReadMapBytes(source, region, byte_index, bytes, info.BytesPerSector, window.unreadable);
        ExpandNtfsBits(bytes, valid, window);
    }
    MarkPastVolume(info.TotalSectors / info.SectorsPerCluster, window);
    window.loaded = true;
    return window;
}

// Data area clusters: cluster k at DataStartSector + (k - 2) x spc.
std::int64_t HeapCluster(const TDiskInfo& info, std::int64_t sector) {
    return FloorDiv(sector - info.DataStartSector, info.SectorsPerCluster) + 2;
}

// One past the last cluster number: the data area ends at EndSector.
std::int64_t HeapClusterCount(const TDiskInfo& info) {
    return (info.EndSector - info.DataStartSector) / info.SectorsPerCluster + 2;
}

constexpr std::uint32_t kExfatBitmapEntry = 0x81;
constexpr std::int64_t kMostRootClusters = 256;
constexpr std::int64_t kRootBytesPerCluster = 256 * 1024;

std::int64_t HeapClusterOffset(const TDiskInfo& info, std::int64_t cluster) {
    return (info.DataStartSector + (cluster - 2) * std::int64_t{info.SectorsPerCluster}) *
           info.BytesPerSector;
}

// The next cluster of an exFAT chain; nothing at its end or on a damaged entry.
std::optional<std::int64_t> ExfatNext(const SourceReader& source, const TDiskInfo& info,
                                      std::int64_t cluster) {
    std::array<std::uint8_t, 4> entry{};
    ReadAligned(source, std::int64_t{info.FatStartSector} * info.BytesPerSector + cluster * 4,
                entry, info.BytesPerSector);
    const std::uint32_t next = load_le32(entry.data());
    if (next < 2 || next >= HeapClusterCount(info)) return std::nullopt;
    return next;
}

// The allocation bitmap's entry in the root directory: first cluster, bytes.
std::optional<std::pair<std::int64_t, std::int64_t>> FindExfatBitmapEntry(
    const SourceReader& source, const TDiskInfo& info) {
    const std::int64_t bytes = std::min<std::int64_t>(ClusterBytes(info), kRootBytesPerCluster);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(bytes));
    std::optional<std::int64_t> cluster = info.RootDirCluster;
    for (int k = 0; k < kMostRootClusters && cluster; ++k) {
        ReadAligned(source, HeapClusterOffset(info, *cluster), block, info.BytesPerSector);
        const ByteView dir(block);
        for (std::size_t at = 0; at + 32 <= block.size(); at += 32) {
            const std::uint8_t type = dir.u8(at).value_or(0);
            if (type == 0) return std::nullopt;  // the end of the directory
            if (type != kExfatBitmapEntry) continue;
            const std::int64_t first = dir.le32(at + 20).value_or(0);
            const std::uint64_t length = dir.le64(at + 24).value_or(0);
            if (first < 2 || first >= HeapClusterCount(info) || length == 0 ||
                length > static_cast<std::uint64_t>(HeapClusterCount(info) / 8 + 1))
                return std::nullopt;
            return std::pair{first, static_cast<std::int64_t>(length)};
        }
        cluster = ExfatNext(source, info, *cluster);
    }
    return std::nullopt;
}

ClusterUseWindow LoadFatWindow(const SourceReader& source, const FreeSpaceRegion& region,
                               const TDiskInfo& info, std::int64_t sector) {
    ClusterUseWindow window;
    const int bits = FatEntryBits(info);
    window.first_cluster = HeapCluster(info, sector);
    window.entries.assign(kFat32WindowClusters, 1);
    const std::int64_t first_byte = std::max<std::int64_t>(window.first_cluster * bits / 8, 0);
    const std::int64_t want = kFat32WindowClusters * bits / 8 + 4;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(want), 0);
    const std::int64_t read_to = std::min(first_byte + want, region.length);
    if (first_byte < read_to)
        ReadMapBytes(source, region, first_byte,
                     std::span(bytes).first(static_cast<std::size_t>(read_to - first_byte)),
                     info.BytesPerSector, window.unreadable);
    for (std::size_t k = 0; k < window.entries.size(); ++k) {
        const auto entry = FatEntry(bytes, first_byte, region.length,
                                    window.first_cluster + static_cast<std::int64_t>(k), bits);
        if (entry) window.entries[k] = *entry != 0 ? 1 : 0;  // no such cluster: stays in use
    }
    MarkPastVolume(HeapClusterCount(info), window);
    window.loaded = true;
    return window;
}

// exFAT's allocation bitmap: bit c - 2 (least significant first) for cluster c.
ClusterUseWindow LoadExfatWindow(const SourceReader& source, const FreeSpaceRegion& region,
                                 const TDiskInfo& info, std::int64_t sector) {
    ClusterUseWindow window;
    window.first_cluster = HeapCluster(info, sector);
    window.entries.assign(kNtfsWindowClusters, 1);
    const std::int64_t first_bit = std::max<std::int64_t>(window.first_cluster - 2, 0);
    const std::int64_t first_byte = first_bit / 8;
    const std::int64_t read_to = std::min(first_byte + kNtfsWindowBytes + 1, region.length);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kNtfsWindowBytes + 1), 0);
    if (first_byte < read_to)
        ReadMapBytes(source, region, first_byte,
                     std::span(bytes).first(static_cast<std::size_t>(read_to - first_byte)),
                     info.BytesPerSector, window.unreadable);
    for (std::size_t k = 0; k < window.entries.size(); ++k) {
        const std::int64_t bit = window.first_cluster + static_cast<std::int64_t>(k) - 2;
        if (bit < 0 || bit / 8 >= region.length) continue;  // no such cluster: stays in use
        const std::int64_t at = bit / 8 - first_byte;
        if (at < 0 || at >= read_to - first_byte) continue;
        window.entries[k] = (bytes[static_cast<std::size_t>(at)] >> (bit % 8)) & 1;
    }
    MarkPastVolume(HeapClusterCount(info), window);
    window.loaded = true;
    return window;
}

}  // namespace

bool IsFatFamily(const TDiskInfo& info) {
    return info.FileSystem == "FAT32" || info.FileSystem == "FAT16" || info.FileSystem == "FAT12";
}

bool LocateFat(const SourceReader& source, const TDiskInfo& info) {
    if (!IsFatFamily(info) || !SaneGeometry(info) || info.FatSectors <= 0) return false;
    std::vector<std::uint8_t> sector(info.BytesPerSector);
    const std::int64_t offset = std::int64_t{info.BytesPerSector} * info.FatStartSector;
    if (source.read_at(offset, sector).bytes < 4) return false;
    if (info.FileSystem == "FAT32") return load_le32(sector.data()) == kFatMediaF8;
    // Entry 0 holds the media byte (F0 or F8..FF) with every other bit of
    // the entry set: 12 bits on FAT12, 16 on FAT16.
    if (sector[0] < 0xF0) return false;
    return info.FileSystem == "FAT12" ? (sector[1] & 0x0F) == 0x0F : sector[1] == 0xFF;
}

FreeSpaceRegion FatRegion(const TDiskInfo& info) {
    if (!IsFatFamily(info) || !SaneGeometry(info) || info.FatSectors <= 0) return {};
    if (info.FatSectors > std::numeric_limits<std::int64_t>::max() / info.BytesPerSector) return {};
    FreeSpaceRegion region;
    region.offset = std::int64_t{info.FatStartSector} * info.BytesPerSector;
    region.length = info.FatSectors * info.BytesPerSector;
    region.extents.push_back({0, region.offset, region.length});
    return region;
}

FreeSpaceRegion LocateBitmap(const SourceReader& source, const TDiskInfo& info) {
    if (info.FileSystem != "NTFS" || !SaneGeometry(info) || info.MftStartSector < 0) return {};
    const auto record_size =
        MftRecordSize(info.MftRecordCode, static_cast<std::uint32_t>(ClusterBytes(info)));
    if (!record_size) return {};
    if (info.MftStartSector > std::numeric_limits<std::int64_t>::max() / 2 / info.BytesPerSector)
        return {};
    const std::int64_t mft_offset = std::int64_t{info.BytesPerSector} * info.MftStartSector;
    const auto mft = ReadRecord(source, info, mft_offset, *record_size, 0);
    if (!mft || !DataIsPlain(ByteView(*mft))) return {};
    for (int number = 1; number <= kLastSystemRecord; ++number) {
        const auto record = ReadRecord(source, info, mft_offset, *record_size, number);
        if (!record || !NameIsBitmap(ByteView(*record))) continue;
        return BitmapFromRecord(ByteView(*record), info);
    }
    return {};
}

FreeSpaceRegion LocateExfatBitmap(const SourceReader& source, const TDiskInfo& info) {
    if (info.FileSystem != "exFAT" || !SaneGeometry(info) || info.RootDirCluster < 2) return {};
    const auto entry = FindExfatBitmapEntry(source, info);
    if (!entry) return {};
    const auto [first, length] = *entry;
    const std::int64_t cluster_bytes = ClusterBytes(info);
    FreeSpaceRegion region;
    region.offset = HeapClusterOffset(info, first);
    region.length = length;
    // Through its FAT chain; where the chain ends early, the rest is taken as
    // following on, as exFAT lays the bitmap out.
    std::int64_t cluster = first;
    bool chained = true;
    for (std::int64_t map = 0; map < length; map += cluster_bytes) {
        const std::int64_t piece = std::min(cluster_bytes, length - map);
        const std::int64_t at = HeapClusterOffset(info, cluster);
        if (!region.extents.empty() &&
            region.extents.back().volume_offset + region.extents.back().length == at)
            region.extents.back().length += piece;
        else
            region.extents.push_back({map, at, piece});
        const auto next = chained ? ExfatNext(source, info, cluster) : std::nullopt;
        chained = next.has_value();
        cluster = next.value_or(cluster + 1);
        if (cluster >= HeapClusterCount(info)) break;
    }
    return region;
}

ClusterUseWindow LoadUseWindow(const SourceReader& source, const FreeSpaceRegion& region,
                               const TDiskInfo& info, std::int64_t sector) {
    if (region.empty() || region.extents.empty() || !SaneGeometry(info)) return {};
    // Only sectors of the volume have clusters; this also keeps every
    // cluster and byte computation below far from overflow.
    if (sector < 0 || sector >= info.TotalSectors) return {};
    if (info.FileSystem == "NTFS") return LoadNtfsWindow(source, region, info, sector);
    if (IsFatFamily(info)) return LoadFatWindow(source, region, info, sector);
    if (info.FileSystem == "exFAT") return LoadExfatWindow(source, region, info, sector);
    return {};
}

}  // namespace tav
