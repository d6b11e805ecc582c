#pragma once
// Walks a camera file's media data when its movie header is lost: video
// samples from the H.264 or HEVC NAL lengths, sound chunks of a known size between
// them, until the media data ends or the bytes stop making sense. Pure:
// the bytes come through MediaBytes, checked on every read.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "codec/nal_format.hpp"
#include "codec/picture_order.hpp"
#include "common/byte_view.hpp"

namespace tav {

// The start region's bytes, counted from its first byte (the "ftyp").
class MediaBytes {
  public:
    virtual ~MediaBytes() = default;
    // Fills out with the bytes at offset; false when they cannot all be had.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

class ViewBytes : public MediaBytes {
  public:
    explicit ViewBytes(ByteView bytes) : bytes_(bytes) {}
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

  private:
    ByteView bytes_;
};

// Where a file's bytes may go on elsewhere on the source (a split file):
// asked when the walk stops at bytes that make no sense.
class MediaContinuation {
  public:
    virtual ~MediaContinuation() = default;
    // The file's bytes from some point after sure_to up to stop may be
    // another file's: maps them, from a cluster boundary on, to the place
    // where fits() holds at stop. False when no place does.
    virtual bool Continue(std::uint64_t sure_to, std::uint64_t stop,
                          const std::function<bool()>& fits) = 0;
};

struct WalkedSample {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool sync = false;  // holds a slice decoding can start at (IDR, IRAP)
};

struct SoundChunk {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool operator==(const SoundChunk&) const = default;
};

struct MediaWalkInput {
    std::uint64_t media_start = 0;   // first byte of the mdat payload
    std::uint64_t media_end = 0;     // end of the mdat
    std::uint64_t first_sample = 0;  // where the reference's first chunk lies
    std::optional<std::uint64_t> sound_chunk_bytes;
    NalFormat format = {};  // the reference's: codec and length size
    // Where the bytes are neither, the next sample is searched for this far:
    // chunks of tracks the walk cannot read lie between the samples.
    std::uint64_t gap_bytes = 0;
    // The longest NAL unit taken; 0: only the media data bounds it. Past
    // one sample's bytes random lengths fit far too often.
    std::uint64_t most_unit_bytes = 0;
    // Reads through it go on past a split; none: the bytes are contiguous.
    MediaContinuation* continuation = nullptr;
    // Other sizes the reference's sound chunks take (writers that put one,
    // two or three packets in a chunk, or alternate 1601 and 1602 frames),
    // and the bytes of one sound frame: a last chunk may be shorter.
    std::vector<std::uint64_t> more_sound_chunk_bytes = {};
    std::uint64_t sound_frame_bytes = 0;
    // Reads slice headers by the reference's parameter sets: past chunks of
    // a track the walk cannot read (AAC), a picture of one unit is taken
    // where its slice header fits the stream (its frame number follows).
    const SliceReader* slices = nullptr;
};

// Units that must follow one another where a split file goes on: a foreign
// cluster passes one NAL length by chance, not eight.
inline constexpr int kSureContinuationUnits = 8;

struct MediaWalk {
    std::uint64_t start = 0;  // where the walk began (first_sample, or found by searching)
    std::vector<WalkedSample> video;
    std::vector<SoundChunk> sound_chunks;
    std::uint64_t end = 0;     // end of the last whole sample or chunk
    bool reached_end = false;  // end == media_end
    // Distinct parameter sets met in the stream, each with its NAL header.
    std::vector<std::vector<std::uint8_t>> vps, sps, pps;
};

// Nothing when no place in the media data starts a sample.
std::optional<MediaWalk> WalkMedia(const MediaBytes& bytes, const MediaWalkInput& input);

// How far the start is searched for when the reference's first chunk offset
// does not fit.
inline constexpr std::uint64_t kStartSearchBytes = 64 * 1024;

}  // namespace tav
