#pragma once
// Whether bytes are one video sample as a camera or a phone writes it: NAL
// units, each behind its length field, whose lengths add up exactly to the
// sample's size, each header one the codec's streams hold. Tells a chunk
// where the tables put it from the bytes of another file, zeros or a later
// fragment, for H.264 and HEVC and every length size alike.

#include <cstdint>

#include "codec/nal_format.hpp"
#include "common/byte_view.hpp"

namespace tav {

enum class SampleVerdict {
    Sample,      // the bytes are one whole sample
    Foreign,     // a length or a NAL header does not fit
    Incomplete,  // fits so far, but the bytes end before the sample does
};

// One unit of a sample: unit holds its length field, then its header (false
// when it does not hold them). It fits when it lies inside the sample's
// remaining bytes (counted from the length field), is long enough for its
// header, and the header is one of the codec's.
bool NalUnitFits(ByteView unit, std::uint64_t remaining, const NalFormat& format);

// bytes: the sample's bytes from its first length on, at least sample_size of
// them for a whole verdict.
SampleVerdict CheckNalSample(ByteView bytes, std::uint32_t sample_size, const NalFormat& format);

// Whether sample (exactly one sample's bytes) is a whole coded picture: its
// units fill it exactly and at least one of them is a slice. Parameter sets
// or SEI alone are no frame.
bool IsWholeFrame(ByteView sample, const NalFormat& format);

}  // namespace tav
