#pragma once
// Whether a source is the medium a scan-result file came from: every listed
// video's start region must begin with its "ftyp" atom where the tables
// recorded it. Saving from another medium would write other bytes under the
// listed names.

#include <string>
#include <vector>

#include "platform/source_reader.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// The numbers (编号) of the listed videos whose start region is not found
// on the source; empty when every one is there. Rows without a start
// region are not checked.
std::vector<std::string> MissingStartRegions(const SourceReader& source, const TableSet& tables);

// The same check over fragment rows ("HEAD" rows' offsets), at most `most`
// of them spread evenly: their captions where no "ftyp" is found.
std::vector<std::string> MissingStartFragments(const SourceReader& source,
                                               const std::vector<TableRow>& fragments,
                                               std::size_t most);

}  // namespace tav
