#include "scan_runner.hpp"

#include <algorithm>
#include <filesystem>

#include "common/log_line.hpp"
#include "common/utf8_path.hpp"
#include "sources/measured_source.hpp"

namespace tav::cli {

namespace {

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
    cmd->add_option("--partition", o.partition,
                    "扫描整盘镜像或磁盘上的第N个分区（编号同系统: sdb1 为 1）")
        ->check(CLI::PositiveNumber);
    cmd->add_flag("--large-only", o.large_only, "只找64位大文件");
    cmd->add_flag("--tagged-only", o.tagged_only,
                  "只找带 DATE/TIME 标签的相机 MOV 文件 (默认: 所有相机和手机的 MOV 和 MP4 视频)");
    cmd->add_flag("--json", o.json, "以JSON输出结果");
    cmd->add_flag("--progress", o.progress, "不在终端上也显示进度行");
    cmd->add_flag("--quiet", o.quiet, "不显示进度行和结束时的汇总");
}

bool WantsProgress(const ScanCliOptions& o) {
    return !o.quiet && (o.progress || StderrIsTerminal());
}

std::string ScanSummaryText(const ScanRunInfo& run, const ProgressMeter& meter,
                            std::int64_t videos) {
    const std::int64_t read = run.outcome.bytes_read;
    const double seconds = meter.elapsed();
    std::string text = "扫描结束: 读取 " + ByteSizeText(read) + "，用时 " + DurationText(seconds);
    if (seconds > 0.0)
        text += "，平均 " + ByteSizeText(static_cast<std::int64_t>(read / seconds)) + "/s";
    return text + "，发现 " + std::to_string(videos) + " 个视频，无法读取 " +
           ByteSizeText(TotalLength(run.outcome.unreadable));
}

ScanSettings SettingsFromOptions(const ScanCliOptions& o) {
    ScanSettings s;
    s.ScanMode = o.mode == "format" ? kModeFormat : o.mode == "deep" ? kModeDeep : kModeDeletion;
    s.FormatScheme = o.scheme == "b" ? 1 : 0;
    s.FileTypeMov = o.tagged_only;
    s.FileTypeAnyVideo = !o.tagged_only;
    s.LargeFileOnly = o.large_only;
    return s;
}

std::expected<SourceSelection, std::string> SelectSource(const ScanCliOptions& options,
                                                         int scan_mode) {
    SourceChoice choice{options.source, std::nullopt, scan_mode == kModeDeep};
    if (options.partition > 0) choice.partition = options.partition;
    auto measured = MeasureSource(choice);
    if (!measured) return std::unexpected(MeasureText(measured.error()));
    const bool is_image = measured->kind == SourceKind::Image;
    std::string label = options.source;
    if (options.partition > 0) label += " 分区" + std::to_string(options.partition);
    return SelectionOf(std::move(*measured), options.source, std::move(label), is_image);
}

std::expected<ScanRunInfo, std::string> RunScan(const ScanCliOptions& options, ScanTables& tables,
                                                CliReporter& reporter, const StopFlag& stop) {
    ScanRunInfo run;
    run.settings = SettingsFromOptions(options);
    auto selection = SelectSource(options, run.settings.ScanMode);
    if (!selection) return std::unexpected(selection.error());
    run.selection = *selection;
    // Recorded in scan-result files: absolute, so the file still names the
    // source when it is used from another folder.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(PathFromUtf8(run.selection.Source.path), ec);
    run.device_path = ec ? run.selection.Source.path : Utf8FromPath(absolute);
    run.plan = PlanScanStart(run.selection, run.settings);
    {
        tables.with([&](TableSet& t) {
            t.clear_tables();
            t.source_field = run.device_path;
            t.file_type = FileTypeText(run.settings);
        });
    }
    for (const auto& message : run.plan.header_messages) reporter.log_line(make_log_line(message));
    const TDiskInfo& info = run.selection.DiskInfo;
    reporter.set_total_bytes(info.EndSector * std::max<std::int64_t>(info.BytesPerSector, 1));
    reporter.videos_found(0);

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
