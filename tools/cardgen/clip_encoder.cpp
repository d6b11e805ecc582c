#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "cardgen/mov_builder.hpp"
#include "cardgen/mov_sample_reader.hpp"
#include "cardgen/run_process.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;

fs::path CacheFolder(const fs::path& requested) {
    if (!requested.empty()) return requested;
    if (const char* env = std::getenv("TAV_CLIP_CACHE"); env && *env) return env;
    return fs::temp_directory_path() / "tavorine-clips";
}

std::vector<std::string> FfmpegArgs(int frames, std::uint64_t seed, bool aud, int width, int height,
                                    const fs::path& out) {
    // A moving test pattern with seeded temporal noise: each seed gives other
    // frames, and the same seed the same ones (one thread keeps x264 deterministic).
    const std::string source = "testsrc2=size=" + std::to_string(width) + "x" +
                               std::to_string(height) +
                               ":rate=" + std::to_string(kFramesPerSecond) +
                               ",noise=alls=6:allf=t:all_seed=" + std::to_string(seed % 2147483647);
    return {"ffmpeg",
            "-nostdin",
            "-v",
            "error",
            "-y",
            "-f",
            "lavfi",
            "-i",
            source,
            "-frames:v",
            std::to_string(frames),
            "-an",
            "-c:v",
            "libx264",
            "-threads",
            "1",
            "-preset",
            "veryfast",
            "-bf",
            "0",
            "-g",
            "10000",
            "-pix_fmt",
            "yuv420p",
            "-x264-params",
            aud ? "aud=1" : "aud=0",
            "-f",
            "mov",
            out.string()};
}

std::expected<std::vector<std::uint8_t>, std::string> ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::expected<EncodedClip, std::string> TryEncodeClip(int frame_count, std::uint64_t seed, bool aud,
                                                      int width, int height,
                                                      const fs::path& cache_dir) {
    if (frame_count < 1 || width < 16 || height < 16 || width % 2 || height % 2)
        return std::unexpected("unsupported clip size");
    const fs::path folder = CacheFolder(cache_dir);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string name = "clip-" + std::to_string(frame_count) + "-" + std::to_string(seed) +
                             (aud ? "-aud-" : "-noaud-") + std::to_string(width) + "x" +
                             std::to_string(height) + ".mov";
    const fs::path cached = folder / name;
    if (!fs::exists(cached)) {
        // Encode beside the cache entry and rename, so concurrent users never
        // see a half-written file.
        const fs::path temp = folder / (name + ".tmp" + std::to_string(getpid()) + ".mov");
        const auto args = FfmpegArgs(frame_count, seed, aud, width, height, temp);
        const ProcessResult run = RunProcess(args);
        if (!run.ok()) {
            fs::remove(temp, ec);
            return std::unexpected(DescribeFailure(args, run));
        }
        fs::rename(temp, cached, ec);
        if (ec) return std::unexpected("cannot store " + cached.string() + ": " + ec.message());
    }
    const auto bytes = ReadWhole(cached);
    if (!bytes) return std::unexpected(bytes.error());
    auto clip = ReadVideoSamples(ByteView(*bytes));
    if (!clip) return std::unexpected(cached.string() + ": " + clip.error());
    if (static_cast<int>(clip->frames.size()) != frame_count)
        return std::unexpected(cached.string() + ": unexpected frame count");
    return clip;
}

EncodedClip EncodeClip(int frame_count, std::uint64_t seed, bool aud, int width, int height,
                       const fs::path& cache_dir) {
    auto clip = TryEncodeClip(frame_count, seed, aud, width, height, cache_dir);
    if (clip) return std::move(*clip);
    std::fprintf(stderr, "tavorine-cardgen: error: %s\n", clip.error().c_str());
    return {};
}

}  // namespace tav::cardgen
