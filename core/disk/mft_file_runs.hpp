#pragma once
// Where NTFS put each file's data, from the run lists of the MFT records,
// deleted files' included: a record keeps its run list after deletion until
// NTFS reuses it, and then tells exactly where every fragment of the file
// lies.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "disk/disk_info.hpp"
#include "disk/mft_record.hpp"
#include "platform/source_reader.hpp"

namespace tav {

class MftFileRuns {
  public:
    // Reads every record of the MFT of the NTFS volume (info in 512-byte
    // units); records that do not read or parse are skipped. Only files in
    // more than one run are kept.
    static MftFileRuns Read(const SourceReader& volume, const TDiskInfo& info);

    // The runs of the file whose data starts at that cluster; empty when
    // no record says so.
    const std::vector<DataRun>& starting_at(std::int64_t lcn) const;

  private:
    std::unordered_map<std::int64_t, std::vector<DataRun>> by_first_cluster_;
};

}  // namespace tav
