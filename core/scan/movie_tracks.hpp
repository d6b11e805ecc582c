#pragma once
// The tracks of a whole movie atom, parsed from its bytes: where each
// track's media data starts and ends in the file. The camera interleaves
// sound chunks with the video's, and the last chunk written may be sound,
// so the media data ends at the furthest end of any track. Pure and
// bounds-checked: the bytes come from a medium.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/nal_format.hpp"
#include "common/byte_view.hpp"

namespace tav {

struct MovieTrack {
    std::string handler;                   // "vide", "soun", "tmcd", ...
    std::uint64_t samples = 0;             // sample count (stsz)
    std::uint64_t first_chunk = 0;         // file offset of chunk 1
    std::uint64_t media_end = 0;           // end of its last chunk (offset + its samples' bytes)
    std::uint64_t last_sample_offset = 0;  // where its last sample starts
    std::uint64_t last_sample_size = 0;
    std::string codec;                         // the first sample description's format
    std::optional<NalFormat> nal;              // H.264 or HEVC: how its samples frame NAL units
    std::vector<std::uint64_t> chunk_offsets;  // file-relative, in table order
    std::vector<std::uint32_t> chunk_samples;  // samples of each chunk
    std::vector<std::uint32_t> sample_sizes;   // empty when all samples have sample_bytes
    std::uint64_t sample_bytes = 0;            // the one size of every sample, or 0
    // Its data lies in this file: no data reference names another one.
    bool self_contained = true;
};

struct MovieTracks {
    std::vector<MovieTrack> tracks;  // the tracks whose chunks could be placed
    // The first video track, if any.
    const MovieTrack* video() const;
    // The furthest end of the video and sound tracks: a camera's other
    // tracks (timecode) may keep their data elsewhere.
    std::optional<std::uint64_t> media_end() const;
    // The furthest end of every track whose data is in this file: timecode,
    // metadata and text chunks may end the media data too.
    std::optional<std::uint64_t> media_end_of_all() const;
};

// moov: the bytes of the "moov" atom, its size field first.
std::optional<MovieTracks> ParseMovieTracks(ByteView moov);

// Bytes of one PCM frame (all channels) from a sound sample description
// entry ("sowt", "twos", "lpcm", "in24", ...), by its version: 0 channels x
// bits / 8, 1 bytes per frame, 2 constant bytes per packet. Nothing when it
// does not say.
std::optional<std::uint32_t> SoundFrameBytes(ByteView entry);

}  // namespace tav
