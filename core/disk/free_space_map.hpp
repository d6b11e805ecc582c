#pragma once
// Where a volume records which clusters are in use (the first FAT of FAT32,
// the $Bitmap data of NTFS), and one window of that map at a time.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/byte_range.hpp"
#include "common/byte_view.hpp"
#include "disk/disk_info.hpp"
#include "platform/source_reader.hpp"

namespace tav {

// One contiguous piece of the map on the volume: map bytes
// [map_offset, map_offset + length) lie at volume byte offset volume_offset.
struct MapExtent {
    std::int64_t map_offset = 0;
    std::int64_t volume_offset = 0;
    std::int64_t length = 0;
    bool operator==(const MapExtent&) const = default;
};

struct FreeSpaceRegion {
    std::int64_t offset = 0;  // byte offset of the map (its first run) on the volume
    std::int64_t length = 0;  // byte length of the whole map
    // Every run of the map in map order; a FAT has one. A map in several runs
    // is read through them all so that no cluster is judged by foreign bytes.
    std::vector<MapExtent> extents;
    bool empty() const { return offset == 0 && length == 0; }
};

struct ClusterUseWindow {
    bool loaded = false;
    std::int64_t first_cluster = 0;     // cluster number of entries[0]
    std::vector<std::uint8_t> entries;  // 1 = in use, 0 = free
    // Volume bytes of the map that could not be read; their clusters read
    // as free.
    std::vector<ByteRange> unreadable;
};

constexpr std::int64_t kNtfsWindowClusters = 65536;
constexpr std::int64_t kFat32WindowClusters = 16384;

// FAT12/16/32: the first FAT starts with entry 0 holding the media byte
// (FAT32: exactly 0x0FFFFFF8).
bool LocateFat(const SourceReader& source, const TDiskInfo& info);
// FAT32: the first FAT. NTFS: the $Bitmap data found through the MFT, every
// run of it; an empty region when it cannot be found, its MFT records are
// damaged, or the $MFT data is compressed, encrypted or sparse.
FreeSpaceRegion FatRegion(const TDiskInfo& info);
FreeSpaceRegion LocateBitmap(const SourceReader& source, const TDiskInfo& info);
// exFAT: the allocation bitmap, found through the root directory's bitmap
// entry (read along the FAT chains); empty when it cannot be found.
FreeSpaceRegion LocateExfatBitmap(const SourceReader& source, const TDiskInfo& info);
// FAT12, FAT16 and FAT32.
bool IsFatFamily(const TDiskInfo& info);

// Loads the window that starts at the cluster of the absolute sector
// (NTFS: rounded down to a multiple of 8). Entries of clusters that the map
// or the volume does not have read 1 (in use), so they are never scanned as
// free. Not loaded for a sector outside the volume, an empty region or a
// TDiskInfo without a usable geometry.
ClusterUseWindow LoadUseWindow(const SourceReader& source, const FreeSpaceRegion& region,
                               const TDiskInfo& info, std::int64_t sector);

// MFT record helpers (pure).
bool ApplyFixup(std::span<std::uint8_t> record, std::uint16_t bytes_per_sector);
std::optional<ByteView> FindAttribute(ByteView record, std::uint32_t type, bool skip_dos_names);

}  // namespace tav
