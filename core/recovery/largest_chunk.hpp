#pragma once
// The bytes of a track's largest chunk, from its sample table: how far the
// lost-header walk may have to step over chunks of a track it cannot read
// (AAC sound, whose frame sizes only the lost table knew).

#include <cstdint>
#include <optional>

#include "common/byte_view.hpp"

namespace tav {

// stbl: the body of a track's "stbl". Nothing when its stsz, stsc or chunk
// offsets do not parse.
std::optional<std::uint64_t> LargestChunkBytes(ByteView stbl);

}  // namespace tav
