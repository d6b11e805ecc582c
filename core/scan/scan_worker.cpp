#include "scan/scan_worker.hpp"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

#include "common/decimal.hpp"
#include "common/log_line.hpp"
#include "disk/mft_file_runs.hpp"
#include "platform/source_reader.hpp"
#include "scan/fragment_analysis.hpp"
#include "scan/free_space_setup.hpp"
#include "scan/scan_gauge.hpp"
#include "scan/sector_scan.hpp"
#include "scan/use_window_tracker.hpp"

namespace tav {

namespace {

UserMessage SourceGoneMessage(const std::string& path) {
    return {"源盘已断开",
            "读取 " + path +
                " 时设备已断开连接，扫描已停止。已找到的内容和扫描位置已保存：重新连接同一张卡后"
                "可以继续上次未完成的扫描，不必从头开始。",
            MsgIcon::Warning, MsgButtons::Ok};
}

UserMessage OpenFailureMessage(const OpenError& error) {
    std::string text = "无法打开 " + error.path + "：" + error.reason + "。";
    if (error.code == EACCES || error.code == EPERM) text += "读取磁盘设备需要root权限。";
    return {"无法打开源盘", text, MsgIcon::Warning, MsgButtons::Ok};
}

// The scan counts in 512-byte sectors. A source measured with larger logical
// sectors (1024 to 4096 bytes: newer cards and USB drives) is scanned in
// 512-byte units over the same bytes: every sector field is scaled, cluster
// sizes in bytes stay what they are.
TDiskInfo InScanUnits(TDiskInfo info) {
    if (info.BytesPerSector <= kSectorBytes || info.BytesPerSector % kSectorBytes != 0) return info;
    const std::int64_t factor = info.BytesPerSector / kSectorBytes;
    const auto spc = std::int64_t{info.SectorsPerCluster} * factor;
    if (spc > std::numeric_limits<decltype(info.SectorsPerCluster)>::max()) return info;
    for (std::int64_t* field : {&info.TotalSectors, &info.StartSector, &info.EndSector,
                                &info.MftStartSector, &info.FatSectors, &info.DataStartSector})
        if (__builtin_mul_overflow(*field, factor, field)) return info;
    const std::int64_t fat_start = std::int64_t{info.FatStartSector} * factor;
    if (fat_start > std::numeric_limits<decltype(info.FatStartSector)>::max()) return info;
    info.FatStartSector = static_cast<decltype(info.FatStartSector)>(fat_start);
    info.SectorsPerCluster = static_cast<decltype(info.SectorsPerCluster)>(spc);
    info.BytesPerSector = kSectorBytes;
    return info;
}

bool SectorSizeSupported(const TDiskInfo& info) {
    return info.BytesPerSector == kSectorBytes && (IsRaw(info) || info.SectorsPerCluster > 0);
}

// Base and first read position: the FATs and exFAT count from their cluster
// 0, two clusters before the data area, in every mode; everything else from 0.
void PlaceStart(const TDiskInfo& info, SectorScanSetup& setup) {
    ScanGeometry& g = setup.geometry;
    g.cluster_sectors = info.SectorsPerCluster > 0 ? info.SectorsPerCluster : 1;
    g.range_end = info.EndSector;
    g.raw = IsRaw(info);
    if (IsClusterHeap(info)) {
        g.base = info.StartSector - 2 * g.cluster_sectors;
        setup.start_w = 0;
    } else {
        g.base = 0;
        setup.start_w = info.StartSector;
    }
}

// Where a split file's further pieces may lie: on the volume's cluster grid
// (every sector of a raw source), and in the free-space scans only in free
// clusters, as the scan itself looked only there.
// NTFS: the pieces the file's MFT record lists, when the record survived.
// The MFT is read once, when the first file turns out not to be whole.
std::function<std::vector<MediaPiece>(std::int64_t)> RecordedPieces(const SourceReader& volume,
                                                                    const TDiskInfo& info,
                                                                    std::int64_t volume_offset) {
    auto runs = std::make_shared<std::optional<MftFileRuns>>();
    const std::int64_t cluster = std::int64_t{info.SectorsPerCluster} * kSectorBytes;
    return [runs, &volume, info, volume_offset, cluster](std::int64_t head) {
        std::vector<MediaPiece> pieces;
        if (cluster <= 0 || head < volume_offset || (head - volume_offset) % cluster != 0)
            return pieces;
        if (!*runs) runs->emplace(MftFileRuns::Read(volume, info));
        std::uint64_t file_offset = 0;
        for (const DataRun& r : (*runs)->starting_at((head - volume_offset) / cluster)) {
            const std::int64_t at = volume_offset + r.lcn * cluster;
            const bool follows =
                !pieces.empty() &&
                pieces.back().source_offset +
                        static_cast<std::int64_t>(file_offset - pieces.back().file_offset) ==
                    at;
            if (!follows) pieces.push_back({file_offset, at});
            file_offset += static_cast<std::uint64_t>(r.clusters * cluster);
        }
        return pieces;
    };
}

FollowSetup FollowSetupFor(const SectorScanSetup& setup, const SourceReader& volume,
                           std::int64_t volume_offset, UseWindowTracker* tracker) {
    FollowSetup f;
    const ScanGeometry& g = setup.geometry;
    f.cluster_bytes = g.raw ? kSectorBytes : g.cluster_sectors * kSectorBytes;
    f.grid_origin = volume_offset + g.base * kSectorBytes;
    f.area_begin = volume_offset;
    f.area_end = g.range_end > 0 ? volume_offset + g.range_end * kSectorBytes : 0;
    if (tracker)
        f.usable = [tracker, g, volume_offset](std::int64_t cluster_start) {
            const std::int64_t cluster = g.cluster_of_byte(cluster_start - volume_offset);
            return tracker->ensure(cluster) && !tracker->in_use(cluster);
        };
    if (IsNtfs(setup.disk)) f.known = RecordedPieces(volume, setup.disk, volume_offset);
    return f;
}

}  // namespace

TscanPst::TscanPst(ScanParams params, const ScanSettings& settings, ScanTables& tables,
                   WorkerReporter& reporter, const StopFlag& stop)
    : params_(std::move(params)),
      settings_(settings),
      tables_(tables),
      reporter_(reporter),
      stop_(stop) {}

TscanPst::~TscanPst() {
    Join();
}

void TscanPst::Start() {
    if (!thread_.running()) thread_.start([this] { Execute(); });
}

void TscanPst::Join() {
    thread_.join();
}

std::optional<SourceReader> TscanPst::OpenSourceOrTell() {
    auto opened = OpenSource(params_.open_source, params_.source_path);
    if (!opened) {
        reporter_.message_box(OpenFailureMessage(opened.error()));
        return std::nullopt;
    }
    return std::move(*opened);
}

void TscanPst::Execute() {
    outcome_ = {};
    // The whole source, for the analysis that reads rows' offsets; a volume
    // inside a partition is scanned through a view of its own bytes.
    std::optional<SourceReader> source = OpenSourceOrTell();
    if (!source) return;
    const std::int64_t volume_offset = std::max<std::int64_t>(params_.disk.VolumeOffset, 0);
    std::optional<SourceReader> partition;
    if (volume_offset > 0) {
        auto again = OpenSourceOrTell();
        if (!again) return;
        const std::int64_t size = again->size();
        const std::int64_t length = size < 0
                                        ? std::numeric_limits<std::int64_t>::max() - volume_offset
                                        : size - volume_offset;
        partition.emplace(std::move(*again).into_window(volume_offset, length));
    }
    const SourceReader& volume = partition ? *partition : *source;
    const TDiskInfo info = InScanUnits(params_.disk);
    if (!SectorSizeSupported(info)) {
        reporter_.message_box({"扇区字节数不正常",
                               "发现每扇区字节数非512字节，请反馈错误信息给开发者!",
                               MsgIcon::Warning, MsgButtons::Ok});
        return;
    }
    ScanGauge gauge(info.EndSector);
    reporter_.gauge_range(0, gauge.maximum());
    reporter_.gauge_position(std::clamp<std::int64_t>(info.StartSector, 0, gauge.maximum()));
    reporter_.status_text(0, "扫描中......");

    SectorScanSetup setup;
    setup.disk = info;
    PlaceStart(info, setup);
    setup.geometry.filtering =
        (params_.ScanKind == 0 || params_.ScanKind == 1) && params_.ScanAllSpace == 0;
    if (setup.geometry.filtering) {
        auto region = SetUpFreeSpace(volume, info, reporter_);
        if (!region) return;
        setup.region = std::move(*region);
    }

    TableWriter writer(tables_, reporter_);
    setup.volume_offset = volume_offset;
    if (params_.resume) setup.resume = &*params_.resume;
    setup.checkpoints = params_.checkpoints;
    SectorScan scan(setup, volume, settings_, writer, reporter_, stop_, gauge);
    const bool ran = scan.run();
    outcome_.stopped = scan.stopped();
    outcome_.source_gone = scan.source_gone();
    outcome_.bytes_read = scan.bytes_read();
    for (ByteRange r : scan.unreadable()) {
        r.offset += volume_offset;
        outcome_.unreadable.push_back(r);
    }
    LogUnreadable();
    if (!ran) return;
    if (outcome_.source_gone) {
        TellSourceGone();
        return;
    }
    reporter_.log_line(make_log_line(outcome_.stopped ? "扫描已停止" : "扫描完成"));
    std::optional<UseWindowTracker> use;
    if (setup.geometry.filtering) use.emplace(volume, setup.region, info, setup.geometry);
    FollowSetup follow = FollowSetupFor(setup, volume, volume_offset, use ? &*use : nullptr);
    outcome_.grid = follow;
    outcome_.grid.usable = {};
    outcome_.grid.known = {};
    FragmentAnalysis(*source, settings_, writer, reporter_, std::move(follow)).run();
    // Pairs worked out from a medium that went away are not results; the
    // checkpoint taken before the analysis lets it run again.
    if (source->gone() || volume.gone()) {
        outcome_.source_gone = true;
        TellSourceGone();
        return;
    }
    if (!outcome_.stopped && params_.checkpoints) params_.checkpoints->finished();
    use.reset();
    partition.reset();
    source.reset();
    reporter_.show_results();
}

void TscanPst::TellSourceGone() {
    reporter_.log_line(make_log_line("源盘已断开，扫描已停止"));
    reporter_.message_box(SourceGoneMessage(params_.source_path));
}

// One line per unreadable area, then the total: the user should know that
// videos lying there may be missing or damaged.
void TscanPst::LogUnreadable() {
    const auto& areas = outcome_.unreadable;
    if (areas.empty()) return;
    constexpr std::size_t kMostLines = 200;
    for (std::size_t k = 0; k < areas.size() && k < kMostLines; ++k)
        reporter_.log_line(make_log_line("无法读取的扇区  偏移:" + dec(areas[k].offset) +
                                         "Byte  长度:" + dec(areas[k].length) + "Byte"));
    if (areas.size() > kMostLines)
        reporter_.log_line(make_log_line("另有" +
                                         dec(static_cast<std::int64_t>(areas.size() - kMostLines)) +
                                         "处无法读取的区域未列出"));
    reporter_.log_line(make_log_line("共" + dec(static_cast<std::int64_t>(areas.size())) +
                                     "处无法读取，合计" + dec(TotalLength(areas)) +
                                     "Byte，已按零字节扫描"));
}

}  // namespace tav
