#pragma once
// The start of a free-space scan: find where the volume keeps its allocation
// map, telling the user and the log what was found.

#include <optional>

#include "common/reporter.hpp"
#include "disk/free_space_map.hpp"
#include "platform/source_reader.hpp"

namespace tav {

// The map's region, or nothing (after a message box) when the scan must end.
std::optional<FreeSpaceRegion> SetUpFreeSpace(const SourceReader& source, const TDiskInfo& info,
                                              WorkerReporter& reporter);

}  // namespace tav
