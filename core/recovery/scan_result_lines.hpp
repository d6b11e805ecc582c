#pragma once
// The text lines of a scan-result file, apart from any I/O: building them
// from the tables and parsing a whole file's bytes back into rows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan_tables.hpp"

namespace tav {

// Limits on untrusted input; real files stay far below them.
inline constexpr std::uint64_t kMaxScanResultFileBytes = 512ull << 20;
inline constexpr std::size_t kMaxScanResultLineBytes = 1u << 20;

// Source text, 27 "=", FragmentTable rows, 27 "=", OutputTable rows, 28 "=",
// ResultList rows, 29 "=" (UTF-8; the caller encodes them).
std::vector<std::string> BuildScanResultLines(const TableSet& tables,
                                              const std::string& source_text);

// A row line: the caption, then "^" and each further cell.
std::string BuildRowLine(const TableRow& row, std::size_t column_count);

struct ParsedScanResult {
    std::string source;
    std::vector<std::string> fragment_lines, output_lines, result_lines;
    std::string file_type;  // empty in files of earlier versions
};

// Decodes every line (Base64 of CP936) and finds the three sections.
// nullopt when any line holds a character outside "+".."z" or is not valid
// Base64 or CP936, when a line is absurdly long, or when a section's closing
// separator is missing.
std::optional<ParsedScanResult> ParseScanResultText(std::string_view file_bytes);

// Appends the parsed rows (unticked) and sets the source field.
void AddParsedRows(TableSet& tables, const ParsedScanResult& parsed);

}  // namespace tav
