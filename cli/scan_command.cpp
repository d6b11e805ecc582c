// `tavorine-mov-cli scan SOURCE ...`: scans and lists the recoverable files.

#include <iostream>
#include <memory>

#include "command_registry.hpp"
#include "recovery/scan_result_file.hpp"
#include "result_table_text.hpp"
#include "scan_runner.hpp"
#include "stop_signals.hpp"

namespace tav::cli {

namespace {

struct ScanCommandOptions {
    ScanCliOptions scan;
    std::string save_result;
};

// What the scan could not read, for a person; the JSON lists every area.
void PrintUnreadableNote(std::ostream& out, const ScanOutcome& outcome) {
    if (outcome.unreadable.empty()) return;
    out << "注意: " << outcome.unreadable.size() << "处扇区无法读取，共"
        << TotalLength(outcome.unreadable) << " Byte，已按零字节扫描\n";
}

int RunScanCommand(const ScanCommandOptions& o) {
    ScanTables tables;
    CliReporter reporter(o.scan.json ? std::cerr : std::cout, WantsProgress(o.scan));
    StopOnSignals signals;
    const auto run = RunScan(o.scan, tables, reporter, signals.flag());
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
    if (o.scan.json) {
        WriteScanJson(std::cout, tables.snapshot(), &outcome);
    } else {
        std::cout << '\n';
        if (outcome.stopped) std::cout << "扫描已停止，以下是停止前找到的文件\n";
        PrintTable(std::cout, tables.snapshot().results);
    }
    PrintUnreadableNote(std::cerr, outcome);
    const auto videos = tables.with(
        [](const TableSet& t) { return static_cast<std::int64_t>(t.results.rows().size()); });
    if (!o.scan.quiet) std::cerr << ScanSummaryText(*run, reporter.meter(), videos) << '\n';
    if (outcome.stopped) return kExitStopped;
    if (videos == 0) return kExitNothing;
    return outcome.unreadable.empty() ? kExitFound : kExitPartial;
}

const RegisterCommand kRegister([](CLI::App& app, int& exit_code) {
    auto options = std::make_shared<ScanCommandOptions>();
    CLI::App* cmd = app.add_subcommand("scan", "扫描源盘并列出可恢复的视频文件");
    AddScanOptions(cmd, options->scan);
    cmd->add_option("--save-result", options->save_result, "把扫描结果保存到扫描结果文件(.vyr)");
    cmd->callback([options, &exit_code] { exit_code = RunScanCommand(*options); });
});

}  // namespace

}  // namespace tav::cli
