#include "scan_runner.hpp"

#include <algorithm>
#include <filesystem>

#include "common/log_line.hpp"
#include "common/utf8_path.hpp"
#include "platform/atomic_file.hpp"
#include "platform/user_data_folder.hpp"
#include "recovery/checkpoint_resume.hpp"
#include "scan/checkpoint_keeper.hpp"
#include "sources/measured_source.hpp"

namespace tav::cli {

namespace {

std::string MeasureText(const MeasureError& e) {
    return e.reason.empty() ? "无法识别源盘" : e.reason;
}

}  // namespace

void AddScanOptions(CLI::App* cmd, ScanCliOptions& o) {
    // Not required with --resume: the checkpoint names the source.
    cmd->add_option("SOURCE", o.source, "要扫描的镜像文件、分区或整个磁盘");
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
    cmd->add_option("--checkpoint", o.checkpoint,
                    "扫描时把扫描进度保存到此文件（默认: 扫描结果文件旁，或用户数据文件夹）");
    cmd->add_option(
        "--resume", o.resume,
        "从扫描进度文件继续未完成的扫描（同一源盘、同样的设置; SOURCE 可给出源盘的新路径）");
    cmd->add_flag("--no-checkpoint", o.no_checkpoint, "不保存扫描进度");
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

std::string CheckpointPathFor(const ScanCliOptions& options, const std::string& save_result) {
    if (options.no_checkpoint) return {};
    if (!options.checkpoint.empty()) return options.checkpoint;
    if (!options.resume.empty()) return options.resume;
    if (!save_result.empty()) return save_result + ".checkpoint";
    const std::string folder = UserDataFolder();
    if (folder.empty()) return {};
    std::error_code ec;
    const auto source = std::filesystem::absolute(PathFromUtf8(options.source), ec);
    const std::string name =
        CheckpointFileName(ec ? options.source : Utf8FromPath(source), options.partition);
    return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
}

std::string ResumeHint(const std::string& checkpoint, const std::string& command) {
    return "扫描进度已保存到 " + checkpoint + "\n继续扫描: tavorine-mov-cli " + command +
           " --resume \"" + checkpoint + "\"";
}

std::expected<ScanStart, std::string> PrepareScan(const ScanCliOptions& options) {
    ScanStart start;
    start.options = options;
    if (!options.resume.empty()) {
        auto checkpoint = LoadCheckpoint(options.resume);
        if (!checkpoint) return std::unexpected(checkpoint.error());
        // The checkpoint's scan, on the medium it names unless another path
        // is given (a reader that came back under another name).
        const CheckpointSettings& saved = checkpoint->settings;
        ScanCliOptions& o = start.options;
        if (o.source.empty()) o.source = checkpoint->source.path;
        o.partition = checkpoint->source.partition;
        o.mode = saved.scan_mode == kModeFormat ? "format"
                 : saved.scan_mode == kModeDeep ? "deep"
                                                : "deletion";
        o.scheme = saved.format_scheme == 1 ? "b" : "a";
        o.tagged_only = saved.tagged_only;
        o.large_only = saved.large_only;
        start.resume = std::move(*checkpoint);
    }
    start.settings = SettingsFromOptions(start.options);
    auto selection = SelectSource(start.options, start.settings.ScanMode);
    if (!selection) return std::unexpected(selection.error());
    start.selection = std::move(*selection);
    if (start.resume) {
        const ScanStartPlan plan = PlanScanStart(start.selection, start.settings);
        if (const auto why = ResumeMismatch(*start.resume, start.selection, plan))
            return std::unexpected(start.options.source + " 不是该扫描进度所扫描的源盘（" + *why +
                                   "），未写入任何文件");
    }
    return start;
}

std::expected<ScanRunInfo, std::string> RunScan(const ScanStart& start, ScanTables& tables,
                                                CliReporter& reporter, const StopFlag& stop,
                                                const std::string& checkpoint_path) {
    ScanRunInfo run;
    run.settings = start.settings;
    run.selection = start.selection;
    // Recorded in scan-result files: absolute, so the file still names the
    // source when it is used from another folder.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(PathFromUtf8(run.selection.Source.path), ec);
    run.device_path = ec ? run.selection.Source.path : Utf8FromPath(absolute);
    run.plan = PlanScanStart(run.selection, run.settings);
    const ScanCheckpoint* resumed = start.resume ? &*start.resume : nullptr;
    BeginScanTables(resumed, run.device_path, run.settings, tables);
    for (const auto& message : run.plan.header_messages) reporter.log_line(make_log_line(message));
    if (start.resume)
        reporter.log_line(make_log_line("从扫描进度 " + start.options.resume + " 继续扫描"));
    const TDiskInfo& info = run.selection.DiskInfo;
    reporter.set_total_bytes(info.EndSector * std::max<std::int64_t>(info.BytesPerSector, 1));
    reporter.videos_found(0);

    std::optional<CheckpointKeeper> keeper;
    if (!checkpoint_path.empty()) {
        auto head = CheckpointHeadFor(checkpoint_path, resumed, run.selection, run.settings,
                                      run.plan, tables);
        if (!head) return std::unexpected(head.error());
        keeper.emplace(checkpoint_path, std::move(*head), tables, reporter);
        run.checkpoint = checkpoint_path;
    }

    ScanParams params{
        run.device_path, run.selection.DiskInfo, run.plan.ScanKind, run.plan.ScanAllSpace, {}};
    if (start.resume) params.resume = start.resume->sweep;
    params.checkpoints = keeper ? &*keeper : nullptr;
    TscanPst scan(params, run.settings, tables, reporter, stop);
    scan.Execute();
    run.outcome = scan.outcome();
    run.checkpoint_kept = keeper && keeper->kept();
    // The program's own folder of checkpoints is left only while one is in it.
    if (!run.checkpoint_kept && !checkpoint_path.empty() &&
        FolderOf(checkpoint_path) == UserDataFolder())
        RemoveFolderIfEmpty(UserDataFolder());
    if (!reporter.results_shown()) {
        const std::string why = reporter.last_message();
        std::string text = why.empty() ? "扫描未完成" : "扫描未完成（" + why + "）";
        if (run.checkpoint_kept) text += "\n" + ResumeHint(run.checkpoint, start.command);
        return std::unexpected(text);
    }
    return run;
}

}  // namespace tav::cli
