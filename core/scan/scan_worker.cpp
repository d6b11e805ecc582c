#include "scan/scan_worker.hpp"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "common/decimal.hpp"
#include "common/log_line.hpp"
#include "platform/source_reader.hpp"
#include "scan/fragment_analysis.hpp"
#include "scan/free_space_setup.hpp"
#include "scan/scan_gauge.hpp"
#include "scan/sector_scan.hpp"

namespace tav {

namespace {

UserMessage OpenFailureMessage(const OpenError& error) {
    std::string text = "无法打开 " + error.path + "：" + error.reason + "。";
    if (error.code == EACCES || error.code == EPERM) text += "读取磁盘设备需要root权限。";
    return {"无法打开源盘", text, MsgIcon::Warning, MsgButtons::Ok};
}

// The scan counts in 512-byte sectors. A raw source measured with larger
// logical sectors is scanned in 512-byte units over the same bytes.
TDiskInfo InScanUnits(TDiskInfo info) {
    if (IsRaw(info) && info.BytesPerSector > kSectorBytes &&
        info.BytesPerSector % kSectorBytes == 0) {
        const std::int64_t factor = info.BytesPerSector / kSectorBytes;
        info.StartSector *= factor;
        info.EndSector *= factor;
        info.BytesPerSector = kSectorBytes;
    }
    return info;
}

bool SectorSizeSupported(const TDiskInfo& info) {
    return info.BytesPerSector == kSectorBytes && (IsRaw(info) || info.SectorsPerCluster > 0);
}

// Base and first read position: FAT32 counts from its cluster 0, two
// clusters before the data area, in every mode; everything else from 0.
void PlaceStart(const TDiskInfo& info, SectorScanSetup& setup) {
    ScanGeometry& g = setup.geometry;
    g.cluster_sectors = info.SectorsPerCluster > 0 ? info.SectorsPerCluster : 1;
    g.range_end = info.EndSector;
    g.raw = IsRaw(info);
    if (IsFat32(info)) {
        g.base = info.StartSector - 2 * g.cluster_sectors;
        setup.start_w = 0;
    } else {
        g.base = 0;
        setup.start_w = info.StartSector;
    }
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

void TscanPst::Execute() {
    outcome_ = {};
    std::optional<SourceReader> source;
    if (auto opened = OpenSource(params_.open_source, params_.source_path)) {
        source.emplace(std::move(*opened));
    } else {
        reporter_.message_box(OpenFailureMessage(opened.error()));
        return;
    }
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
        auto region = SetUpFreeSpace(*source, info, reporter_);
        if (!region) return;
        setup.region = std::move(*region);
    }

    TableWriter writer(tables_, reporter_);
    SectorScan scan(setup, *source, settings_, writer, reporter_, stop_, gauge);
    const bool ran = scan.run();
    outcome_.stopped = scan.stopped();
    outcome_.unreadable = scan.unreadable();
    LogUnreadable();
    if (!ran) return;
    reporter_.log_line(make_log_line(outcome_.stopped ? "扫描已停止" : "扫描完成"));
    FragmentAnalysis(*source, settings_, writer, reporter_).run();
    source.reset();
    reporter_.show_results();
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
