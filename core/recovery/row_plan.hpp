#pragma once
// What a save writes for one listed video, found from the tables: the ranges
// of its fragments, or for a row graded "重建" the header rebuilt for it. The
// save, the previews and the play check all read a row through this, so each
// looks at the very file the save would write.

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "recovery/assembled_file.hpp"
#include "recovery/lost_headers.hpp"
#include "recovery/rebuild_rows.hpp"

namespace tav {

struct RowPlan {
    FragmentRanges ranges;
    std::optional<RebuiltFile> rebuilt;  // a copy: the plan may travel to another thread
};

// The header rebuilt for a row of this grade: null unless it is "重建". Such
// a row must not fall back to copying its start region as if it were a whole
// file, nor take a header built for another start region (one from an
// earlier scan).
std::expected<const RebuiltFile*, std::string> RebuiltFor(const RebuiltFiles* rebuilt,
                                                          const TableSet& tables,
                                                          const RebuildRow& row,
                                                          std::string_view quality);

// The plan of the video listed with these cells (its 编号 and fragment count,
// and its grade), or why none can be made.
std::expected<RowPlan, std::string> PlanFor(const TableSet& tables, const RebuildRow& row,
                                            std::string_view quality, const RebuiltFiles* rebuilt);

// The plan of ResultList row s.
std::expected<RowPlan, std::string> PlanResultRow(const TableSet& tables, std::size_t s,
                                                  const RebuiltFiles* rebuilt);

// The planned file read in place from source.
std::expected<AssembledFile, CopyError> OpenPlanned(const SourceReader& source,
                                                    const RowPlan& plan);

}  // namespace tav
