#pragma once
// Finds the movie atoms ("moov" with "mvhd" eight bytes later) in a whole read
// at once, so the sector loop need not compare four bytes at every position.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_view.hpp"

namespace tav {

// Appends to out, ascending, every position p < limit where "moov" starts and
// "mvhd" starts at p + 8. Bytes past limit are only looked at as the rest of
// a match (the overhang).
void FindMovieAtoms(ByteView buffer, std::size_t limit, std::vector<std::uint32_t>& out);

}  // namespace tav
