#pragma once
// Reads a reference clip's movie header from its file: the top-level atoms
// are stepped over, only "moov" is read.

#include <expected>
#include <filesystem>
#include <string>

#include "recovery/reference_movie.hpp"

namespace tav {

inline constexpr std::uint64_t kMostReferenceMoovBytes = 64ull << 20;

std::expected<ReferenceMovie, std::string> LoadReferenceMovie(const std::filesystem::path& path);

}  // namespace tav
