// `tavorine-mov-cli recover SOURCE --out DIR ...`: scans (or loads a
// scan-result file), ticks the chosen files and saves them into DIR.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "command_registry.hpp"
#include "common/decimal.hpp"
#include "common/utf8_path.hpp"
#include "json_writer.hpp"
#include "lost_header_option.hpp"
#include "play_checks.hpp"
#include "playable_text.hpp"
#include "recovery/rebuild_worker.hpp"
#include "recovery/scan_result_file.hpp"
#include "recovery/source_match.hpp"
#include "result_table_text.hpp"
#include "scan_runner.hpp"
#include "stop_signals.hpp"

namespace tav::cli {

namespace {

struct RecoverOptions {
    ScanCliOptions scan;
    std::string out;
    std::string load;
    std::string select = "all";
    std::vector<std::string> references;
    bool verify = false;  // decode every chosen video before saving
};

struct Selection {
    std::set<std::string> numbers;  // empty: every row
    bool playable = false;          // only those whose every frame decodes
};

// "all" -> every row; "3,5" -> the rows whose 编号 is 3 or 5; "playable" ->
// the rows the check found to play in full.
std::expected<Selection, std::string> ParseSelect(const std::string& text) {
    Selection selection;
    std::set<std::string>& numbers = selection.numbers;
    if (text == "all") return selection;
    if (text == "playable") {
        selection.playable = true;
        return selection;
    }
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        const auto number = parse_int64(item);
        if (!number || *number < 0 || item.front() == '+')
            return std::unexpected("--select 需要 all、playable 或以逗号分隔的编号，而不是 \"" +
                                   text + "\"");
        numbers.insert(std::to_string(*number));
    }
    if (numbers.empty()) return std::unexpected(std::string("--select 没有给出编号"));
    return selection;
}

// The rows a check found to play in full.
std::set<std::string> PlayableNumbers(const std::vector<RowCheck>& checks) {
    std::set<std::string> numbers;
    for (const RowCheck& c : checks)
        if (c.plays_fully()) numbers.insert(c.number);
    return numbers;
}

// Ticks the selected rows, each 编号 once (a damaged scan-result file may
// list a number twice: the second row would overwrite the first's file);
// names the first selected number that is not listed. With only, just
// the rows it names are ticked.
std::expected<std::size_t, std::string> TickSelected(
    ScanTables& tables, const std::set<std::string>& numbers,
    const std::optional<std::set<std::string>>& only) {
    return tables.with([&](TableSet& t) -> std::expected<std::size_t, std::string> {
        std::set<std::string> unseen = numbers;
        std::set<std::string> taken;
        std::size_t ticked = 0;
        for (auto& row : t.results.rows()) {
            const std::string& number = row.cells[resc::Number];
            row.checked = (numbers.empty() || numbers.contains(number)) &&
                          (!only || only->contains(number)) && taken.insert(number).second;
            unseen.erase(number);
            ticked += row.checked ? 1 : 0;
        }
        if (!unseen.empty())
            return std::unexpected("结果列表中没有编号为" + *unseen.begin() + "的文件");
        return ticked;
    });
}

// Saving from another medium than the one scanned would write its bytes
// under the listed names: every start region must be where it was found.
std::string CheckLoadedSource(const ScanTables& tables) {
    const TableSet t = tables.snapshot();
    auto source = SourceReader::open(t.source_field);
    if (!source) return "无法打开源盘 " + t.source_field + "：" + source.error().reason;
    const auto missing = MissingStartRegions(*source, t);
    if (missing.empty()) return {};
    std::string numbers;
    for (const std::string& n : missing) numbers += (numbers.empty() ? "" : ",") + n;
    return t.source_field + " 不是该扫描结果文件所扫描的源盘：编号" + numbers +
           "的视频开头不在记录的位置，未保存任何文件";
}

// Scans or loads; the scan's outcome when there was a scan.
std::expected<std::optional<ScanOutcome>, std::string> FillTables(
    const RecoverOptions& o, const std::optional<ScanStart>& prepared, ScanTables& tables,
    CliReporter& reporter, const StopFlag& stop) {
    if (o.load.empty()) {
        ScanStart start = *prepared;
        start.command = "recover --out \"" + o.out + "\"";
        const auto run =
            RunScan(start, tables, reporter, stop, CheckpointPathFor(start.options, {}));
        if (!run) return std::unexpected(run.error());
        if (run->checkpoint_kept) std::cerr << ResumeHint(run->checkpoint, start.command) << '\n';
        return run->outcome;
    }
    if (!LoadScanResult(tables, o.load, reporter))
        return std::unexpected("无法加载扫描结果文件 " + o.load);
    // A source named on the command line replaces the one in the file.
    if (!o.scan.source.empty()) tables.with([&](TableSet& t) { t.source_field = o.scan.source; });
    if (auto wrong = CheckLoadedSource(tables); !wrong.empty()) return std::unexpected(wrong);
    return std::optional<ScanOutcome>();
}

// The check of a saved file's row, when it was checked.
const RowCheck* CheckOf(const SavedFile& f, const std::vector<RowCheck>* checks) {
    if (!checks) return nullptr;
    const auto it = std::find_if(checks->begin(), checks->end(), [&](const RowCheck& c) {
        return c.number == f.number && c.check;
    });
    return it == checks->end() ? nullptr : &*it;
}

// A file is complete when every byte of it was read, its media data was
// followed to its end, and, when it was checked, every frame decodes.
bool Complete(const SavedFile& f, const std::vector<RowCheck>* checks) {
    const RowCheck* check = CheckOf(f, checks);
    return f.whole() && f.quality != "不完整" && (!check || check->plays_fully());
}

void WriteSavedJson(std::ostream& out, const ScanTables& tables,
                    const std::optional<ScanOutcome>& outcome, const RebuildSummary& summary,
                    const std::optional<LostHeaders>& lost, const std::vector<RowCheck>* checks) {
    std::ostringstream scan;
    WriteScanJson(scan, tables.snapshot(), outcome ? &*outcome : nullptr, nullptr,
                  lost ? &*lost : nullptr, checks);
    std::string doc = scan.str();
    // The scan document is one object; "saved" joins it as a last member.
    const auto close = doc.rfind('}');
    out << doc.substr(0, close) << ",\"saved\":";
    JsonWriter json(out);
    json.begin_array();
    for (const auto& f : summary.files) {
        json.begin_object();
        json.key("number").value(f.number);
        json.key("path").value(f.path);
        json.key("written").value(f.written);
        json.key("bytes").value(f.bytes);
        json.key("unreadable_bytes").value(f.unreadable_bytes);
        json.key("rebuilt").value(f.rebuilt);
        json.key("complete").value(Complete(f, checks));
        if (!f.written) json.key("error").value(f.error);
        json.end_object();
    }
    json.end_array();
    out << "}\n";
}

// Failures, and files with bytes that could not be read, on stderr whatever
// the output format, so a script reading stdout sees only results.
void ReportProblems(const RebuildSummary& summary, const std::optional<LostHeaders>& lost) {
    if (lost) PrintNotRebuilt(std::cerr, *lost);
    for (const auto& f : summary.files) {
        if (!f.written)
            std::cerr << "tavorine-mov-cli: 失败 " << f.path << ": " << f.error << '\n';
        else if (!f.whole())
            std::cerr << "tavorine-mov-cli: " << f.path << ": " << f.unreadable_bytes
                      << " Byte无法读取，已用零填充\n";
    }
}

void PrintSavedText(std::ostream& out, const RebuildSummary& summary,
                    const std::vector<RowCheck>* checks) {
    out << '\n';
    std::int64_t unreadable = 0;
    std::size_t complete = 0, partial = 0, failed = 0;
    for (const auto& f : summary.files) {
        if (!f.written) {
            ++failed;
            continue;
        }
        const bool whole = Complete(f, checks);
        out << (!whole      ? "不完整 "
                : f.rebuilt ? "已重建 "
                            : "已恢复 ")
            << f.path << " (" << f.bytes << " Byte)";
        if (f.unreadable_bytes > 0)
            out << ", 其中" << f.unreadable_bytes << " Byte无法读取，已用零填充";
        if (f.quality == "不完整") out << ", 视频数据未能跟到结尾";
        if (const RowCheck* check = CheckOf(f, checks))
            out << ", 可播放: " << preview::PlayableText(*check->check);
        out << '\n';
        unreadable += f.unreadable_bytes;
        ++(whole ? complete : partial);
    }
    out << "完整 " << complete << " 个, 不完整 " << partial << " 个 (" << unreadable
        << " Byte无法读取), 失败 " << failed << " 个\n";
}

int Fail(const std::string& why) {
    std::cerr << "tavorine-mov-cli: error: " << why << '\n';
    return kExitError;
}

int RecoverExit(const RebuildSummary& summary, const CliReporter& reporter,
                const std::vector<RowCheck>* checks) {
    switch (summary.end) {
        case RebuildEnd::Finished:
            break;
        case RebuildEnd::Stopped:
            std::cerr << "tavorine-mov-cli: 保存已停止\n";
            return kExitStopped;
        case RebuildEnd::SourceFailed:
            return Fail(reporter.last_message());
        case RebuildEnd::TooLittleSpace:
            // The scan was done; the chosen files were not written.
            std::cerr << "tavorine-mov-cli: " << reporter.last_message() << '\n';
            return kExitPartial;
    }
    if (summary.files.empty()) return kExitNothing;
    const bool all_whole = std::all_of(summary.files.begin(), summary.files.end(),
                                       [&](const SavedFile& f) { return Complete(f, checks); });
    return all_whole ? kExitFound : kExitPartial;
}

int RunRecover(const RecoverOptions& o) {
    if (o.scan.source.empty() && o.load.empty() && o.scan.resume.empty())
        return Fail("需要 SOURCE、--load 扫描结果文件或 --resume 扫描进度文件");
    if (!o.load.empty() && !o.scan.resume.empty()) return Fail("--load 和 --resume 不能同时使用");
    const auto selection = ParseSelect(o.select);
    if (!selection) return Fail(selection.error());
    const bool verify = o.verify || selection->playable;
    if (const auto why = verify ? CannotCheck() : std::nullopt) return Fail(*why);
    // A medium other than the checkpoint's is refused before the output
    // folder is even made.
    std::optional<ScanStart> prepared;
    if (o.load.empty()) {
        auto start = PrepareScan(o.scan);
        if (!start) return Fail(start.error());
        prepared = std::move(*start);
    }
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(o.out), ec);
    if (ec || !std::filesystem::is_directory(PathFromUtf8(o.out)))
        return Fail("无法创建输出文件夹 " + o.out + (ec ? "：" + ec.message() : ""));

