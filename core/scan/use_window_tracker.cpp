#include "scan/use_window_tracker.hpp"

#include <algorithm>

#include "common/decimal.hpp"
#include "common/log_line.hpp"

namespace tav {

UseWindowTracker::UseWindowTracker(const SourceReader& source, const FreeSpaceRegion& region,
                                   const TDiskInfo& info, const ScanGeometry& geometry,
                                   WorkerReporter* reporter)
    : source_(source),
      region_(region),
      info_(info),
      geometry_(geometry),
      reporter_(reporter),
      window_clusters_(IsNtfs(info) || info.FileSystem == "exFAT" ? kNtfsWindowClusters
                                                                  : kFat32WindowClusters) {}

bool UseWindowTracker::ensure(std::int64_t cluster) {
    if (cluster < 0) return false;
    const std::int64_t index = cluster / window_clusters_;
    if (index == loaded_index_) return true;
    const std::int64_t first = index * window_clusters_;
    // The loader counts FAT and exFAT clusters from the data area (cluster 2 first).
    const std::int64_t sector =
        IsNtfs(info_) ? first * geometry_.cluster_sectors
                      : info_.DataStartSector + (first - 2) * geometry_.cluster_sectors;
    if (sector >= info_.TotalSectors) {
        // A window wholly past the volume: no cluster of it can hold data.
        window_ = ClusterUseWindow{};
        loaded_index_ = index;
        return true;
    }
    window_ = LoadUseWindow(source_, region_, info_, sector);
    loaded_index_ = window_.loaded ? index : -1;
    if (reporter_)
        for (const ByteRange& r : window_.unreadable)
            reporter_->log_line(make_log_line("分配表无法读取  偏移:" + dec(r.offset) +
                                              "Byte  长度:" + dec(r.length) +
                                              "Byte，其中的簇按空闲空间扫描"));
    return window_.loaded;
}

bool UseWindowTracker::in_use(std::int64_t cluster) const {
    const std::int64_t k = cluster - window_.first_cluster;
    if (loaded_index_ < 0 || k < 0 || k >= static_cast<std::int64_t>(window_.entries.size()))
        return true;
    return window_.entries[static_cast<std::size_t>(k)] != 0;
}

std::int64_t UseWindowTracker::same_use_until(std::int64_t cluster, std::int64_t limit) const {
    const std::int64_t size = static_cast<std::int64_t>(window_.entries.size());
    const std::int64_t k = cluster - window_.first_cluster;
    if (loaded_index_ < 0 || k < 0 || k >= size) return std::min(limit, cluster + 1);
    const std::int64_t stop = std::min(limit - window_.first_cluster, size);
    const bool used = window_.entries[static_cast<std::size_t>(k)] != 0;
    std::int64_t j = k + 1;
    while (j < stop && (window_.entries[static_cast<std::size_t>(j)] != 0) == used) ++j;
    return std::max(cluster + 1, window_.first_cluster + j);
}

UserMessage WindowLoadFailureMessage(const TDiskInfo& info) {
    if (IsNtfs(info)) return {"获取BITMAP失败", "获取BITMAP失败，请反馈错误信息！"};
    if (IsFatFamily(info)) return {"获取FAT失败", "获取FAT失败，请反馈错误信息！"};
    if (info.FileSystem == "exFAT") return {"获取BITMAP失败", "获取BITMAP失败，请反馈错误信息！"};
    return {"末知文件系统", "不支持此文件系统，获取参数失败！"};
}

}  // namespace tav
