#pragma once
// The camera files that go onto a generated card, and their manifest entries.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cardgen/manifest.hpp"
#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

struct CardFilePlan {
    std::string name;
    MovOptions options;
    bool aud = true;
    int frames = 24;
    std::uint64_t clip_seed = 1;
    bool real_h264 = true;                  // ffmpeg-encoded; otherwise synthetic frames
    std::uint32_t mean_frame_bytes = 1500;  // synthetic frames only
    // Set: laid out as this other writer does (needs encoded frames); the
    // name's extension becomes the one its brand calls for.
    std::optional<WriterLayout> other;
};

struct CardFile {
    CardFilePlan plan;
    MovFile mov;
};

std::expected<CardFile, std::string> MakeCardFile(const CardFilePlan& plan,
                                                  const std::filesystem::path& clip_cache);

// Frame count of the n-th file when none is asked for: 20 to 38, so that
// files of one card differ in length and frame count.
inline int DefaultFrames(int n) {
    return 20 + 6 * (n % 4);
}

// What CardRequest::clips asks of the n-th file of a card: other-writer
// layouts for "other", every second file for "mixed".
bool IsOtherFile(const std::string& clips, int n);

// Distinct shooting date and time for the n-th file of a card.
void SetShootingTime(MovOptions& options, std::uint64_t seed, int n);

// The bytes to find a file's start on an image by: all up to 512 bytes past
// the mdat header, as lead atoms and the media's first bytes may be alike.
std::span<const std::uint8_t> StartKey(const MovFile& mov);

// The manifest entry of a file; offsets -1 mark a part that is not on the image.
ManifestFile Describe(const CardFile& file, const std::string& state, std::int64_t head_offset,
                      std::int64_t moov_offset);

}  // namespace tav::cardgen
