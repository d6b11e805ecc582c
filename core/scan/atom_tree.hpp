#pragma once
// Finding atoms inside a movie atom's bytes and reading its chunk runs.
// Pure and bounds-checked: the bytes come from a medium or a user's file.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "common/byte_view.hpp"

namespace tav {

// Far beyond any camera file's table entries.
inline constexpr std::uint64_t kMostTableEntries = 1u << 26;

struct Atom {
    ByteView body;  // after the header
    bool found = false;
};

// The first child atom of that type inside a container body.
Atom Child(ByteView body, const char* type);

// Every child atom of that type, in order.
std::vector<Atom> Children(ByteView body, const char* type);

// Child of child ... along the types.
Atom Path(ByteView body, std::initializer_list<const char*> types);

struct ChunkRun {
    std::uint32_t first_chunk;
    std::uint32_t samples;
};

// The samples of every chunk, from the body of "stsc": entries cover chunks
// from their first chunk up to the next entry's.
std::optional<std::vector<ChunkRun>> ReadStsc(ByteView stsc);

}  // namespace tav
