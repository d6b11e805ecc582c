#include <cstdio>

#include "cardgen/clip_cache.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/mov_sample_reader.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;

// x264 and x265 alike: no B-frames (decode order is display order), one key
// frame, one thread, so that the same seed gives the same bytes.
std::vector<std::string> CodecArgs(VideoCodec codec, bool aud) {
    if (codec == VideoCodec::kHevc)
        return {"-c:v",
                "libx265",
                "-threads",
                "1",
                "-preset",
                "veryfast",
                "-x265-params",
                std::string("bframes=0:keyint=10000:min-keyint=10000:scenecut=0:frame-threads=1:"
                            "pools=none:log-level=error:aud=") +
                    (aud ? "1" : "0"),
                "-tag:v",
                "hvc1"};
    return {"-c:v", "libx264", "-threads", "1", "-preset", "veryfast", "-bf", "0", "-g", "10000"};
}

std::vector<std::string> FfmpegArgs(int frames, std::uint64_t seed, bool aud, int width, int height,
                                    VideoCodec codec, const fs::path& out) {
    // A moving test pattern with seeded temporal noise: each seed gives other
    // frames, and the same seed the same ones.
    const std::string source = "testsrc2=size=" + std::to_string(width) + "x" +
                               std::to_string(height) +
                               ":rate=" + std::to_string(kFramesPerSecond) +
                               ",noise=alls=6:allf=t:all_seed=" + std::to_string(seed % 2147483647);
    std::vector<std::string> args = FfmpegFromLavfi(source);
    for (std::string a : {std::string("-frames:v"), std::to_string(frames), std::string("-an")})
        args.push_back(std::move(a));
    for (std::string& a : CodecArgs(codec, aud)) args.push_back(std::move(a));
    for (const char* a : {"-pix_fmt", "yuv420p"}) args.emplace_back(a);
    if (codec == VideoCodec::kAvc) {
        args.emplace_back("-x264-params");
        args.emplace_back(aud ? "aud=1" : "aud=0");
    }
    for (const char* a : {"-f", "mov"}) args.emplace_back(a);
    args.push_back(out.string());
    return args;
}

}  // namespace

std::expected<EncodedClip, std::string> TryEncodeClip(int frame_count, std::uint64_t seed, bool aud,
                                                      int width, int height,
                                                      const fs::path& cache_dir, VideoCodec codec) {
    if (frame_count < 1 || width < 16 || height < 16 || width % 2 || height % 2)
        return std::unexpected("unsupported clip size");
    const std::string name = std::string(codec == VideoCodec::kHevc ? "hevc-" : "clip-") +
                             std::to_string(frame_count) + "-" + std::to_string(seed) +
                             (aud ? "-aud-" : "-noaud-") + std::to_string(width) + "x" +
                             std::to_string(height) + ".mov";
    const auto bytes = CachedOutput(cache_dir, name, [&](const fs::path& out) {
        return FfmpegArgs(frame_count, seed, aud, width, height, codec, out);
    });
    if (!bytes) return std::unexpected(bytes.error());
    auto clip = ReadVideoSamples(ByteView(*bytes));
    if (!clip) return std::unexpected(name + ": " + clip.error());
    if (static_cast<int>(clip->frames.size()) != frame_count)
        return std::unexpected(name + ": unexpected frame count");
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
