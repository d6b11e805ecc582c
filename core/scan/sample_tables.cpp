#include "scan/sample_tables.hpp"

#include <array>
#include <limits>

#include "scan/scan_geometry.hpp"

namespace tav {

namespace {

constexpr std::uint32_t kTableSpan = 65536;  // tables below this are read whole
// Offsets come from cells and table entries. Past this one the block read
// would end beyond 64 bits, and no medium has bytes there anyway.
constexpr std::int64_t kLastReadable = std::numeric_limits<std::int64_t>::max() - kSectorBytes * 2;

// The bytes at offset, read from the start of their sector.
template <std::size_t N>
std::array<std::uint8_t, N> ReadFromSector(const SourceReader& source, std::int64_t offset,
                                           std::array<std::uint8_t, kSectorBytes * 2>& block) {
    std::array<std::uint8_t, N> out{};
    if (offset < 0 || offset > kLastReadable) return out;
    const std::int64_t sector_start = offset / kSectorBytes * kSectorBytes;
    source.read_at(sector_start, block);
    const auto at = static_cast<std::size_t>(offset - sector_start);
    for (std::size_t k = 0; k < N; ++k) out[k] = block[at + k];
    return out;
}

}  // namespace

std::uint32_t ReadBe32At(const SourceReader& source, std::int64_t offset) {
    std::array<std::uint8_t, kSectorBytes * 2> block{};
    return load_be32(ReadFromSector<4>(source, offset, block).data());
}

std::uint64_t ReadBe64At(const SourceReader& source, std::int64_t offset) {
    std::array<std::uint8_t, kSectorBytes * 2> block{};
    return load_be64(ReadFromSector<8>(source, offset, block).data());
}

std::optional<TableHeader> ParseTableHeader(ByteView atom) {
    TableHeader h;
    const auto size = atom.be32(0);
    if (!size) return std::nullopt;
    h.atom_size = *size;
    if (atom.matches(4, "stsz")) {
        h.sizes = true;
        h.entry_bytes = 4;
        h.first_entry = 20;
        const auto common = atom.be32(12);
        const auto count = atom.be32(16);
        if (!common || !count) return std::nullopt;
        h.common_size = *common;
        h.count = *count;
    } else if (atom.matches(4, "stco") || atom.matches(4, "co64")) {
        h.entry_bytes = atom.matches(4, "co64") ? 8 : 4;
        h.first_entry = 16;
        const auto count = atom.be32(12);
        if (!count) return std::nullopt;
        h.count = *count;
    } else {
        return std::nullopt;
    }
    return h;
}

std::optional<TableTail> ReadTableTail(const SourceReader& source, std::int64_t offset,
                                       std::int64_t fragment_last_byte, bool want_sizes,
                                       TableProblem& problem) {
    problem = TableProblem::Missing;
    if (offset <= 0) return std::nullopt;
    std::array<std::uint8_t, kSectorBytes * 2> block{};
    const auto head = ReadFromSector<24>(source, offset, block);
    const auto h = ParseTableHeader(ByteView(head.data(), head.size()));
    if (!h || h->sizes != want_sizes) return std::nullopt;
    // The atom must end inside its fragment and hold the whole table.
    std::int64_t atom_last = 0;
    if (__builtin_add_overflow(offset, static_cast<std::int64_t>(h->atom_size) - 1, &atom_last) ||
        fragment_last_byte < atom_last)
        return std::nullopt;
    if (h->sizes && h->common_size != 0) {
        problem = TableProblem::CommonSize;
        return std::nullopt;
    }
    const std::uint64_t table_bytes = std::uint64_t{h->count} * h->entry_bytes;  // 64-bit: no wrap
    if (h->first_entry + table_bytes > h->atom_size) return std::nullopt;
    if (h->count == 0) return std::nullopt;
    // Small tables are indexed from their start, large ones read from the
    // atom's end; both are the last entry of a table that fills its atom.
    const std::int64_t last_at =
        table_bytes < kTableSpan
            ? offset + h->first_entry + static_cast<std::int64_t>(table_bytes - h->entry_bytes)
            : offset + static_cast<std::int64_t>(h->atom_size) - h->entry_bytes;
    TableTail tail;
    tail.count = h->count;
    tail.last = h->entry_bytes == 8 ? ReadBe64At(source, last_at) : ReadBe32At(source, last_at);
    problem = TableProblem::None;
    return tail;
}

}  // namespace tav
