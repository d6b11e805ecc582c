#pragma once
// The bytes of a track's largest chunk and sample, from its sample table:
// how far the lost-header walk may have to step over chunks of a track it
// cannot read (AAC sound, whose frame sizes only the lost table knew), and
// how long a video NAL unit may be.

#include <cstdint>
#include <optional>

#include "common/byte_view.hpp"

namespace tav {

// stbl: the body of a track's "stbl". Nothing when its stsz, stsc or chunk
// offsets do not parse.
std::optional<std::uint64_t> LargestChunkBytes(ByteView stbl);

// The largest sample of a track, by its stsz.
std::optional<std::uint64_t> LargestSampleBytes(ByteView stbl);

}  // namespace tav
