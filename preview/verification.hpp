#pragma once
// What decoding a recovered video from end to end found: how many of the
// frames its header lists decode, where the first one that does not lies,
// and whether its sound decodes. Plain data: the decoder module fills it.

#include <cstdint>
#include <optional>
#include <string>

#include "byte_source.hpp"

namespace tav::preview {

enum class VerifyEnd {
    Finished,      // every packet was read and decoded (some may have failed)
    Stopped,       // the caller asked it to stop; the counts cover what was done
    TimedOut,      // the file's time limit ran out; the counts cover what was done
    CannotDecode,  // no movie header, no video track, or a track no decoder takes
};

enum class SoundCheck {
    None,     // the file has no sound track
    Decodes,  // every sound packet decoded
    Damaged,  // some did not, or the track's decoder refused it
};

struct Verification {
    VerifyEnd end = VerifyEnd::CannotDecode;
    std::int64_t frames_listed = 0;   // video samples in the movie header
    std::int64_t frames_decoded = 0;  // of those, decoded to a clean picture
    // Seconds from the video's start: the first listed frame that did not
    // decode (none when all did), and the last one that did (none when none did).
    std::optional<double> first_bad_seconds;
    std::optional<double> last_good_seconds;
    std::optional<double> duration_seconds;  // from the header
    SoundCheck sound = SoundCheck::None;
    std::int64_t bytes_read = 0;  // from the file, by the demuxer
    double seconds_taken = 0;
    std::string detail;  // for logs and debugging, not for the user

    bool all_frames() const { return frames_listed > 0 && frames_decoded == frames_listed; }
    // The whole file plays: every frame, and the sound when there is one.
    bool plays_fully() const {
        return end == VerifyEnd::Finished && all_frames() && sound != SoundCheck::Damaged;
    }
};

// Bounds on one file, so a damaged or hostile one cannot hang or exhaust
// the program: a time limit (fixed part plus a share of the length its
// header claims, capped), and caps on what the decoder may allocate.
struct VerifyLimits {
    double base_seconds = 60;
    double seconds_per_video_second = 1.0;
    double most_seconds = 4 * 3600;
    std::int64_t most_frame_pixels = 8192LL * 4352;  // 8K and below
    std::int64_t most_allocation = 128LL << 20;      // one allocation of the decoder's
    int threads = 0;                                 // 0: one per core, four at most
};

// The program's side of a verification, asked between packets.
class VerifyControl {
  public:
    virtual ~VerifyControl() = default;
    virtual bool stop_requested() const = 0;
    // Time the program held the check back (its reads paced beside a scan
    // or save): it does not count against the time limit.
    virtual double seconds_held() const { return 0; }
};

// How programs reach the module's verifier (decoder_loader.hpp).
using VerifyFunction = Verification (*)(const ByteSource&, const VerifyControl&,
                                        const VerifyLimits&);

}  // namespace tav::preview
