#pragma once
// Builds camera-style QuickTime files: "ftyp" (brand "qt  ") directly
// followed by the "mdat" header, the camera's DATE/TIME tag block at the start
// of the media data, the frames, then the "moov" written after the media data.
// (Other writers' layouts: other_mov_builder.hpp, into the same MovFile.)

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/writer_layout.hpp"

namespace tav::cardgen {

using Bytes = std::vector<std::uint8_t>;

struct MovOptions {
    std::string date = "2012:05:03";
    std::string time = "14:22:10";
    bool mdat64 = false;       // mdat with size field 1 and a 64-bit size
    bool co64 = false;         // chunk offsets in "co64" instead of "stco"
    bool cnmn = true;          // udta ends with "CNCV" and "CNMN"
    bool sound_track = false;  // a second (sound) trak after the video trak
    bool sound_last = false;   // each sound chunk after its video frame, so the last chunk is sound
    int sound_format = 0;      // an index into PcmFormats()
    // Other writers: the movie header's time, and the user data and metadata
    // they carry instead of the camera's.
    std::uint32_t creation_time = 0xC6A1F2E0;  // seconds since 1904
    bool camera_udta = true;                   // udta with "CNCV" (and "CNMN")
    std::string day_text;                      // udta "\xA9day" text; empty: none
    std::string meta_creation_date;  // meta item com.apple.quicktime.creationdate; empty: none
};

// The PCM layouts a camera's sound track may have.
struct PcmFormat {
    const char* fourcc;
    int version;  // of the sound sample description: 0, 1 or 2
    int channels;
    int bits;
    std::uint32_t frame_bytes() const { return static_cast<std::uint32_t>(channels * bits / 8); }
};
const std::vector<PcmFormat>& PcmFormats();
const PcmFormat& PcmFormatOf(const MovOptions& options);

// A movie atom after the media data follows the start region; one before it
// lies inside the start region, which then holds the whole file.
struct MovFile {
    Bytes head;                // the start region: ftyp .. the end of the mdat
    Bytes moov;                // the movie header atom
    bool moov_first = false;   // head holds moov at moov_at, before the mdat
    std::size_t moov_at = 0;   // moov_first only
    std::size_t mdat_at = 20;  // offset of the mdat header
    bool tagged = true;        // the media data starts with the camera's DATE/TIME block
    std::string brand = "qt  ";
    std::string video_codec = "avc1";
    std::string sound_codec;  // sample description type of the sound track; empty: none
    std::vector<std::uint32_t> sample_sizes;
    std::vector<std::uint64_t> chunk_offsets;        // file-relative
    std::vector<std::uint64_t> sound_chunk_offsets;  // file-relative
    std::int64_t stsz_offset = 0;  // file-relative offset of the "stsz" atom (size field)
    std::int64_t stco_offset = 0;  // of the "stco"/"co64" atom
    Bytes bytes() const;           // the whole file
    std::int64_t moov_offset() const {
        return static_cast<std::int64_t>(moov_first ? moov_at : head.size());
    }
    std::int64_t size() const {
        return static_cast<std::int64_t>(head.size() + (moov_first ? 0 : moov.size()));
    }
};

// Encoded H.264 or HEVC access units in 4-byte length-prefixed NAL form,
// plus the sample description (the "stsd" atom's payload after its
// version/flags and entry count: one avc1 or hvc1 entry) that describes them.
struct EncodedClip {
    Bytes stsd_entry;
    std::vector<Bytes> frames;
    int width = 0, height = 0;
};

// Every clip runs at this rate; the sound track (when asked for) is 48 kHz
// 16-bit stereo PCM, one chunk of it before each video frame.
inline constexpr int kFramesPerSecond = 25;

// Frames that only look like H.264 to the scanner (no ffmpeg): each frame is
// an access-unit delimiter NAL (when with_aud) followed by one NAL of
// pseudo-random payload; the last frame passes the scanner's frame check
// exactly when with_aud is true.
// Slice NALs are mean_frame_bytes / 2 to 3 * mean_frame_bytes / 2 long (at
// least 300, so that without delimiters the frame check cannot pass).
EncodedClip SyntheticClip(int frame_count, std::uint64_t seed, bool with_aud = true,
                          std::uint32_t mean_frame_bytes = 1500);

// Real H.264 from ffmpeg (libx264, no B-frames, one slice per frame; with
// aud every frame starts with an access-unit delimiter and frames after the
// first are delimiter + one slice), or HEVC (libx265, the same settings,
// "hvc1" entry). The encoded file is kept in cache_dir (default:
// $TAV_CLIP_CACHE, else a folder in the system's temp folder) by codec,
// frames, seed, aud and size, so a clip is encoded once per machine.
std::expected<EncodedClip, std::string> TryEncodeClip(int frame_count, std::uint64_t seed, bool aud,
                                                      int width = 320, int height = 240,
                                                      const std::filesystem::path& cache_dir = {},
                                                      VideoCodec codec = VideoCodec::kAvc);
// The same, with an empty clip (no frames) when ffmpeg fails.
EncodedClip EncodeClip(int frame_count, std::uint64_t seed, bool aud, int width = 320,
                       int height = 240, const std::filesystem::path& cache_dir = {});

// Media data that would pass 4 GiB is always written with mdat64 and co64.
MovFile BuildCameraMov(const MovOptions& requested, const EncodedClip& clip);

}  // namespace tav::cardgen
