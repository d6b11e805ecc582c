#pragma once
// A bounds-checked reader of QuickTime atoms over bytes in memory: used to
// take apart files written by ffmpeg and to check the files we build.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_view.hpp"

namespace tav::cardgen {

struct Atom {
    std::string type;
    std::size_t offset = 0;  // of the size field, within the walked bytes
    std::size_t header = 8;  // 16 with a 64-bit size
    std::uint64_t size = 0;  // whole atom, header included
    std::size_t body_offset() const { return offset + header; }
    std::size_t end() const { return offset + static_cast<std::size_t>(size); }
};

// The atom at offset, or nullopt when its header or its declared size does
// not fit inside data. Size 0 means "to the end of data".
std::optional<Atom> ReadAtomAt(ByteView data, std::size_t offset);

// The atoms from begin to end, in order; stops at the first one that does not fit.
std::vector<Atom> ReadAtoms(ByteView data, std::size_t begin, std::size_t end);

// The children of a container; skip is the number of body bytes before the
// first child (8 for "stsd": version, flags and entry count).
std::vector<Atom> Children(ByteView data, const Atom& parent, std::size_t skip = 0);

// The first atom along a path such as "moov/trak/mdia/minf/stbl/stsz",
// starting with the top-level atoms of data.
std::optional<Atom> FindPath(ByteView data, std::string_view path);
// The same below a given atom (its children first).
std::optional<Atom> FindPath(ByteView data, const Atom& from, std::string_view path);

}  // namespace tav::cardgen