    ScanTables tables;
    CliReporter reporter(o.scan.json ? std::cerr : std::cout, WantsProgress(o.scan));
    StopOnSignals signals;
    const auto references = LoadReferences(o.references);
    if (!references) return Fail(references.error());
    const auto filled = FillTables(o, prepared, tables, reporter, signals.flag());
    if (!filled) return Fail(filled.error());
    // A stopped scan saves nothing: the user asked to stop.
    if (const std::optional<ScanOutcome>& outcome = *filled; outcome && outcome->stopped) {
        std::cerr << "tavorine-mov-cli: 扫描已停止，未保存任何文件\n";
        return kExitStopped;
    }
    const std::optional<ScanOutcome>& scanned = *filled;
    auto rebuilt = RebuildFromReferences(tables, *references, signals.flag(),
                                         scanned ? &scanned->grid : nullptr);
    if (!rebuilt) return Fail(rebuilt.error());
    const std::optional<LostHeaders> lost = std::move(*rebuilt);
    if (lost && lost->stopped) {
        std::cerr << "tavorine-mov-cli: 重建已停止，未保存任何文件\n";
        return kExitStopped;
    }
    // Checked before anything is written: the card may not survive many more reads.
    std::optional<std::vector<RowCheck>> checks;
    if (verify) {
        const std::vector<std::string> chosen(selection->numbers.begin(), selection->numbers.end());
        checks = CheckRows(tables.snapshot(), lost ? &lost->rebuilt : nullptr, chosen,
                           signals.flag(), o.scan.quiet ? nullptr : &std::cerr);
        if (AnyStopped(*checks) || signals.flag().load() != 0) {
            std::cerr << "tavorine-mov-cli: 检查已停止，未保存任何文件\n";
            return kExitStopped;
        }
    }
    const std::optional<std::set<std::string>> only =
        selection->playable ? std::optional(PlayableNumbers(*checks)) : std::nullopt;
    const auto ticked = TickSelected(tables, selection->numbers, only);
    if (!ticked) return Fail(ticked.error());
    if (only && *ticked == 0)
        std::cerr << "tavorine-mov-cli: 没有能完整播放的视频，未保存任何文件\n";

