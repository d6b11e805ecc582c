// How fast the play check decodes a file, alone or paced as beside a scan:
//   verify_bench FILE [--busy] [--threads N] [--loop SECONDS]
// FILE is checked as a listed video made of one fragment (the whole file).
// --busy: as if a scan or save ran beside it (reads paced). --loop: check it
// again and again for that long (the load a scan meets), then print totals.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "playable_text.hpp"
#include "row_verify.hpp"

namespace {

using Clock = std::chrono::steady_clock;

tav::RowPlan WholeFile(std::int64_t size) {
    tav::FragmentRanges r;
    r.start_types = {"HEAD"};
    r.start_offsets = {"0"};
    r.end_offsets = {std::to_string(size)};
    return {r, std::nullopt};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: verify_bench FILE [--busy] [--threads N] [--loop SECONDS]\n");
        return 2;
    }
    const std::string file = argv[1];
    tav::preview::VerifyOptions options;
    double loop_seconds = 0;
    for (int k = 2; k < argc; ++k) {
        if (!std::strcmp(argv[k], "--busy")) options.others_busy = [] { return true; };
        if (!std::strcmp(argv[k], "--threads") && k + 1 < argc)
            options.limits.threads = std::atoi(argv[++k]);
        if (!std::strcmp(argv[k], "--loop") && k + 1 < argc) loop_seconds = std::atof(argv[++k]);
    }
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file));
    const tav::RowPlan plan = WholeFile(size);
    const auto began = Clock::now();
    std::int64_t frames = 0, bytes = 0, runs = 0;
    double video_seconds = 0;
    do {
        const auto v = tav::preview::VerifyPlanned(file, plan, options);
        if (!v) {
            std::fprintf(stderr, "verify_bench: %s\n", v.error().detail.c_str());
            return 1;
        }
        ++runs;
        frames += v->frames_decoded;
        bytes += v->bytes_read;
        video_seconds += v->duration_seconds.value_or(0);
        if (runs == 1)
            std::printf("%s: %s, %lld of %lld frames, %.1f s of video\n", file.c_str(),
                        tav::preview::PlayableText(v).c_str(),
                        static_cast<long long>(v->frames_decoded),
                        static_cast<long long>(v->frames_listed), v->duration_seconds.value_or(0));
    } while (std::chrono::duration<double>(Clock::now() - began).count() < loop_seconds);
    const double took = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf("runs %lld, %.2f s: %.0f frames/s, %.1f MB/s, %.1f x real time\n",
                static_cast<long long>(runs), took, frames / took, bytes / took / 1e6,
                video_seconds / took);
    return 0;
}
