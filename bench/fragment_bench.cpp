// The fragment analysis at scale: FILES small camera files (start region and
// movie header each, two fragments per file) one after another on a raw
// image, scanned deep. Prints the time of the sector loop and of the
// analysis (from the sort to the last result row) and how many files paired.
//   fragment_bench [FILES] [DIR]   (defaults: 50000, the system's temp folder)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "analysis_timing.hpp"
#include "cardgen/mov_builder.hpp"
#include "scan/scan_worker.hpp"

using tav::bench::Clock;
using tav::bench::Seconds;
using tav::bench::TimingReporter;

int main(int argc, char** argv) {
    const long files = argc > 1 ? std::atol(argv[1]) : 50000;
    const std::filesystem::path dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    if (files <= 0) {
        std::fputs("usage: fragment_bench [FILES] [DIR]\n", stderr);
        return 2;
    }
    // Frames large enough that each header lies past the 4 KiB the scan
    // steps over after a start region.
    const auto clip = tav::cardgen::SyntheticClip(2, 7, true, 4000);
    const tav::cardgen::MovFile mov = tav::cardgen::BuildCameraMov({}, clip);
    const auto bytes = mov.bytes();
    // Each file on a sector boundary, a sector of zeros after it.
    const std::size_t stride = (bytes.size() + 511) / 512 * 512 + 512;
    const std::filesystem::path image = dir / "fragment_bench.img";
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        std::string slot(stride, '\0');
        std::copy(bytes.begin(), bytes.end(), slot.begin());
        for (long i = 0; i < files; ++i)
            out.write(slot.data(), static_cast<std::streamsize>(stride));
        if (!out) {
            std::fprintf(stderr, "fragment_bench: cannot write %s\n", image.c_str());
            return 2;
        }
    }
    const auto size = static_cast<std::int64_t>(stride) * files;

    tav::TDiskInfo info;
    info.BytesPerSector = 512;
    info.SectorsPerCluster = 8;
    info.BytesPerCluster = 4096;
    info.TotalSectors = size / 512;
    info.EndSector = size / 512;
    info.FileSystem = "Raw";
    tav::ScanSettings settings;
    settings.ScanMode = tav::kModeDeep;
    tav::ScanTables tables;
    TimingReporter reporter;
    tav::StopFlag stop{0};
    const auto start = Clock::now();
    tav::TscanPst scan(tav::ScanParams{image.string(), info, 3, 1, {}}, settings, tables, reporter,
                       stop);
    scan.Execute();
    std::filesystem::remove(image);

    std::size_t fragments = 0, results = 0;
    tables.with([&](tav::TableSet& t) {
        fragments = t.fragments.row_count();
        results = t.results.row_count();
    });
    std::printf("image:         %.0f MiB, %ld files of %zu bytes\n", size / 1048576.0, files,
                bytes.size());
    std::printf("fragments:     %zu, files listed: %zu\n", fragments, results);
    std::printf("sector loop:   %.3f s\n", Seconds(start, reporter.analysis_start));
    std::printf("analysis:      %.3f s (target < 1 s at 100000 fragments)\n",
                Seconds(reporter.analysis_start, reporter.analysis_end));
    return results == static_cast<std::size_t>(files) ? 0 : 1;
}
