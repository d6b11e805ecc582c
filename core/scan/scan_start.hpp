#pragma once
// What pressing Next on the source step turns into: the scan kind, the
// free-space switch and the header lines of the scan log.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/disk_info.hpp"
#include "scan/scan_settings.hpp"
#include "sources/measured_source.hpp"

namespace tav {

enum ScanKindValue : int { kKindDeleted = 0, kKindFormatted = 1, kKindDeep = 2, kKindRawImage = 3 };

// The chosen source, as the source step keeps it.
struct SourceSelection {
    std::string SourceText;   // drive / disk number / image path; empty = nothing chosen
    std::string SourceLabel;  // text of the chosen tree node
    bool SourceIsImage = false;
    TDiskInfo DiskInfo;       // Source.info, as the log header and the scan take it
    MeasuredSource Source{};  // the path the scan and the save open
};

// The selection of a measured source under the texts the wizard shows.
SourceSelection SelectionOf(MeasuredSource source, std::string text, std::string label,
                            bool is_image);

struct ScanStartPlan {
    int ScanKind = kKindDeleted;
    std::uint8_t ScanAllSpace = 0;
    // Messages of the log header, each to be stamped as its own log line.
    std::vector<std::string> header_messages;
};

ScanStartPlan PlanScanStart(const SourceSelection& selection, const ScanSettings& settings);

}  // namespace tav
