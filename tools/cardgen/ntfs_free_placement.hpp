#pragma once
// Without FUSE there is no way to copy files through the NTFS driver; the
// next best is to lay each file's bytes into clusters that the volume's
// $Bitmap marks free, which is what a deleted file leaves behind.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

// Writes each file contiguously into free clusters; answers their byte offsets.
std::expected<std::vector<std::int64_t>, std::string> PlaceInFreeClusters(
    const std::filesystem::path& image, const std::vector<Bytes>& files);

// True when cluster k is marked in use in the $Bitmap of the NTFS volume image.
std::expected<std::vector<bool>, std::string> ReadNtfsClusterUse(
    const std::filesystem::path& image);

}  // namespace tav::cardgen
