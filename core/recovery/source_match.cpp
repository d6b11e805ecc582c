#include "recovery/source_match.hpp"

#include <algorithm>
#include <array>

#include "common/byte_view.hpp"
#include "common/decimal.hpp"
#include "recovery/rebuild_rows.hpp"

namespace tav {

namespace {

// The start region's first fragment begins with an "ftyp" atom: its type
// four bytes in. Read from the sector boundary below, as devices want.
bool HoldsFtypAt(const SourceReader& source, std::int64_t offset) {
    if (offset < 0) return false;
    const std::int64_t sector = offset / 512 * 512;
    std::array<std::uint8_t, 1024> block{};
    const ReadReport r = source.read_at(sector, block);
    const auto at = static_cast<std::size_t>(offset - sector);
    return r.unreadable.empty() && ByteView(block).matches(at + 4, "ftyp");
}

}  // namespace

std::vector<std::string> MissingStartRegions(const SourceReader& source, const TableSet& tables) {
    std::vector<std::string> missing;
    for (std::size_t s = 0; s < tables.results.row_count(); ++s) {
        const RebuildRow row = ReadRebuildRow(tables.results, s);
        const auto ranges = ResolveFragments(tables, row);
        // A row without a start region has nothing to check here (and one
        // whose fragments cannot be named fails when it is saved).
        if (!ranges || ranges->size() == 0 || ranges->start_types[0] != "HEAD") continue;
        const auto start = parse_int64(ranges->start_offsets[0]);
        if (!start || !HoldsFtypAt(source, *start)) missing.push_back(row.number);
    }
    return missing;
}

std::vector<std::string> MissingStartFragments(const SourceReader& source,
                                               const std::vector<TableRow>& fragments,
                                               std::size_t most) {
    std::vector<const TableRow*> heads;
    for (const TableRow& row : fragments)
        if (row.cells.size() > frag::StartOffset && row.cells[frag::StartType] == "HEAD")
            heads.push_back(&row);
    std::vector<std::string> missing;
    const std::size_t n = heads.size();
    const std::size_t checks = std::min(n, most);
    for (std::size_t k = 0; k < checks; ++k) {
        const TableRow& row = *heads[k * n / checks];
        const auto start = parse_int64(row.cells[frag::StartOffset]);
        if (!start || !HoldsFtypAt(source, *start)) missing.push_back(row.cells[frag::SN]);
    }
    return missing;
}

}  // namespace tav
