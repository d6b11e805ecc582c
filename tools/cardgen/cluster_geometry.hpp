#pragma once
// Where a generated volume's clusters lie on its image, read from the boot
// sector (FAT32, exFAT, NTFS) without the recovery tool's own parser, so
// that the manifest does not take its word for the layout it is to check.

#include <cstdint>
#include <optional>
#include <span>

namespace tav::cardgen {

struct ClusterGeometry {
    std::int64_t data_offset = 0;  // image offset of the first cluster's bytes (cluster 2 on FAT)
    std::int64_t cluster_bytes = 0;
    // Whether an image offset begins a cluster.
    bool starts_cluster(std::int64_t offset) const {
        return offset >= data_offset && (offset - data_offset) % cluster_bytes == 0;
    }
};

std::optional<ClusterGeometry> ReadClusterGeometry(std::span<const std::uint8_t> image,
                                                   std::int64_t partition_offset);

}  // namespace tav::cardgen
