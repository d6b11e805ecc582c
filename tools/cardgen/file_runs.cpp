#include "cardgen/file_runs.hpp"

#include <algorithm>
#include <cstring>

namespace tav::cardgen {
namespace {

bool Holds(std::span<const std::uint8_t> image, std::int64_t at,
           std::span<const std::uint8_t> piece) {
    return at >= 0 && static_cast<std::size_t>(at) + piece.size() <= image.size() &&
           std::memcmp(image.data() + at, piece.data(), piece.size()) == 0;
}

std::int64_t FindCluster(std::span<const std::uint8_t> image, const ClusterGeometry& g,
                         std::span<const std::uint8_t> piece) {
    for (std::int64_t at = g.data_offset; static_cast<std::size_t>(at) < image.size();
         at += g.cluster_bytes)
        if (Holds(image, at, piece)) return at;
    return -1;
}

}  // namespace

std::optional<std::vector<Fragment>> FindFileRuns(std::span<const std::uint8_t> image,
                                                  const ClusterGeometry& geometry,
                                                  std::span<const std::uint8_t> file) {
    std::vector<Fragment> runs;
    const auto size = static_cast<std::int64_t>(file.size());
    for (std::int64_t at = 0; at < size; at += geometry.cluster_bytes) {
        const auto piece =
            file.subspan(static_cast<std::size_t>(at),
                         static_cast<std::size_t>(std::min(geometry.cluster_bytes, size - at)));
        // Most clusters follow the one before; only run starts need a search.
        if (!runs.empty() && Holds(image, runs.back().offset + runs.back().length, piece)) {
            runs.back().length += static_cast<std::int64_t>(piece.size());
            continue;
        }
        const std::int64_t found = FindCluster(image, geometry, piece);
        if (found < 0) return std::nullopt;
        runs.push_back({found, static_cast<std::int64_t>(piece.size())});
    }
    return runs;
}

}  // namespace tav::cardgen
