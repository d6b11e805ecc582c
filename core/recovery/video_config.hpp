#pragma once
// What a reference's video sample description says about the stream the
// camera writes: the codec, the NAL length size and the parameter sets of
// its "avcC" or "hvcC". Pure and bounds-checked: the bytes come from a
// user's file.

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "codec/nal_format.hpp"
#include "common/byte_view.hpp"

namespace tav {

struct VideoConfig {
    NalFormat format;
    // Each set as it is in the stream, its NAL header first; vps for HEVC only.
    std::vector<std::vector<std::uint8_t>> vps, sps, pps;
};

// entry: the first sample description entry, its size field first. The
// error names what is missing or does not fit.
std::expected<VideoConfig, std::string> ReadVideoConfig(ByteView entry);

}  // namespace tav
