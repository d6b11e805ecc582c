#pragma once
// What the save reads from the tables for one ResultList row: its name parts
// and the byte ranges of its fragments, found through the OutputTable row
// with the same 编号 (so re-sorting the ResultList changes nothing).

#include <cstddef>
#include <expected>
#include <string>

#include "recovery/copy_fragments.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct RebuildRow {
    std::string number;  // 编号
    std::string frames;
    std::string shoot_date;
    std::string fragment_count;  // "1": only the first list entry is used
};

RebuildRow ReadRebuildRow(const TextTable& results, std::size_t position);

// The three lists for CopyFragments, or the reason (for the log) why the
// row's fragments cannot be named: no OutputTable row with that 编号, an
// empty list, an entry that is not a number or that names no row.
std::expected<FragmentRanges, std::string> ResolveFragments(const TableSet& tables,
                                                            const RebuildRow& row);

}  // namespace tav
