#pragma once
// Whether bytes are one H.264 sample as a camera writes it: NAL units, each
// behind a 4-byte big-endian length, whose lengths add up exactly to the
// sample's size, each NAL header with its forbidden bit clear and a type a
// camera's stream holds. Lets a reader tell whether a chunk really lies where
// the sample tables say, or whether other bytes (a foreign file, zeros, a
// later fragment) are there.

#include <cstdint>

#include "common/byte_view.hpp"

namespace tav {

enum class AvccVerdict {
    Sample,      // the bytes are one whole sample
    Foreign,     // a length or a NAL header does not fit
    Incomplete,  // fits so far, but the bytes end before the sample does
};

// Whether a NAL header's type is one a camera's stream holds: coded slices,
// SEI, parameter sets, delimiter, end of sequence and stream, filler.
bool IsCameraNalType(std::uint8_t header);

// One NAL unit of a sample: its 4-byte length and its header byte fit when
// the unit lies inside the sample's remaining bytes (counted from the length
// field) and the header is one a camera writes.
bool NalUnitFits(std::uint32_t length, std::uint8_t header, std::uint64_t remaining);

// bytes: the sample's bytes from its first length on, at least sample_size of
// them for a whole verdict.
AvccVerdict CheckAvccSample(ByteView bytes, std::uint32_t sample_size);

}  // namespace tav
