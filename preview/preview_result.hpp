#pragma once
// What a preview of one recovered video is: a small picture of its first
// frame and how long it plays, or why there is none.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::preview {

// Rows of width * 3 bytes (R, G, B), top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

struct Preview {
    RgbImage thumbnail;
    int video_width = 0;  // the frame as coded
    int video_height = 0;
    std::optional<double> duration_seconds;  // none when the header does not say
};

enum class PreviewFailure {
    CannotDecode,      // no movie header, no video track, or the first frame does not decode
    SourceUnreadable,  // the medium could not be opened
    BadFragments,      // the row's fragment list names no file the save could write
    NoDecoder,         // the decoder module (FFmpeg) is not installed
    NoRebuiltHeader,   // graded "重建", its header not rebuilt from a reference (yet)
};

struct PreviewError {
    PreviewFailure kind;
    std::string detail;  // for logs and debugging, not for the user
};

// Bounds on the work one preview may do, so a damaged file cannot make it
// read the whole medium or spin.
struct PreviewLimits {
    std::int64_t most_bytes = 64 << 20;  // read from the file in all
    int most_packets = 64;               // demuxed before giving up on a first frame
    int thumbnail_width = 320;           // at most; narrower frames keep their width
};

}  // namespace tav::preview
