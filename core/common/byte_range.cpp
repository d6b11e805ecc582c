#include "common/byte_range.hpp"

#include <algorithm>

namespace tav {

void AddRange(std::vector<ByteRange>& ranges, ByteRange r) {
    if (r.length <= 0) return;
    // Appending in order is the common case: one bad sector after another.
    if (ranges.empty() || ranges.back().end() < r.offset) {
        ranges.push_back(r);
        return;
    }
    auto first = std::lower_bound(ranges.begin(), ranges.end(), r.offset,
                                  [](const ByteRange& x, std::int64_t at) { return x.end() < at; });
    auto last = first;
    std::int64_t begin = r.offset;
    std::int64_t end = r.end();
    while (last != ranges.end() && last->offset <= end) {
        begin = std::min(begin, last->offset);
        end = std::max(end, last->end());
        ++last;
    }
    first = ranges.erase(first, last);
    ranges.insert(first, ByteRange{begin, end - begin});
}

std::vector<ByteRange> ClipRanges(const std::vector<ByteRange>& ranges, std::int64_t from,
                                  std::int64_t to) {
    std::vector<ByteRange> out;
    for (const ByteRange& r : ranges) {
        const std::int64_t a = std::max(from, r.offset);
        const std::int64_t b = std::min(to, r.end());
        if (a < b) out.push_back({a, b - a});
    }
    return out;
}

std::int64_t TotalLength(const std::vector<ByteRange>& ranges) {
    std::int64_t total = 0;
    for (const ByteRange& r : ranges) total += r.length;
    return total;
}

}  // namespace tav
