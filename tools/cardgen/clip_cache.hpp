#pragma once
// A folder of ffmpeg outputs kept by name, so that each clip is encoded once
// per machine: $TAV_CLIP_CACHE, else a folder in the system's temp folder,
// unless a caller names one.

#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

// ffmpeg, quiet and overwriting, reading the lavfi source given.
std::vector<std::string> FfmpegFromLavfi(const std::string& source);

// The bytes of the cache entry `name`; when it is missing, runs the command
// that make_args gives for an output path, then keeps its output.
std::expected<Bytes, std::string> CachedOutput(
    const std::filesystem::path& cache_dir, const std::string& name,
    const std::function<std::vector<std::string>(const std::filesystem::path&)>& make_args);

}  // namespace tav::cardgen
