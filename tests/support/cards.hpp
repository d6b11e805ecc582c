#pragma once
// Generated card images for tests: GetCard(kind) makes the image once (fixed
// seed) in the test-data folder and answers it with its parsed manifest.
// Several test processes may ask at once; one generates, the others wait.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cardgen/manifest.hpp"

namespace tav::test {

inline constexpr std::uint64_t kCardSeed = 1;

struct Card {
    std::filesystem::path image;
    cardgen::Manifest manifest;
    std::string error;  // empty when the image is usable
    bool ok() const { return error.empty(); }
    const std::vector<cardgen::ManifestFile>& files() const { return manifest.files; }
    // The files in a given state ("placed", "in-use", "deleted", "orphan-head", "orphan-moov").
    std::vector<cardgen::ManifestFile> with_state(std::string_view state) const;
    // The file's bytes as its fragments give them, read from the image; empty
    // when the manifest lists no fragments or they lie beyond the image.
    std::vector<std::uint8_t> fragment_bytes(const cardgen::ManifestFile& file) const;
};

// kind: one of the card generator's kinds (tools/README.md); "large" is
// 64 MiB with 4 files here (benchmarks make bigger ones with the tool),
// "huge-exfat" a sparse 6.5 GiB volume with a deleted 6 GiB clip and 4 small ones.
// clips: the generator's --clips ("camera", "other" or "mixed"); each is
// made and kept apart from the others.
const Card& GetCard(const std::string& kind, const std::string& clips = "camera");

// Where encoded clips are cached for tests.
std::filesystem::path TestClipCache();

}  // namespace tav::test
