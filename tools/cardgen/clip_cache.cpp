#include "cardgen/clip_cache.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "cardgen/run_process.hpp"

namespace tav::cardgen {

std::vector<std::string> FfmpegFromLavfi(const std::string& source) {
    return {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", source};
}
namespace {

namespace fs = std::filesystem;

fs::path CacheFolder(const fs::path& requested) {
    if (!requested.empty()) return requested;
    if (const char* env = std::getenv("TAV_CLIP_CACHE"); env && *env) return env;
    return fs::temp_directory_path() / "tavorine-clips";
}

std::expected<Bytes, std::string> ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::expected<Bytes, std::string> CachedOutput(
    const fs::path& cache_dir, const std::string& name,
    const std::function<std::vector<std::string>(const fs::path&)>& make_args) {
    const fs::path folder = CacheFolder(cache_dir);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path cached = folder / name;
    if (!fs::exists(cached)) {
        // Encode beside the cache entry and rename, so concurrent users never
        // see a half-written file. The temporary keeps the extension, which
        // tells ffmpeg the container.
        const fs::path temp =
            folder / (name + ".tmp" + std::to_string(getpid()) + cached.extension().string());
        const auto args = make_args(temp);
        const ProcessResult run = RunProcess(args);
        if (!run.ok()) {
            fs::remove(temp, ec);
            return std::unexpected(DescribeFailure(args, run));
        }
        fs::rename(temp, cached, ec);
        if (ec) return std::unexpected("cannot store " + cached.string() + ": " + ec.message());
    }
    return ReadWhole(cached);
}

}  // namespace tav::cardgen
