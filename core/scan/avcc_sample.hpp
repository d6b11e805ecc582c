#pragma once
// The scan's names for the sample checks of codec/nal_sample.hpp: without a
// format, an H.264 sample as a camera writes it (4-byte lengths), what every
// caller assumed before phones' clips were known.

#include <cstdint>

#include "codec/nal_sample.hpp"
#include "common/byte_view.hpp"

namespace tav {

using AvccVerdict = SampleVerdict;

// Whether a NAL header's type is one a camera's stream holds: coded slices,
// SEI, parameter sets, delimiter, end of sequence and stream, filler.
bool IsCameraNalType(std::uint8_t header);

// One NAL unit of an H.264 sample with 4-byte lengths: its length and its
// header byte fit when the unit lies inside the sample's remaining bytes
// (counted from the length field) and the header is one a camera writes.
bool NalUnitFits(std::uint32_t length, std::uint8_t header, std::uint64_t remaining);

// bytes: the sample's bytes from its first length on, at least sample_size of
// them for a whole verdict.
AvccVerdict CheckAvccSample(ByteView bytes, std::uint32_t sample_size,
                            const NalFormat& format = {});

}  // namespace tav
