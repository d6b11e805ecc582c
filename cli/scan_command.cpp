// `tavorine-mov-cli scan SOURCE ...`: scans and lists the recoverable files.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "command_registry.hpp"
#include "common/utf8_path.hpp"
#include "lost_header_option.hpp"
#include "recovery/scan_result_file.hpp"
#include "result_table_text.hpp"
#include "scan_runner.hpp"
#include "stop_signals.hpp"

namespace tav::cli {

namespace {

struct ScanCommandOptions {
    ScanCliOptions scan;
    std::string save_result;
    std::string thumbnails;  // folder for first-frame JPEGs; empty: none
    bool verify = false;     // decode every listed video from end to end
    std::vector<std::string> references;
};

// What the scan could not read, for a person; the JSON lists every area.
void PrintUnreadableNote(std::ostream& out, const ScanOutcome& outcome) {
    if (outcome.unreadable.empty()) return;
    out << "注意: " << outcome.unreadable.size() << "处扇区无法读取，共"
        << TotalLength(outcome.unreadable) << " Byte，已按零字节扫描\n";
}

int RunScanCommand(const ScanCommandOptions& o) {
    if (o.scan.source.empty() && o.scan.resume.empty()) {
        std::cerr << "tavorine-mov-cli: error: 需要 SOURCE 或 --resume 扫描进度文件\n";
        return kExitError;
    }
    // A folder that cannot be made is an argument error: found before the scan.
    if (!o.thumbnails.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(PathFromUtf8(o.thumbnails), ec);
        if (ec || !std::filesystem::is_directory(PathFromUtf8(o.thumbnails))) {
            std::cerr << "tavorine-mov-cli: error: 无法创建缩略图文件夹 " << o.thumbnails
                      << (ec ? "：" + ec.message() : "") << '\n';
            return kExitError;
        }
    }
    if (const auto why = o.verify ? CannotCheck() : std::nullopt) {
        std::cerr << "tavorine-mov-cli: error: " << *why << '\n';
        return kExitError;
    }
    const auto references = LoadReferences(o.references);
    if (!references) {
        std::cerr << "tavorine-mov-cli: error: " << references.error() << '\n';
        return kExitError;
    }
    // Another medium than the checkpoint's is refused before anything is written.
    const auto start = PrepareScan(o.scan);
    if (!start) {
        std::cerr << "tavorine-mov-cli: error: " << start.error() << '\n';
        return kExitError;
    }
    ScanTables tables;
    CliReporter reporter(o.scan.json ? std::cerr : std::cout, WantsProgress(o.scan));
    StopOnSignals signals;
    const auto run = RunScan(*start, tables, reporter, signals.flag(),
                             CheckpointPathFor(start->options, o.save_result));
    if (!run) {
        std::cerr << "tavorine-mov-cli: error: " << run.error() << '\n';
        return kExitError;
    }
    if (!o.save_result.empty() &&
        !SaveScanResult(tables, run->device_path, o.save_result, reporter)) {
        std::cerr << "tavorine-mov-cli: error: 无法保存扫描结果到 " << o.save_result << '\n';
        return kExitError;
    }
    const ScanOutcome& outcome = run->outcome;
    auto rebuilt = RebuildFromReferences(tables, *references, signals.flag(), &outcome.grid);
    if (!rebuilt) {
        std::cerr << "tavorine-mov-cli: error: " << rebuilt.error() << '\n';
        return kExitError;
    }
    const std::optional<LostHeaders> lost = std::move(*rebuilt);
    const RebuiltFiles* headers = lost ? &lost->rebuilt : nullptr;
    const TableSet found = tables.snapshot();
    // Rebuilt rows too: their pictures and checks read the rebuilt header.
    std::optional<std::vector<RowThumbnail>> thumbnails;
    if (!o.thumbnails.empty())
        thumbnails = WriteThumbnails(found, PathFromUtf8(o.thumbnails), headers);
    std::optional<std::vector<RowCheck>> checks;
    if (o.verify && !outcome.stopped)
        checks = CheckRows(found, headers, {}, signals.flag(), o.scan.quiet ? nullptr : &std::cerr);
    const bool check_stopped = checks && AnyStopped(*checks);
    if (o.scan.json) {
        WriteScanJson(std::cout, found, &outcome, thumbnails ? &*thumbnails : nullptr,
                      lost ? &*lost : nullptr, checks ? &*checks : nullptr);
        // The rows without a picture, where the log goes.
        if (thumbnails) {
            std::vector<RowThumbnail> missing;
            for (const RowThumbnail& t : *thumbnails)
                if (!t.path) missing.push_back(t);
            PrintThumbnails(std::cerr, missing);
        }
    } else {
        std::cout << '\n';
        if (outcome.stopped) std::cout << "扫描已停止，以下是停止前找到的文件\n";
        PrintTable(std::cout, checks ? WithPlayableColumn(found.results, *checks) : found.results);
        if (thumbnails) PrintThumbnails(std::cout, *thumbnails);
    }
    PrintUnreadableNote(std::cerr, outcome);
    if (run->checkpoint_kept) std::cerr << ResumeHint(run->checkpoint, "scan") << '\n';
    if (lost) PrintNotRebuilt(std::cerr, *lost);
    const auto videos = tables.with(
        [](const TableSet& t) { return static_cast<std::int64_t>(t.results.rows().size()); });
    if (!o.scan.quiet) std::cerr << ScanSummaryText(*run, reporter.meter(), videos) << '\n';
    if (outcome.stopped || (lost && lost->stopped) || check_stopped) return kExitStopped;
    if (videos == 0) return kExitNothing;
    const bool missed = (lost && lost->any_failed()) ||
                        (checks && !std::all_of(checks->begin(), checks->end(),
                                                [](const RowCheck& c) { return c.plays_fully(); }));
    return outcome.unreadable.empty() && !missed ? kExitFound : kExitPartial;
}

const RegisterCommand kRegister([](CLI::App& app, int& exit_code) {
    auto options = std::make_shared<ScanCommandOptions>();
    CLI::App* cmd = app.add_subcommand("scan", "扫描源盘并列出可恢复的视频文件");
    AddScanOptions(cmd, options->scan);
    cmd->add_option("--save-result", options->save_result, "把扫描结果保存到扫描结果文件(.vyr)");
    cmd->add_option("--thumbnails", options->thumbnails,
                    "把每个视频的首帧缩略图(JPEG)写入此文件夹（不存在时创建）");
    cmd->add_flag("--verify", options->verify, "逐帧解码每个视频, 列出能播放多少 (不写入任何文件)");
    AddReferenceOption(cmd, options->references);
    cmd->callback([options, &exit_code] { exit_code = RunScanCommand(*options); });
});

}  // namespace

}  // namespace tav::cli
