#pragma once
// In which order a stream's pictures are shown, from their slice headers'
// picture order counts: what a rebuilt header's composition offsets
// ("ctts") say for streams with B-frames. H.264 (picture order count type 0,
// and the types that show pictures as they are decoded) and HEVC. Pure and
// bounds-checked: the bytes come from a medium.

#include <cstdint>
#include <optional>
#include <vector>

#include "codec/nal_format.hpp"
#include "common/byte_view.hpp"

namespace tav {

struct CompositionOffsets {
    // Per picture in decoding order: how many frame durations after its
    // decoding time it is shown, the delay included.
    std::vector<std::uint32_t> frames;
    std::uint32_t delay = 0;  // frames between the first decoding and the first showing
    bool reordered() const { return delay != 0; }
};

// sps, pps: the stream's parameter sets, each with its NAL header first.
// first_slices: per picture in decoding order, its first slice unit (header
// first; the first few dozen bytes suffice). Nothing when the sets do not
// say how pictures are counted or some slice header does not read.
std::optional<CompositionOffsets> ComposeOrder(
    VideoCodec codec, const std::vector<std::vector<std::uint8_t>>& sps,
    const std::vector<std::vector<std::uint8_t>>& pps,
    const std::vector<std::vector<std::uint8_t>>& first_slices);

// How many bytes of a slice unit ComposeOrder reads at most.
inline constexpr std::size_t kSliceHeaderBytes = 64;

}  // namespace tav
