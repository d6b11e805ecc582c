#pragma once
// Where the sector loop goes on after a candidate: behind the fragment's end,
// on a file system at the next cluster start. Pure, so the rules can be
// checked for every alignment.

#include <cstdint>

#include "scan/scan_geometry.hpp"

namespace tav {

struct ResumeInput {
    std::int64_t start = 0;  // candidate start S, bytes
    std::int64_t end = 0;    // candidate exclusive end M, bytes
    std::int64_t w = 0;      // current read position, sectors from the base
    std::int64_t i = 0;      // current sector within the read
};

struct ResumeDecision {
    enum Kind {
        NextSector,  // go on with sector i + 1
        ContinueAt,  // go on with sector `index` of this read
        NextRead,    // the rest of this read is skipped
        Jump,        // read next at `w`, starting with sector `index`
    } kind = NextSector;
    std::int64_t index = 0;
    std::int64_t w = 0;
};

// The resume sector r counted from the base: the sector holding M on a raw
// source, the first cluster start at or after M otherwise.
std::int64_t ResumeSector(const ScanGeometry& g, std::int64_t end);

ResumeDecision DecideResume(const ScanGeometry& g, const ResumeInput& in);

}  // namespace tav
