#pragma once
// Where a movie's samples lie in its file, from the header's sample tables:
// the H.264 or HEVC video samples in file order, whose NAL structure can be
// checked wherever they are read, and the sound chunks, whose PCM bytes
// cannot.

#include <cstdint>
#include <optional>
#include <vector>

#include "scan/movie_tracks.hpp"

namespace tav {

struct FileSpan {
    std::uint64_t offset = 0;  // file-relative
    std::uint64_t length = 0;
    std::uint64_t end() const { return offset + length; }
};

struct MediaMap {
    std::vector<FileSpan> video;          // one per sample, in file order, not overlapping
    std::vector<FileSpan> sound;          // one per chunk, in file order
    std::uint32_t sound_frame_bytes = 0;  // bytes of one PCM frame, all channels
    std::uint64_t media_end = 0;
    NalFormat nal;  // how the video samples frame their units
};

// Nothing when the video is neither H.264 nor HEVC in length-prefixed form,
// a table could not be mapped, or samples overlap: such a file cannot be
// checked sample by sample.
std::optional<MediaMap> MapMedia(const MovieTracks& tracks);

}  // namespace tav
