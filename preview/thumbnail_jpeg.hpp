#pragma once
// Thumbnails as JPEG: in memory, or as a new file that never replaces one.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "preview_result.hpp"

namespace tav::preview {

std::expected<std::vector<std::uint8_t>, std::string> EncodeJpeg(const RgbImage& image,
                                                                 int quality = 85);

// Creates path (which must not exist yet) holding the image; on any failure
// nothing is left behind. The reason otherwise.
std::expected<void, std::string> WriteJpegFile(const std::filesystem::path& path,
                                               const RgbImage& image);

}  // namespace tav::preview
