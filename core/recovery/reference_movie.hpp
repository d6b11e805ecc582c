#pragma once
// What a reference clip's movie header says about the camera's files: the
// sample descriptions, time scales and sample durations, the sound chunks'
// layout, and the header atoms a rebuilt header copies. Pure and
// bounds-checked: the bytes come from a user's file.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "codec/nal_format.hpp"
#include "common/byte_view.hpp"

namespace tav {

using ByteString = std::vector<std::uint8_t>;

// What both tracks copy or take from the reference.
struct ReferenceTrack {
    ByteString tkhd, mdhd, hdlr;  // atom bodies (after the size and type)
    ByteString minf_hdlr, dinf;   // data handler and data reference; may be empty
    ByteString stsd;              // the whole "stsd" body: version, count, entries
    std::uint32_t timescale = 0;
    std::uint32_t sample_delta = 0;  // duration of one sample in the time scale
};

struct ReferenceVideo : ReferenceTrack {
    NalFormat format;                       // from the avcC or hvcC
    std::vector<ByteString> vps, sps, pps;  // the same; vps for HEVC only
    std::uint64_t largest_sample = 0;       // 0 when its stsz does not say
};

struct ReferenceSound : ReferenceTrack {
    std::uint32_t samples_per_chunk = 0;                 // of the first chunk run
    std::vector<std::uint32_t> other_samples_per_chunk;  // of the later runs, each once
    std::uint32_t stsz_size = 0;                         // the uniform sample size as written
    std::uint32_t frame_bytes = 0;                       // bytes of one sample (PCM frame)
    std::uint64_t chunk_bytes() const { return std::uint64_t{samples_per_chunk} * frame_bytes; }
};

struct ReferenceMovie {
    ByteString mvhd;
    std::uint32_t movie_timescale = 0;
    std::uint64_t first_chunk = 0;  // file offset of its first chunk of any track
    ReferenceVideo video;
    // PCM sound only: its chunks have one size the walk can step by.
    std::optional<ReferenceSound> sound;
    // The reference's sound is AAC or another format of varying sample
    // sizes: the rebuilt header has the video track only.
    bool sound_left_out = false;
    // Bytes of the largest chunk of each track left out, summed: how far the
    // walk may search past bytes that are no video for the next sample.
    std::uint64_t other_chunk_bytes = 0;
};

// moov: the bytes of the "moov" atom, its size field first. The error names
// what is missing or does not fit.
std::expected<ReferenceMovie, std::string> ParseReferenceMovie(ByteView moov);

// The version of an mvhd/tkhd/mdhd body and where its duration field lies.
struct DurationField {
    std::size_t at = 0;
    bool wide = false;  // 64 bits (version 1)
};
std::optional<DurationField> FindDuration(ByteView full_atom_body, bool track_header);

}  // namespace tav
