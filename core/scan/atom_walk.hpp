#pragma once
// The walk over a movie atom's tree, one read window at a time. Pure: the
// header analysis does the reading and calls this for each window.

#include <cstdint>
#include <string>

#include "common/byte_view.hpp"

namespace tav {

// What the header analysis found: where the header ends and where its
// sample-size and chunk-offset atoms lie (absolute byte offsets).
struct HeaderInfo {
    std::string EndType = "HEAD";  // "moov" / "ftyp" once walked; empty = rejected
    std::int64_t EndOffset = 0;    // exclusive end of the last moov/ftyp walked
    std::int64_t StszOffset = 0;
    std::int64_t StcoOffset = 0;
    bool operator==(const HeaderInfo&) const = default;
};

enum class AtomAction {
    Descend,     // moov, containers
    Skip,        // known leaf atoms
    SkipAndEnd,  // CNMN: the walk ends after it
    Stop,        // anything else: the walk ends at it
};

AtomAction ClassifyAtom(ByteView type);

enum class WalkOutcome { NextWindow, End };

// Walks the atoms of one read window while p < 65536. window: the read window
// (65536 + 512 bytes, zeros where nothing was read); window_start: its
// absolute byte offset; p: the walk position inside it, moved forward.
WalkOutcome WalkWindow(ByteView window, std::int64_t window_start, std::int64_t& p,
                       HeaderInfo& info, bool large_file_only);

}  // namespace tav
