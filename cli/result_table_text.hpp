#pragma once
// Scan tables as text for the terminal (columns padded by display width) and
// as the JSON document of `scan --json`.

#include <ostream>

#include "play_checks.hpp"
#include "recovery/lost_headers.hpp"
#include "scan/scan_tables.hpp"
#include "scan/scan_worker.hpp"
#include "thumbnails.hpp"

namespace tav::cli {

// Display width of UTF-8 text: CJK and full-width characters count two.
std::size_t DisplayWidth(std::string_view text);

void PrintTable(std::ostream& out, const TextTable& table);

// {"format": 2, "results": [...], "fragments": [[...]], "outputs": [[...]]},
// and after a scan "stopped", "unreadable": [{"offset", "length"}] and
// "unreadable_bytes" (docs/json.md). With thumbnails (one per results row)
// each result also has "thumbnail" and "duration_ms". Every result says
// whether its header was rebuilt; a rebuilt one's ranges and length come
// from its header in lost, which also gives "not_rebuilt". With checks
// (one per results row) each checked result has "verify".
void WriteScanJson(std::ostream& out, const TableSet& tables, const ScanOutcome* outcome = nullptr,
                   const std::vector<RowThumbnail>* thumbnails = nullptr,
                   const LostHeaders* lost = nullptr,
                   const std::vector<RowCheck>* checks = nullptr);

}  // namespace tav::cli