    RebuildSummary summary;
    if (*ticked > 0) {
        std::atomic<bool> in_progress{false};
        const std::string source = tables.with([](const TableSet& t) { return t.source_field; });
        reporter.begin_save();
        RebuildParams params{source, o.out, &signals.flag(), lost ? &lost->rebuilt : nullptr};
        TPstRebuild rebuild(params, tables, reporter, in_progress);
        rebuild.Execute();
        summary = rebuild.summary();
    }
    if (o.scan.json)
        WriteSavedJson(std::cout, tables, *filled, summary, lost, checks ? &*checks : nullptr);
    else
        PrintSavedText(std::cout, summary, checks ? &*checks : nullptr);
    ReportProblems(summary, lost);
    const int exit = RecoverExit(summary, reporter, checks ? &*checks : nullptr);
    // A start region that could not be rebuilt is a video not recovered.
    const bool missed = lost && lost->any_failed();
    return missed && (exit == kExitFound || exit == kExitNothing) ? kExitPartial : exit;
}

const RegisterCommand kRegister([](CLI::App& app, int& exit_code) {
    auto options = std::make_shared<RecoverOptions>();
    CLI::App* cmd = app.add_subcommand("recover", "扫描源盘并把选中的视频文件保存到输出文件夹");
    AddScanOptions(cmd, options->scan);
    // With --load the source comes from the scan-result file.
    cmd->get_option("SOURCE")->required(false);
    cmd->add_option("--out", options->out, "保存恢复文件的文件夹（不存在时创建）")->required();
    cmd->add_option("--load", options->load, "不扫描，从扫描结果文件(.vyr)恢复");
    cmd->add_option("--select", options->select,
                    "要恢复的编号: all, playable (只保存能完整播放的) 或 N[,N...] (默认 all)");
    cmd->add_flag("--verify", options->verify, "保存之前逐帧解码选中的视频, 报告能播放多少");
    AddReferenceOption(cmd, options->references);
    cmd->callback([options, &exit_code] { exit_code = RunRecover(*options); });
});

}  // namespace

}  // namespace tav::cli
