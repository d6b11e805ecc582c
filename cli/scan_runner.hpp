#pragma once
// Running one scan from the command line: the scan options, picking the
// scan-start case for the source the way the source step would, and the
// synchronous run with Ctrl-C wired to the stop flag. Shared by `scan` and
// `recover`.

#include <expected>
#include <string>

#include <CLI/CLI.hpp>

#include "cli_reporter.hpp"
#include "disk/disk_info.hpp"
#include "scan/scan_checkpoint.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_tables.hpp"
#include "scan/scan_worker.hpp"

namespace tav::cli {

struct ScanCliOptions {
    std::string source;
    std::string mode = "deletion";  // deletion | format | deep
    std::string scheme = "a";       // a: free space only, b: all space
    bool large_only = false;
    bool tagged_only = false;  // only the maker's tagged clips, as the first file type
    bool json = false;
    int partition = 0;       // a partition of a whole-card image or disk; 0: the source itself
    bool progress = false;   // the progress line also when stderr is not a terminal
    bool quiet = false;      // no progress line and no summary
    std::string checkpoint;  // where the scan keeps its checkpoint; empty: the default place
    std::string resume;      // a checkpoint to go on from
    bool no_checkpoint = false;
};

// Where a scan keeps its checkpoint: --checkpoint, else the checkpoint it
// goes on from, else beside the scan-result file, else in the user's data
// folder under the source's name.
std::string CheckpointPathFor(const ScanCliOptions& options, const std::string& save_result);

// Whether the progress line is drawn for these options.
bool WantsProgress(const ScanCliOptions& o);

// Adds the positional SOURCE and --mode, --scheme, --partition, --large-only, --tagged-only,
// --json, --progress, --quiet, --checkpoint, --resume.
void AddScanOptions(CLI::App* cmd, ScanCliOptions& o);

// What was scanned.
struct ScanRunInfo {
    std::string device_path;  // the path the scan opened (also tables.source_field)
    SourceSelection selection;
    ScanStartPlan plan;
    ScanSettings settings;
    ScanOutcome outcome;           // stopped, unreadable areas
    std::string checkpoint;        // the checkpoint's path
    bool checkpoint_kept = false;  // left to resume from (a stopped scan, a lost source)
};

// How to go on from a checkpoint that was left, for a person: the command
// to run, naming the subcommand.
std::string ResumeHint(const std::string& checkpoint, const std::string& command);

// Options -> settings (validated by AddScanOptions already).
ScanSettings SettingsFromOptions(const ScanCliOptions& o);

// Measures the source into a selection, told from what lies at the path
// (MeasureSource): a regular file is a loaded image, a partition a drive, a
// whole-disk device a physical disk. An error text when it cannot be measured.
std::expected<SourceSelection, std::string> SelectSource(const ScanCliOptions& options,
                                                         int scan_mode);

// Empties the tables, measures, plans, logs the header, runs the scan on
// this thread (a set stop flag ends the reading; the analysis still runs)
// and leaves the results in tables. An error text when the source cannot be
// measured or the scan ended without results.
// "扫描结束: 读取 3.25 GB，用时 0:38，平均 85.3 MB/s，发现 8 个视频，无法读取 0 B".
std::string ScanSummaryText(const ScanRunInfo& run, const ProgressMeter& meter,
                            std::int64_t videos);

// What a scan starts from: the measured source and the settings; with
// --resume, the checkpoint's settings and the checkpoint itself.
struct ScanStart {
    ScanCliOptions options;
    SourceSelection selection;
    ScanSettings settings;
    std::optional<ScanCheckpoint> resume;
    // How a person runs this scan again from its checkpoint ("scan",
    // "recover --out DIR"), for the hint when one is left.
    std::string command = "scan";
};

// Measures the source. With --resume, loads the checkpoint and checks that
// the source (SOURCE, else the checkpoint's) is the medium it was taken of:
// an error text naming the difference when it is not. Writes nothing.
std::expected<ScanStart, std::string> PrepareScan(const ScanCliOptions& options);

std::expected<ScanRunInfo, std::string> RunScan(const ScanStart& start, ScanTables& tables,
                                                CliReporter& reporter, const StopFlag& stop,
                                                const std::string& checkpoint_path);

}  // namespace tav::cli
