#pragma once
// A listed video as the save would write it: the source it is read from and
// its plan. The previews and the play check both start from this, and key
// what they learn by the file it names, not by the row it was listed in.

#include <cstddef>
#include <expected>
#include <string>

#include "recovery/row_plan.hpp"
#include "scan/scan_tables.hpp"

namespace tav::app {

struct PlannedRow {
    std::string source_path;
    RowPlan plan;
};

// The columns of a list that name a video's file: its 编号, fragment count and grade.
struct ListColumns {
    std::size_t number;
    std::size_t fragment_count;
    std::size_t quality;
};
inline constexpr ListColumns kResultColumns{resc::Number, resc::FragmentCount, resc::Quality};
inline constexpr ListColumns kOutputColumns{outc::Number, outc::FragmentCount, outc::Quality};

// The plan of row s of list (one of the tables' lists), or why there is none.
std::expected<PlannedRow, std::string> PlanListRow(const TableSet& tables, const TextTable& list,
                                                   std::size_t s, ListColumns columns,
                                                   const RebuiltFiles* rebuilt);

// Equal for two plans exactly when they read the same bytes: a re-scan that
// lists other files under the same 编号 gets other keys.
std::string PlanKey(const PlannedRow& row);

// Whether two sets of rebuilt headers would give every row the same plan.
bool SameHeaders(const RebuiltFiles& a, const RebuiltFiles& b);

}  // namespace tav::app
