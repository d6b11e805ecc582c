#pragma once
// Start regions that no movie header paired, rebuilt from reference clips
// and listed in the OutputTable and ResultList with the grade "重建". The
// rebuilt headers are kept beside the tables, by 编号, for the save.

#include <map>
#include <string>
#include <vector>

#include "platform/source_reader.hpp"
#include "recovery/header_rebuild.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

inline constexpr const char* kRebuiltQuality = "重建";

using RebuiltFiles = std::map<std::string, RebuiltFile>;  // by 编号

struct LostHeader {
    std::size_t fragment_row = 0;  // the "HEAD" row
    std::int64_t offset = 0;       // its start on the source
    std::string shoot_date;
    std::expected<RebuiltFile, std::string> rebuilt;
};

// The "HEAD" rows no OutputTable row lists.
std::vector<std::size_t> UnpairedHeads(const TableSet& tables);

// Rebuilds each unpaired start region; reads the source only (no lock held:
// pass a snapshot of the tables). A stop ends it before the next region.
// With follow (the scan's grid, area and usable clusters), media data that
// stops making sense is looked for elsewhere, as for a split file.
std::vector<LostHeader> RebuildLostHeaders(const SourceReader& source, const TableSet& tables,
                                           const std::vector<ReferenceMovie>& references,
                                           const StopFlag* stop = nullptr,
                                           const FollowSetup* follow = nullptr);

// Lists the rebuilt ones after the rows there are; answers their headers. A
// split one's further pieces get FragmentTable rows of their own ("mdat"),
// listed after its "HEAD" row, as the analysis lists a split file's.
RebuiltFiles ListRebuilt(TableSet& tables, const std::vector<LostHeader>& lost);

// "无法重建偏移N处的视频 (date): why", for one that could not be rebuilt.
std::string DescribeNotRebuilt(const LostHeader& h);

struct LostHeaders {
    std::vector<LostHeader> found;
    RebuiltFiles rebuilt;
    bool stopped = false;  // regions were left untried
    bool any_failed() const;
};

// Both steps: the rebuild from a snapshot, the tables locked only to list.
LostHeaders RebuildUnpairedHeads(const SourceReader& source, ScanTables& tables,
                                 const std::vector<ReferenceMovie>& references,
                                 const StopFlag* stop = nullptr,
                                 const FollowSetup* follow = nullptr);

}  // namespace tav
