#pragma once
// In which order a stream's pictures are shown, from their slice headers'
// picture order counts: what a rebuilt header's composition offsets
// ("ctts") say for streams with B-frames. H.264 (picture order count type 0,
// and the types that show pictures as they are decoded) and HEVC. Pure and
// bounds-checked: the bytes come from a medium.

#include <cstdint>
#include <memory>
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

// What a picture's first slice header says about its place in the stream.
struct SliceNumbers {
    bool restart = false;                 // IDR (or HEVC broken link): counting starts again
    bool clean_random_access = false;     // HEVC CRA: restarts only where the stream begins
    bool reference = false;               // later pictures refer to it
    std::uint32_t frame_num = 0;          // H.264
    std::uint32_t max_frame_num = 0;      // H.264
    bool shown_as_decoded = false;        // H.264 picture order count type 2
    std::optional<std::int64_t> poc_lsb;  // nothing where the stream does not count so
    unsigned poc_lsb_bits = 0;
    bool keeps_count = false;  // later pictures count their order on from it
};

// Reads first slice headers by a stream's parameter sets (each with its NAL
// header first).
class SliceReader {
  public:
    // Nothing when a set does not parse.
    static std::optional<SliceReader> FromSets(VideoCodec codec,
                                               const std::vector<std::vector<std::uint8_t>>& sps,
                                               const std::vector<std::vector<std::uint8_t>>& pps);
    // first_slice: the unit, header first. Nothing when it is no first slice
    // of a picture these sets describe.
    std::optional<SliceNumbers> read(ByteView first_slice) const;
    // Whether next may be the picture after the reference picture
    // last_reference (H.264 frame numbers count reference pictures).
    bool follows(const SliceNumbers& last_reference, const SliceNumbers& next) const;

  private:
    struct Sets;
    SliceReader(VideoCodec codec, std::shared_ptr<const Sets> sets)
        : codec_(codec), sets_(std::move(sets)) {}
    VideoCodec codec_;
    std::shared_ptr<const Sets> sets_;
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
