// A card-sized scan in one process: the image (a huge-exfat card from
// tavorine-cardgen) measured as the command line measures it, scanned
// (deletion mode unless MODE is given), with the sector loop, the analysis
// (from the sort to the last result row), the files listed and the
// process's peak resident set printed. bench/card_scale.sh runs it for
// 1,000 / 5,000 / 20,000 clips.
//   card_scale_bench IMAGE [deletion|format|deep]

#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "analysis_timing.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_worker.hpp"
#include "sources/measured_source.hpp"

using tav::bench::Clock;
using tav::bench::Seconds;
using tav::bench::TimingReporter;

namespace {

double CpuSeconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The process's user and system time at the analysis's start and end too:
// a wall time well above them is time spent waiting for the medium.
class CpuTimingReporter : public TimingReporter {
  public:
    void log_line(const std::string& line) override {
        TimingReporter::log_line(line);
        if (line.find("开始排序") != std::string::npos) getrusage(RUSAGE_SELF, &start);
        if (line.find("分析完毕") != std::string::npos) getrusage(RUSAGE_SELF, &end);
    }
    double user() const { return CpuSeconds(end.ru_utime) - CpuSeconds(start.ru_utime); }
    double system() const { return CpuSeconds(end.ru_stime) - CpuSeconds(start.ru_stime); }
    rusage start{}, end{};
};

long PeakRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: card_scale_bench IMAGE [deletion|format|deep]\n", stderr);
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "deletion";
    tav::ScanSettings settings;
    settings.ScanMode = mode == "format" ? tav::kModeFormat
                        : mode == "deep" ? tav::kModeDeep
                                         : tav::kModeDeletion;
    auto measured =
        tav::MeasureSource({argv[1], std::nullopt, settings.ScanMode == tav::kModeDeep});
    if (!measured) {
        std::fprintf(stderr, "card_scale_bench: cannot measure %s\n", argv[1]);
        return 2;
    }
    const tav::SourceSelection selection = tav::SelectionOf(*measured, argv[1], argv[1], true);
    const tav::ScanStartPlan plan = tav::PlanScanStart(selection, settings);
    tav::ScanTables tables;
    CpuTimingReporter reporter;
    tav::StopFlag stop{0};
    const auto start = Clock::now();
    tav::TscanPst scan(
        tav::ScanParams{measured->path, selection.DiskInfo, plan.ScanKind, plan.ScanAllSpace, {}},
        settings, tables, reporter, stop);
    scan.Execute();

    std::size_t fragments = 0, results = 0;
    tables.with([&](tav::TableSet& t) {
        fragments = t.fragments.row_count();
        results = t.results.row_count();
    });
    const auto& info = selection.DiskInfo;
    std::printf("card:          %s, %.1f GiB %s, %s mode\n", argv[1],
                info.EndSector * static_cast<double>(info.BytesPerSector) / (1 << 30),
                info.FileSystem.c_str(), mode.c_str());
    std::printf("fragments:     %zu, files listed: %zu\n", fragments, results);
    std::printf("sector loop:   %.3f s\n", Seconds(start, reporter.analysis_start));
    std::printf(
        "analysis:      %.3f s (target < 2 s at 5,000 clips; CPU %.3f s user, %.3f s system)\n",
        Seconds(reporter.analysis_start, reporter.analysis_end), reporter.user(),
        reporter.system());
    std::printf("peak RSS:      %.1f MiB (target < 256 MiB)\n", PeakRssKib() / 1024.0);
    return results > 0 ? 0 : 1;
}
