#pragma once
// The start of any camera's or phone's QuickTime/MP4 file: a plausible
// "ftyp" atom at the sector start, then well-formed top-level atoms ("free",
// "wide", "uuid", a "moov" written first, ...) up to the "mdat". Judged by
// structure, not by a list of brands. Pure and bounds-checked: the bytes
// come from a medium.

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "common/byte_view.hpp"

namespace tav {

// The "mdat" must begin this far into the file at most, unless a "moov"
// before it says the file describes itself first, or a "free" or "skip"
// atom reserves room for the header there.
inline constexpr std::uint64_t kStartWalkBytes = 64 * 1024;

struct StartRegion {
    std::string brand;               // the major brand, four printable characters
    std::uint64_t mdat_at = 0;       // file offset of the mdat's size field
    std::uint64_t mdat_payload = 0;  // file offset of its first media byte
    // End of the mdat (file-relative); empty for a size of 0 (to the end).
    std::optional<std::uint64_t> mdat_end;
    bool mdat_size_64 = false;  // size field 1, the size in 64 bits
    // A movie atom before the mdat: the file's own header.
    std::optional<std::uint64_t> moov_at;
    std::uint64_t moov_size = 0;
};

// Bytes 4-7 "ftyp", an atom size that is a multiple of 4 from 16 to 512
// bytes, and major and compatible brands of printable characters.
bool IsPlausibleFtyp(ByteView from_sector);

// Fills buf with the file's bytes at offset; false when they cannot be had.
using StartBytesAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> buf)>;

// Why bytes do not start such a file.
enum class StartProblem {
    NoFtyp,   // bytes 4-7 are not "ftyp"
    BadFtyp,  // its size or brands are not those of a file type atom
    NoMdat,   // no well-formed atoms lead to an mdat within reach
    BadMdat,  // the mdat's size is smaller than its header
};

// first: the bytes at hand from the file's first byte on; more: the rest of
// the medium, asked only for atom headers beyond first.
std::expected<StartRegion, StartProblem> ParseStartRegion(ByteView first,
                                                          const StartBytesAt& more = {});

// What the file is called on the major brand: ".mov" for QuickTime, else
// the ISO family's ".mp4", ".m4v" or ".3gp".
std::string ExtensionForBrand(std::string_view brand);

}  // namespace tav
