#pragma once
// Where a video's chunk really lies when the file it belongs to was split:
// the sample tables give each sample's size, so the bytes at a position can
// be checked sample by sample, and the continuation of a split file is
// searched at cluster boundaries, the only places a file system starts a
// fragment. Pure: the caller reads the bytes.

#include <cstdint>
#include <optional>
#include <span>

#include "common/byte_view.hpp"

namespace tav {

// How many of the samples, laid one after another from the start of bytes,
// are whole camera samples (a sample the bytes end inside does not count).
std::size_t ValidSamples(ByteView bytes, std::span<const std::uint32_t> sizes);

struct ClusterGrid {
    std::uint64_t origin = 0;  // offset of a cluster start (the cluster heap's first byte)
    std::uint64_t bytes = 0;   // cluster size; 512 on a raw disk, where any sector may start
};

// The first cluster start at or after `from` where every one of the samples
// validates, one after another. area: source bytes from area_offset on, which
// must hold the whole chunk at the position found. Nothing when there is no
// such place in the area.
std::optional<std::uint64_t> FindChunkStart(ByteView area, std::uint64_t area_offset,
                                            std::uint64_t from, const ClusterGrid& grid,
                                            std::span<const std::uint32_t> sizes);

}  // namespace tav
