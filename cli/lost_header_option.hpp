#pragma once
// `--reference FILE` of `scan` and `recover`: reference clips read before the
// scan, the start regions no header paired rebuilt after it.

#include <expected>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "recovery/lost_headers.hpp"
#include "scan/scan_tables.hpp"

namespace tav::cli {

void AddReferenceOption(CLI::App* cmd, std::vector<std::string>& paths);

// The error names the first file that is no usable reference.
std::expected<std::vector<ReferenceMovie>, std::string> LoadReferences(
    const std::vector<std::string>& paths);

// Rebuilds from the tables' source; nothing without references.
// grid: where a split clip's further pieces may lie (after a scan); nothing
// after a loaded scan-result file, whose clips are rebuilt up to their first
// piece.
std::expected<std::optional<LostHeaders>, std::string> RebuildFromReferences(
    ScanTables& tables, const std::vector<ReferenceMovie>& references, const StopFlag& stop,
    const FollowSetup* grid);

// A line per start region that could not be rebuilt.
void PrintNotRebuilt(std::ostream& err, const LostHeaders& lost);

}  // namespace tav::cli
