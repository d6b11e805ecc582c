#include "scan_runner.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/log_line.hpp"
#include "disk/measure.hpp"

namespace tav::cli {

namespace {

// A partition has a "partition" attribute in sysfs; a whole disk has none.
bool IsPartitionDevice(const std::string& path) {
    std::error_code ec;
    const auto real = std::filesystem::canonical(path, ec);
    if (ec) return false;
    return std::filesystem::exists("/sys/class/block/" + real.filename().string() + "/partition",
                                   ec);
}

std::string MeasureText(const MeasureError& e) {
    return e.reason.empty() ? "无法识别源盘" : e.reason;
}

}  // namespace

void AddScanOptions(CLI::App* cmd, ScanCliOptions& o) {
    cmd->add_option("SOURCE", o.source, "要扫描的镜像文件、分区或整个磁盘")->required();
    cmd->add_option("--mode", o.mode, "扫描方式: deletion 误删除, format 误格式化, deep 深入扫描")
        ->check(CLI::IsMember({"deletion", "format", "deep"}))
        ->capture_default_str();
    cmd->add_option("--scheme", o.scheme, "误格式化方案: a 只扫描空闲空间, b 扫描全部空间")
        ->check(CLI::IsMember({"a", "b"}))
        ->capture_default_str();
    cmd->add_flag("--large-only", o.large_only, "只找64位大文件");
    cmd->add_flag("--json", o.json, "以JSON输出结果");
}

ScanSettings SettingsFromOptions(const ScanCliOptions& o) {
    ScanSettings s;
    s.ScanMode = o.mode == "format" ? kModeFormat : o.mode == "deep" ? kModeDeep : kModeDeletion;
    s.FormatScheme = o.scheme == "b" ? 1 : 0;
    s.FileTypeMov = true;
    s.LargeFileOnly = o.large_only;
    return s;
}

std::expected<SourceSelection, std::string> SelectSource(const std::string& source, int scan_mode) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0)
        return std::unexpected("无法访问源 " + source + "：" + std::strerror(errno));
    SourceSelection sel;
    sel.SourceText = source;
    sel.SourceLabel = source;
    if (S_ISREG(st.st_mode)) {
        sel.SourceIsImage = true;
        auto info = MeasureVolume(source);
        if (!info) {
            if (info.error().kind == MeasureError::OpenFailed)
                return std::unexpected(MeasureText(info.error()));
            info = MeasureRawImage(source);
        }
        if (!info) return std::unexpected(MeasureText(info.error()));
        sel.DiskInfo = *info;
    } else if (S_ISBLK(st.st_mode)) {
        // The deep scan reads a partition whole; the other kinds need its file system.
        auto info = IsPartitionDevice(source) ? MeasureVolume(source) : MeasurePhysicalDisk(source);
        if (!info && scan_mode == kModeDeep) info = MeasureRawImage(source);
        if (!info) return std::unexpected(MeasureText(info.error()));
        sel.DiskInfo = *info;
    } else {
        return std::unexpected(source + " 既不是镜像文件也不是块设备");
    }
    if (sel.DiskInfo.EndSector <= sel.DiskInfo.StartSector)
        return std::unexpected(source + " 是空的，没有可扫描的扇区");
    return sel;
}

std::expected<ScanRunInfo, std::string> RunScan(const ScanCliOptions& options, ScanTables& tables,
                                                CliReporter& reporter, const StopFlag& stop) {
    ScanRunInfo run;
    run.settings = SettingsFromOptions(options);
    auto selection = SelectSource(options.source, run.settings.ScanMode);
    if (!selection) return std::unexpected(selection.error());
    run.selection = *selection;
    run.device_path = options.source;
    run.plan = PlanScanStart(run.selection, run.settings);
    {
        std::lock_guard lock(tables.mutex);
        tables.clear_tables();
        tables.source_field = run.device_path;
    }
    for (const auto& message : run.plan.header_messages) reporter.log_line(make_log_line(message));

    ScanParams params{
        run.device_path, run.selection.DiskInfo, run.plan.ScanKind, run.plan.ScanAllSpace, {}};
    TscanPst scan(params, run.settings, tables, reporter, stop);
    scan.Execute();
    run.outcome = scan.outcome();
    if (!reporter.results_shown()) {
        const std::string why = reporter.last_message();
        return std::unexpected(why.empty() ? "扫描未完成" : "扫描未完成（" + why + "）");
    }
    return run;
}

}  // namespace tav::cli
