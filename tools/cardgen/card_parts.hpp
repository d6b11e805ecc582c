#pragma once
// Pieces the file-system card generators share: a card's camera files, a
// one-partition MBR, and the manifest entries of files found on the image.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"

namespace tav::cardgen {

// The request's files, named "MVI_<name_base + n + 1>.MOV", clip seeds and
// shooting times offset so that each kind's files differ from the others'.
struct FileSeries {
    int name_base = 0;
    std::uint64_t seed_base = 0;
    int time_base = 0;
};
std::expected<std::vector<CardFile>, std::string> MakeSeries(const CardRequest& r, int count,
                                                             const FileSeries& series);

// Sector 0 of a disk with one partition, written over the image's first sector.
struct MbrPartition {
    bool bootable = false;
    std::uint8_t type = 0;
    std::uint32_t first_sector = 0;
    std::uint32_t sectors = 0;
};
std::expected<void, std::string> WriteMbr(const std::filesystem::path& image, std::uint64_t seed,
                                          const MbrPartition& partition);

// Each file's start region and movie atom searched on the image.
std::expected<std::vector<ManifestFile>, std::string> FindFiles(const std::filesystem::path& image,
                                                                const std::vector<CardFile>& files,
                                                                const std::vector<bool>& deleted);

}  // namespace tav::cardgen
