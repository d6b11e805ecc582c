#pragma once
// Fixed sizes of the scan's reads and the arithmetic that places a sector
// relative to the scan's base sector B (cluster 0 of FAT32, else sector 0).

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/disk_info.hpp"

namespace tav {

constexpr std::int64_t kSectorBytes = 512;  // the scan works in 512-byte sectors only
constexpr std::int64_t kStepSectors = 128;
constexpr std::size_t kStepBytes = 65536;
// A step plus one sector of overhang, so a tag that starts in the last bytes
// of the step is read whole.
constexpr std::size_t kReadBytes = kStepBytes + 512;

struct ScanGeometry {
    std::int64_t base = 0;             // B, in sectors
    std::int64_t cluster_sectors = 1;  // spc, never 0
    std::int64_t range_end = 0;        // EndSector: the scan stops before it (absolute)
    bool raw = false;                  // FileSystem "Raw"
    bool filtering = false;            // only free clusters are scanned

    // Cluster number of an absolute sector, counted from B (the FAT cluster
    // number for FAT32, the volume cluster for NTFS where B is 0).
    std::int64_t cluster_of_sector(std::int64_t absolute_sector) const {
        return (absolute_sector - base) / cluster_sectors;
    }
    std::int64_t cluster_of_byte(std::int64_t absolute_byte) const {
        return cluster_of_sector(absolute_byte / kSectorBytes);
    }
};

inline bool IsFat32(const TDiskInfo& info) {
    return info.FileSystem == "FAT32";
}
// FAT12/16/32 and exFAT: cluster k lies at the data area + (k - 2) x spc.
inline bool IsClusterHeap(const TDiskInfo& info) {
    return IsFat32(info) || info.FileSystem == "FAT16" || info.FileSystem == "FAT12" ||
           info.FileSystem == "exFAT";
}
inline bool IsNtfs(const TDiskInfo& info) {
    return info.FileSystem == "NTFS";
}
inline bool IsRaw(const TDiskInfo& info) {
    return info.FileSystem == "Raw";
}

}  // namespace tav
