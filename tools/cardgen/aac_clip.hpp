#pragma once
// AAC sound for other writers' clips: a sine tone encoded by ffmpeg's own
// AAC encoder, its frames taken out of the ADTS stream, and the "mp4a"
// sample entry (with its "esds") that describes them.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {

inline constexpr std::uint32_t kAacFrameSamples = 1024;  // per channel, at 48 kHz

struct AacClip {
    Bytes sample_entry;         // "mp4a" with "esds"
    std::vector<Bytes> frames;  // raw AAC frames, without ADTS headers
};

// As long as video_frames of video at kFramesPerSecond; cached like the video clips.
std::expected<AacClip, std::string> TryEncodeAac(int video_frames, std::uint64_t seed,
                                                 const std::filesystem::path& cache_dir = {});

// Splits an ADTS stream into its frames; fails on a broken header.
std::expected<AacClip, std::string> ReadAdts(ByteView adts);

}  // namespace tav::cardgen
