#pragma once
// Where a start region's media data lies: after its "ftyp", past whatever
// top-level atoms a camera or phone writes before the "mdat" ("free",
// "wide", "uuid", ...). Pure: the bytes come through MediaBytes.

#include <cstdint>
#include <expected>
#include <string>

#include "recovery/media_walk.hpp"
#include "recovery/reference_movie.hpp"

namespace tav {

struct MediaData {
    std::uint64_t mdat_at = 0;     // the mdat's size field
    std::uint64_t payload_at = 0;  // its first byte of media data
    std::uint64_t end = 0;         // end of the mdat (for size 0: as far as a 32-bit size reaches)
    bool wide = false;             // 64-bit size
    bool to_end = false;           // size 0: the media data runs to the end of the file
};

// How far past the ftyp the mdat may begin.
inline constexpr std::uint64_t kMostLeadingAtomBytes = 64 * 1024;

std::expected<MediaData, std::string> FindMediaData(const MediaBytes& region);

// The mdat size field that ends the media data at end.
ByteString MdatSizeField(const MediaData& m, std::uint64_t end);

}  // namespace tav
