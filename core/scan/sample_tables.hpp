#pragma once
// Reading a header's sample-size ("stsz") and chunk-offset ("stco"/"co64")
// tables for the pairing: the entry count and the last entry are all the
// analysis needs. Every read starts at a sector boundary and is bounded.

#include <cstdint>
#include <optional>

#include "common/byte_view.hpp"
#include "platform/source_reader.hpp"

namespace tav {

struct TableTail {
    std::uint32_t count = 0;  // entries in the table
    std::uint64_t last = 0;   // the last entry
};

// The atom header fields of a table, parsed from the bytes at the atom's
// start. Pure.
struct TableHeader {
    std::uint32_t atom_size = 0;
    bool sizes = false;             // "stsz"
    std::uint32_t entry_bytes = 0;  // 4 (stsz, stco) or 8 (co64)
    std::uint32_t common_size = 0;  // stsz only
    std::uint32_t count = 0;
    std::uint32_t first_entry = 0;  // offset of entry 0 from the atom start
};
std::optional<TableHeader> ParseTableHeader(ByteView atom);

enum class TableProblem { None, Missing, CommonSize };

// Reads the table whose atom starts at `offset`. `fragment_last_byte` bounds
// the atom: a table that runs past its fragment is not read. want_sizes picks
// the sample-size pass (stsz) or the chunk-offset pass (stco/co64).
std::optional<TableTail> ReadTableTail(const SourceReader& source, std::int64_t offset,
                                       std::int64_t fragment_last_byte, bool want_sizes,
                                       TableProblem& problem);

// Big-endian numbers at any byte of the source, read from their sector.
std::uint32_t ReadBe32At(const SourceReader& source, std::int64_t offset);
std::uint64_t ReadBe64At(const SourceReader& source, std::int64_t offset);

}  // namespace tav
