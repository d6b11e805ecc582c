#pragma once
// Geometry and scan range of one source, filled when the source is measured
// and copied into every worker that reads the source.

#include <cstdint>
#include <string>

namespace tav {

struct TDiskInfo {
    std::uint16_t BytesPerSector = 0;
    // exFAT clusters reach 32 MiB: both are 32 bits wide.
    std::uint32_t SectorsPerCluster = 0;
    std::uint32_t BytesPerCluster = 0;  // product of the two above
    std::int64_t TotalSectors = 0;
    std::int64_t VolumeBytes = 0;
    std::int64_t StartSector = 0;
    std::int64_t EndSector = 0;  // a sector count: the scan stops before it
    std::int32_t ProbeKind = 0;  // 1 when filled from a boot sector
    std::int64_t MftStartSector = 0;
    std::uint16_t MftRecordCode = 0;
    std::uint32_t FatStartSector = 0;
    std::int64_t FatSectors = 0;
    std::int64_t DataStartSector = 0;
    std::uint32_t RootDirCluster = 0;  // exFAT: where its allocation-bitmap entry is found
    // "NTFS", "FAT32", "FAT16", "FAT12", "exFAT" or "Raw".
    std::string FileSystem;
    // Where the volume begins on its source: 0, or the byte offset of a
    // partition of a whole-card image or disk. Every sector above counts
    // from there; the rows of a scan hold offsets on the whole source.
    std::int64_t VolumeOffset = 0;

    bool operator==(const TDiskInfo&) const = default;
};

}  // namespace tav
