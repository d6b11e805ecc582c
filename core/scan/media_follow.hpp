#pragma once
// Follows a movie's media data across the pieces the file system split it
// into. Every video sample is checked where the current mapping puts it (NAL
// lengths and headers, see codec/nal_sample.hpp); where a check fails, the
// file's next piece starts at a cluster boundary somewhere else on the
// source, and the place is searched where that sample and the ones after it
// check again. A place elsewhere is taken only when more samples check there
// than in place after the failed stretch: blank sectors inside a file are
// kept where they lie, and no follow holds fewer samples that check than the
// bytes copied in place would.
// Reads go through a function, so the search runs on byte arrays as well as
// on a medium.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "scan/media_map.hpp"

namespace tav {

// Fills buf with the source bytes at offset (zeros where there are none);
// false when some could not be read.
using ReadSource = std::function<bool(std::int64_t offset, std::span<std::uint8_t> buf)>;

// File bytes from file_offset on (up to the next piece's) lie at source_offset.
struct MediaPiece {
    std::uint64_t file_offset = 0;
    std::int64_t source_offset = 0;
    bool operator==(const MediaPiece&) const = default;
};

struct FollowSetup {
    // Cluster starts on the source: grid_origin + k * cluster_bytes (a raw
    // disk: every sector).
    std::int64_t grid_origin = 0;
    std::int64_t cluster_bytes = 512;
    // Where pieces may lie: the volume's bytes on the source.
    std::int64_t area_begin = 0;
    std::int64_t area_end = 0;
    // Whether a cluster (by its first byte) may hold a deleted file's data:
    // free clusters only, in the free-space scans. Empty: every cluster.
    std::function<bool(std::int64_t cluster_start)> usable;
    // The pieces the file system recorded for a file starting at head (an
    // NTFS run list), asked for when the file turns out not to be whole;
    // used when every sample checks in them. Empty: none recorded.
    std::function<std::vector<MediaPiece>(std::int64_t head)> known;
};

// Where a file's bytes pass from one piece to the next: segment k of the
// stretch in question raises before[k] doubts if it belongs to the earlier
// piece, after[k] if to the later one. The split before the segment that
// makes the fewest doubts in all; on a tie the earlier piece runs longest.
std::size_t FewestDoubtsSplit(const std::vector<int>& before, const std::vector<int>& after);

struct FollowResult {
    std::vector<MediaPiece> pieces;  // in file order, the first at file offset 0
    bool complete = false;           // every video sample checked
    bool checkable = false;          // some sample checked: the map fits the bytes
    std::uint64_t checked_to = 0;    // where the last samples that checked end
    // File bytes whose samples did not check, in file order: blank or foreign
    // stretches the file kept in place, and all after the last check when
    // the follow stopped.
    std::vector<FileSpan> unchecked;
    std::uint64_t unchecked_bytes() const {
        std::uint64_t n = 0;
        for (const FileSpan& s : unchecked) n += s.length;
        return n;
    }
};

// head: where the file's first byte lies on the source.
FollowResult FollowMedia(const ReadSource& read, std::int64_t head, const MediaMap& map,
                         const FollowSetup& setup);

}  // namespace tav
