#pragma once
// AnalyzeHeader: walks a movie atom found by the sector scan directly on the
// source, across as many read windows as the header needs, with read windows
// and a use window of its own (the scan's stay as they are).

#include <cstdint>
#include <string>

#include "common/reporter.hpp"
#include "disk/disk_info.hpp"
#include "disk/free_space_map.hpp"
#include "platform/source_reader.hpp"
#include "scan/atom_walk.hpp"
#include "scan/scan_geometry.hpp"

namespace tav {

struct HeaderRequest {
    std::int64_t header_start = 0;  // X: the movie atom's size field
    std::int64_t step = kStepSectors;
    bool check_free_space = false;
    bool large_file_only = false;
};

// region is only used when check_free_space is set. Messages about
// unloadable use windows go to the reporter.
HeaderInfo AnalyzeHeader(const SourceReader& source, const TDiskInfo& info,
                         const ScanGeometry& geometry, const FreeSpaceRegion& region,
                         const HeaderRequest& request, WorkerReporter& reporter);

}  // namespace tav
