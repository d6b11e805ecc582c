#pragma once
// Writes a raw image in one pass: filler (pseudo-random or zero) with byte
// strings laid over it at given offsets.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tav::cardgen {

struct Placement {
    std::int64_t offset = 0;
    std::span<const std::uint8_t> bytes;
};

std::expected<void, std::string> WriteRawImage(const std::filesystem::path& path, std::int64_t size,
                                               bool zero_filler, std::uint64_t seed,
                                               const std::vector<Placement>& placements);

}  // namespace tav::cardgen
