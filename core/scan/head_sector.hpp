#pragma once
// The test for a sector that begins a camera file: "ftyp" with the brand
// "qt  ", the camera's DATE/TIME tags and the mdat header in the same sector.
// Pure parsers over the read buffer.

#include <cstdint>
#include <optional>
#include <string>

#include "common/byte_view.hpp"

namespace tav {

struct HeadSector {
    std::string date;  // text of the DATE tag, may be empty
    std::string time;  // text of the TIME tag, may be empty
    // Distance from the sector start to the end of the mdat atom; empty when
    // the sector holds no usable mdat header.
    std::optional<std::int64_t> own_length;
    bool mdat_size_64 = false;  // the 32-bit size field was 1
};

// "ftyp" at 4 and "qt  " at 8 of the view (the sector start).
bool IsHeadSectorStart(ByteView from_sector);

// from_sector: the buffer from the sector start to the buffer's end (at least
// 512 + 32 bytes for a full search; shorter views are searched as far as they
// go). Empty when no DATE or TIME tag with a length below 20 is found.
std::optional<HeadSector> ParseHeadSector(ByteView from_sector);

// Tag bytes as cell text: stops at a NUL, and anything that is not printable
// ASCII or that could act as a path separator becomes '_'.
std::string TagText(ByteView bytes);

}  // namespace tav
