#pragma once
// One reader's view of the allocation map during a free-space scan: keeps the
// window of the map that holds the clusters being looked at, loading the next
// one when a cluster outside it is asked for.

#include <cstdint>

#include "common/reporter.hpp"
#include "disk/free_space_map.hpp"
#include "platform/source_reader.hpp"
#include "scan/scan_geometry.hpp"

namespace tav {

class UseWindowTracker {
  public:
    // All references must outlive the tracker. With a reporter, map bytes
    // that cannot be read are logged (their clusters are scanned as free).
    UseWindowTracker(const SourceReader& source, const FreeSpaceRegion& region,
                     const TDiskInfo& info, const ScanGeometry& geometry,
                     WorkerReporter* reporter = nullptr);

    // Makes the window holding the cluster the loaded one. False when that
    // window could not be loaded.
    bool ensure(std::int64_t cluster);
    // For a cluster of the loaded window. Clusters the map does not cover
    // (past the end of the FAT or the bitmap) count as in use: no file data
    // of the volume lies there.
    bool in_use(std::int64_t cluster) const;
    // The first cluster after a cluster of the loaded window, and before
    // limit, whose use differs or that lies outside the window; limit when
    // there is none. Lets a scan take a run of free clusters at once.
    std::int64_t same_use_until(std::int64_t cluster, std::int64_t limit) const;

    std::int64_t window_clusters() const { return window_clusters_; }
    std::int64_t loaded_window() const { return loaded_index_; }

  private:
    const SourceReader& source_;
    const FreeSpaceRegion& region_;
    const TDiskInfo& info_;
    ScanGeometry geometry_;
    WorkerReporter* reporter_;
    std::int64_t window_clusters_;
    std::int64_t loaded_index_ = -1;
    ClusterUseWindow window_;
};

// The message for a window that cannot be loaded, by file system.
UserMessage WindowLoadFailureMessage(const TDiskInfo& info);

}  // namespace tav
