// What following split media data costs in a real scan: scans IMAGE in the
// given mode and prints the time of the sector loop and of the analysis
// (from the sort to the last result row, where every paired file's samples
// are checked and split files are followed), the files listed and the
// further pieces found.
//   follow_bench IMAGE [deletion|deep]

#include <chrono>
#include <cstdio>
#include <string>

#include "analysis_timing.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_worker.hpp"
#include "sources/measured_source.hpp"

using tav::bench::Clock;
using tav::bench::Seconds;
using tav::bench::TimingReporter;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: follow_bench IMAGE [deletion|deep]\n", stderr);
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "deletion";
    tav::ScanSettings settings;
    settings.ScanMode = mode == "deep" ? tav::kModeDeep : tav::kModeDeletion;
    settings.FileTypeMov = true;
    auto measured = tav::MeasureSource({argv[1], std::nullopt, mode == "deep"});
    if (!measured) {
        std::fprintf(stderr, "follow_bench: cannot measure %s\n", argv[1]);
        return 2;
    }
    const auto selection = tav::SelectionOf(std::move(*measured), argv[1], argv[1], true);
    const auto plan = tav::PlanScanStart(selection, settings);
    tav::ScanTables tables;
    TimingReporter reporter;
    tav::StopFlag stop{0};
    const auto start = Clock::now();
    tav::TscanPst scan(
        tav::ScanParams{argv[1], selection.DiskInfo, plan.ScanKind, plan.ScanAllSpace, {}},
        settings, tables, reporter, stop);
    scan.Execute();

    std::size_t results = 0, pieces = 0;
    tables.with([&](tav::TableSet& t) {
        results = t.results.row_count();
        for (std::size_t r = 0; r < t.fragments.row_count(); ++r)
            pieces += t.fragments.cell(r, tav::frag::StartType) == "mdat" ? 1 : 0;
    });
    std::printf("%s, %s scan: %zu files listed, %zu further pieces followed\n", argv[1],
                mode.c_str(), results, pieces);
    std::printf("  sector loop %.3f s, analysis %.3f s\n", Seconds(start, reporter.analysis_start),
                Seconds(reporter.analysis_start, reporter.analysis_end));
    return 0;
}
