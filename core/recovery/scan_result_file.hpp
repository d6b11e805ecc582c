#pragma once
// The scan-result file: Base64 lines of CP936 text holding the source path
// and the three scan tables.

#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

bool SaveScanResult(const ScanTables& tables, const std::string& source_text,
                    const std::string& file_name, WorkerReporter& reporter);
// Adds the file's rows to the tables (it does not clear them) and sets
// tables.source_field.
bool LoadScanResult(ScanTables& tables, const std::string& file_name, WorkerReporter& reporter);
std::vector<std::string> SplitRowLine(const std::string& line);

}  // namespace tav
