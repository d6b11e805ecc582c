#pragma once
// Measuring a source into a TDiskInfo: a volume or a partition image by its
// boot sector, a raw image by its size, a whole disk by its device size.

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "disk/disk_info.hpp"
#include "platform/source_reader.hpp"

namespace tav {

// Why measuring failed: could not open (with the system's reason), or the
// contents were not what was expected.
struct MeasureError {
    enum Kind { OpenFailed, NotRecognised, Empty } kind = NotRecognised;
    std::string reason;
};

// Pure boot-sector parse (NTFS, FAT32, FAT16 tested in that order). Fails
// when no signature matches or TotalSectors comes out 0 (FAT16 takes it from
// the 32-bit field only). Fields later code divides or multiplies by are
// refused here instead: a sector size that is not a power of two in
// 512..4096, a cluster of 0 or of a size that is not a power of two or does
// not fit the 16-bit BytesPerCluster (64 KiB and more), no FAT, a data area
// past the end, and counts whose byte size overflows 64 bits.
std::expected<TDiskInfo, MeasureError> ParseBootSector(std::span<const std::uint8_t> sector0);

std::expected<TDiskInfo, MeasureError> MeasureVolume(const std::string& path);
std::expected<TDiskInfo, MeasureError> MeasureRawImage(const std::string& path);
std::expected<TDiskInfo, MeasureError> MeasurePhysicalDisk(const std::string& device_path);

// The same on a source already open: by its boot sector, or whole by its size.
std::expected<TDiskInfo, MeasureError> MeasureVolume(const SourceReader& source);
std::expected<TDiskInfo, MeasureError> MeasureWhole(const SourceReader& source);

// Fills the "Raw" fields: 512 / 8 / 4096, StartSector 0, EndSector bytes / 512.
TDiskInfo RawDiskInfo(std::int64_t size_bytes, TDiskInfo previous = {});

}  // namespace tav
