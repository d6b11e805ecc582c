#include "cardgen/cluster_geometry.hpp"

#include <cstring>

namespace tav::cardgen {
namespace {

std::uint64_t Le(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

std::optional<ClusterGeometry> ReadClusterGeometry(std::span<const std::uint8_t> image,
                                                   std::int64_t partition_offset) {
    if (partition_offset < 0 || image.size() < static_cast<std::size_t>(partition_offset) + 512)
        return std::nullopt;
    const std::uint8_t* b = image.data() + partition_offset;
    ClusterGeometry g;
    if (std::memcmp(b + 3, "EXFAT   ", 8) == 0) {
        if (b[108] > 12 || b[109] > 25) return std::nullopt;
        const std::int64_t sector = std::int64_t{1} << b[108];
        g.cluster_bytes = sector << b[109];
        g.data_offset = static_cast<std::int64_t>(Le(b + 88, 4)) * sector;
    } else {
        const std::int64_t sector = static_cast<std::int64_t>(Le(b + 11, 2));
        g.cluster_bytes = sector * b[13];
        if (std::memcmp(b + 3, "NTFS    ", 8) == 0) {
            g.data_offset = 0;
        } else if (std::memcmp(b + 82, "FAT32   ", 8) == 0) {
            const std::int64_t reserved = static_cast<std::int64_t>(Le(b + 14, 2));
            const std::int64_t fat = static_cast<std::int64_t>(Le(b + 36, 4));
            g.data_offset = (reserved + b[16] * fat) * sector;
        } else {
            return std::nullopt;
        }
    }
    if (g.cluster_bytes <= 0) return std::nullopt;
    g.data_offset += partition_offset;
    return g;
}

}  // namespace tav::cardgen
