#pragma once
// The expert view's operations on the scan tables (its popup menu and the
// access-code prompt). Pure functions: the view shows what they return.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/reporter.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// The three read-only fields under the tables.
struct ExpertFields {
    std::string start_offset;  // "起始偏移"
    std::string end_offset;    // "结束偏移"
    std::string file_length;   // "文件长度" (three copy items share it)
};

enum class CopyItem {
    StartOffset,
    EndOffset,
    LengthSectors,
    StszOff,
    StcoOff
};  // N1 N2 N3 N4 STCOOFF1

// Copies one cell of the selected FragmentTable row into its field; with no
// selected row (or a row that does not exist) the fields stay as they are.
void CopyCellToField(const TextTable& fragments, std::optional<std::size_t> selected_row,
                     CopyItem item, ExpertFields& fields);

// N7 keeps the fragments of "非常好" files unticked; N6 those of "非常好" and "好".
enum class KeepGrades { VeryGood, VeryGoodAndGood };

// What an operation asks the view to show; nullopt when it shows nothing.
using ExpertOutcome = std::optional<UserMessage>;

// N7 / N6: ticks every fragment, then unticks those listed by the kept files.
// When no kept file lists anything, no tick changes.
ExpertOutcome TickByQuality(TextTable& fragments, KeepGrades keep);

// N5: each ticked fragment graded "", "好" or "差" becomes a one-fragment
// file (length (碎片长度 + 1) x 512) appended to OutputTable and ResultList.
ExpertOutcome AddTickedFragments(TableSet& tables);

// mdat1: the first ticked row, if it is a start region with an own length,
// gets end := start + 各自长度 and 碎片长度 := (end - start) / 512.
ExpertOutcome CorrectHeadEnd(TextTable& fragments);

// The message for a cell that is not a number, naming the text.
UserMessage NotANumberMessage(std::string_view text);

// The access-code prompt.
bool CheckAccessCode(std::string_view entered);
UserMessage WrongAccessCodeMessage();

}  // namespace tav
