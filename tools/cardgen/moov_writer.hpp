#pragma once
// Writes the movie atom of a camera file from its sample layout: movie
// header, video track (and optional sound track) with their sample tables,
// and the camera's user data.

#include <cstdint>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

struct VideoLayout {
    const EncodedClip* clip = nullptr;
    std::vector<std::uint32_t> sample_sizes;
    std::vector<std::uint64_t> chunk_offsets;  // file-relative, one sample per chunk
    std::vector<std::uint32_t> sync_samples;   // 1-based sample numbers
};

struct SoundLayout {
    std::vector<std::uint64_t> chunk_offsets;  // one chunk beside each video frame
    std::uint32_t frames_per_chunk = 0;        // PCM frames per chunk
    // Compressed sound (AAC) instead of the options' PCM: its sample entry,
    // the size of every sample and the samples of every chunk.
    Bytes sample_entry;
    std::vector<std::uint32_t> sample_sizes;
    std::vector<std::uint32_t> samples_per_chunk;
    std::uint32_t sample_duration = 1;  // in 1/48000 s
    bool compressed() const { return !sample_entry.empty(); }
};

struct MoovAtom {
    Bytes bytes;
    std::size_t stsz_at = 0;  // position of the video "stsz" inside bytes
    std::size_t stco_at = 0;  // of the video "stco"/"co64"
};

MoovAtom WriteMoov(const MovOptions& options, const VideoLayout& video, const SoundLayout* sound);

}  // namespace tav::cardgen
