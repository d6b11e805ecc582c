#pragma once
// The answers Windows gives about a physical disk, parsed from their bytes
// (pure, so they are tested on every OS): the 24-byte drive geometry and the
// storage device descriptor.

#include <cstdint>
#include <optional>
#include <string>

#include "common/byte_view.hpp"

namespace tav {

struct DriveGeometry {
    std::int64_t total_sectors = 0;  // cylinders x tracks per cylinder x sectors per track
    std::uint32_t bytes_per_sector = 0;
    bool removable = false;  // media type 1-11 or 13-22
};

struct StorageDescriptor {
    std::string product;  // trailing blanks removed
    std::string revision;
    int bus_code = 0;
};

std::optional<DriveGeometry> ParseDriveGeometry(ByteView answer);
std::optional<StorageDescriptor> ParseStorageDescriptor(ByteView answer);

}  // namespace tav
