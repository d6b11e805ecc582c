#pragma once
// Byte ranges of a medium: where sectors could not be read, where a scan
// passed over a failing area. Lists are kept in offset order and coalesced,
// so a bad area shows as one range however it was found.

#include <cstdint>
#include <vector>

namespace tav {

struct ByteRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;

    std::int64_t end() const { return offset + length; }
    bool operator==(const ByteRange&) const = default;
};

// Adds r to the ordered, coalesced list, merging with whatever it touches.
void AddRange(std::vector<ByteRange>& ranges, ByteRange r);

// The parts of ranges that lie inside [from, to).
std::vector<ByteRange> ClipRanges(const std::vector<ByteRange>& ranges, std::int64_t from,
                                  std::int64_t to);

std::int64_t TotalLength(const std::vector<ByteRange>& ranges);

}  // namespace tav
