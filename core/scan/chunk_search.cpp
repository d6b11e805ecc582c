#include "scan/chunk_search.hpp"

#include <algorithm>

#include "scan/avcc_sample.hpp"

namespace tav {

std::size_t ValidSamples(ByteView bytes, std::span<const std::uint32_t> sizes) {
    std::uint64_t at = 0;
    std::size_t valid = 0;
    for (const std::uint32_t size : sizes) {
        if (at > bytes.size() || bytes.size() - at < size) break;
        const ByteView sample = bytes.sub(static_cast<std::size_t>(at));
        if (CheckAvccSample(sample, size) != AvccVerdict::Sample) break;
        at += size;
        ++valid;
    }
    return valid;
}

std::optional<std::uint64_t> FindChunkStart(ByteView area, std::uint64_t area_offset,
                                            std::uint64_t from, const ClusterGrid& grid,
                                            std::span<const std::uint32_t> sizes) {
    if (grid.bytes == 0 || sizes.empty()) return std::nullopt;
    std::uint64_t first = std::max(from, area_offset);
    // Up to the next cluster start (the grid may begin after the area).
    if (first < grid.origin)
        first = grid.origin;
    else
        first = grid.origin + (first - grid.origin + grid.bytes - 1) / grid.bytes * grid.bytes;
    const std::uint64_t area_end = area_offset + area.size();
    for (std::uint64_t at = first; at < area_end; at += grid.bytes) {
        const ByteView here = area.sub(static_cast<std::size_t>(at - area_offset));
        if (ValidSamples(here, sizes) == sizes.size()) return at;
    }
    return std::nullopt;
}

}  // namespace tav
