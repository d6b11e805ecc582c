#include "scan/scan_reader.hpp"

#include <algorithm>
#include <cstring>

namespace tav {

namespace {

constexpr std::int64_t kTrimChunk = 1 << 20;
constexpr std::int64_t kTrimPiece = 65536;

}  // namespace

ScanReaderMemory ScanReader::memory() const {
    return {unreadable_, passed_over_, jump_area_, next_jump_, revisiting_, bytes_read_};
}

void ScanReader::restore(const ScanReaderMemory& m) {
    unreadable_.clear();
    passed_over_.clear();
    // Through AddRange: a checkpoint's lists are kept ordered and apart.
    for (const ByteRange& r : m.unreadable) AddRange(unreadable_, r);
    for (const ByteRange& r : m.passed_over) AddRange(passed_over_, r);
    jump_area_ = m.jump_area;
    next_jump_ = std::clamp(m.next_jump, kFirstJump, kLongestJump);
    revisiting_ = m.revisiting;
    bytes_read_ = m.bytes_read;
}

const ByteRange* ScanReader::bad_area_at(std::int64_t pos) const {
    const auto it =
        std::upper_bound(unreadable_.begin(), unreadable_.end(), pos,
                         [](std::int64_t at, const ByteRange& r) { return at < r.end(); });
    return it != unreadable_.end() && it->offset <= pos ? &*it : nullptr;
}

std::int64_t ScanReader::plain_part_end(std::int64_t pos, std::int64_t end) const {
    const auto next_bad =
        std::upper_bound(unreadable_.begin(), unreadable_.end(), pos,
                         [](std::int64_t at, const ByteRange& r) { return at < r.offset; });
    if (next_bad != unreadable_.end()) end = std::min(end, next_bad->offset);
    if (!revisiting_ && jump_area_.offset > pos) end = std::min(end, jump_area_.offset);
    return end;
}

void ScanReader::read(std::int64_t offset, std::span<std::uint8_t> buf) {
    const auto zero = [&](std::int64_t from, std::int64_t to) {
        std::memset(buf.data() + (from - offset), 0, static_cast<std::size_t>(to - from));
    };
    if (offset < 0) {
        std::memset(buf.data(), 0, buf.size());
        return;
    }
    const std::int64_t end = offset + static_cast<std::int64_t>(buf.size());
    std::int64_t pos = offset;
    while (pos < end) {
        if (!revisiting_ && pos >= jump_area_.offset && pos < jump_area_.end()) {
            const std::int64_t stop = std::min(end, jump_area_.end());
            AddRange(passed_over_, {pos, stop - pos});
            zero(pos, stop);
            pos = stop;
            continue;
        }
        if (const ByteRange* bad = bad_area_at(pos)) {
            const std::int64_t stop = std::min(end, bad->end());
            zero(pos, stop);
            pos = stop;
            continue;
        }
        const std::int64_t part_end = plain_part_end(pos, end);
        read_part(pos,
                  buf.subspan(static_cast<std::size_t>(pos - offset),
                              static_cast<std::size_t>(part_end - pos)),
                  pos);
    }
}

void ScanReader::read_part(std::int64_t pos, std::span<std::uint8_t> part, std::int64_t& next) {
    ReadOptions options;
    options.give_up_after_failed_sectors = revisiting_ ? 0 : kFailureRun;
    const ReadReport report = source_.read_at(pos, part, options);
    bytes_read_ += static_cast<std::int64_t>(report.bytes);
    next = pos + static_cast<std::int64_t>(part.size());
    // The medium went away: nothing here counts as unreadable; the scan
    // stops on seeing the reader gone.
    if (report.source_gone) return;
    for (const ByteRange& r : report.unreadable) AddRange(unreadable_, r);
    if (report.gave_up) {
        jump_area_ = {*report.gave_up, next_jump_};
        next_jump_ = std::min(next_jump_ * 2, kLongestJump);
        next = *report.gave_up;  // the rest of the part now lies in the jump area
        return;
    }
    if (report.unreadable.empty() && report.bytes > 0) next_jump_ = kFirstJump;
}

std::vector<ByteRange> ScanReader::revisit_passed_over() {
    revisiting_ = true;
    std::vector<ByteRange> work;
    work.swap(passed_over_);
    const std::int64_t size = source_.size();
    for (ByteRange& area : work)
        if (size >= 0 && area.end() > size)
            area.length = std::max<std::int64_t>(0, size - area.offset);
    std::vector<ByteRange> readable;
    const std::int64_t sector = std::max<std::int64_t>(1, source_.sector_bytes());
    const std::int64_t failed_before = TotalLength(unreadable_);
    while (!work.empty()) {
        const ByteRange area = work.back();
        work.pop_back();
        if (area.length <= 0) continue;
        // A dead stretch would be tried sector by sector; past this many
        // failing sectors the rest is given up rather than hammered.
        if (TotalLength(unreadable_) - failed_before >= kMostRevisitFailures * sector) {
            AddRange(unreadable_, area);
            continue;
        }
        revisit(area, work, readable);
    }
    std::sort(readable.begin(), readable.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    return readable;
}

// Reads the area from both edges inward until a sector fails on each side;
// what lies between the two failures may still hold readable islands (and
// a video's header in them), so it is split in two and each half is read
// from its edges in turn. A piece too small to split is read sector by
// sector.
void ScanReader::revisit(const ByteRange& area, std::vector<ByteRange>& work,
                         std::vector<ByteRange>& readable) {
    const std::int64_t sector = std::max<std::int64_t>(1, source_.sector_bytes());
    if (area.length <= kSmallestSplit * sector) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(area.length));
        const ReadReport report = source_.read_at(area.offset, bytes);
        std::int64_t from = area.offset;
        for (const ByteRange& r : report.unreadable) {
            AddRange(unreadable_, r);
            if (r.offset > from) readable.push_back({from, r.offset - from});
            from = r.end();
        }
        if (from < area.end()) readable.push_back({from, area.end() - from});
        return;
    }
    const std::int64_t first_failure = trim_forward(area);
    if (first_failure > area.offset) readable.push_back({area.offset, first_failure - area.offset});
    if (first_failure >= area.end()) return;
    const ByteRange* failed = bad_area_at(first_failure);
    const std::int64_t after =
        failed ? std::min(failed->end(), area.end()) : first_failure + sector;
    const std::int64_t tail = trim_backward(after, area.end());
    if (tail < area.end()) readable.push_back({tail, area.end() - tail});
    const ByteRange* back_failure = tail > after ? bad_area_at(tail - 1) : nullptr;
    const std::int64_t before = back_failure ? std::max(back_failure->offset, after) : tail;
    if (before <= after) return;
    const std::int64_t half = (before - after) / 2 / sector * sector;
    work.push_back({after, half});
    work.push_back({after + half, before - after - half});
}

// Reads forward from the area's start until a sector fails; returns where
// that sector starts (the area's end when all of it was read).
std::int64_t ScanReader::trim_forward(const ByteRange& area) {
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(kTrimChunk, area.length)));
    ReadOptions options;
    options.give_up_after_failed_sectors = 1;
    for (std::int64_t pos = area.offset; pos < area.end(); pos += kTrimChunk) {
        const auto len = static_cast<std::size_t>(std::min(kTrimChunk, area.end() - pos));
        const ReadReport report = source_.read_at(pos, std::span(chunk).first(len), options);
        for (const ByteRange& r : report.unreadable) AddRange(unreadable_, r);
        if (!report.unreadable.empty()) return report.unreadable.front().offset;
        if (report.end_of_medium) break;
    }
    return area.end();
}

// Reads backward from `to` until a sector fails or `from` is reached; returns
// where the readable tail starts.
std::int64_t ScanReader::trim_backward(std::int64_t from, std::int64_t to) {
    const std::int64_t sector = std::max<std::int64_t>(1, source_.sector_bytes());
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(kTrimPiece));
    ReadOptions options;
    options.give_up_after_failed_sectors = 1;
    std::int64_t cur = to;
    while (cur > from) {
        const std::int64_t start = std::max(from, cur - kTrimPiece);
        const auto len = static_cast<std::size_t>(cur - start);
        if (source_.read_at(start, std::span(piece).first(len), options).clean()) {
            cur = start;
            continue;
        }
        // Somewhere in this piece: walk back one sector at a time.
        while (cur > start) {
            const std::int64_t s = std::max(start, cur - sector);
            if (bad_area_at(s) != nullptr) return cur;
            const ReadReport report = source_.read_at(
                s, std::span(piece).first(static_cast<std::size_t>(cur - s)), options);
            if (!report.unreadable.empty()) {
                for (const ByteRange& r : report.unreadable) AddRange(unreadable_, r);
                return cur;
            }
            cur = s;
        }
    }
    return cur;
}

}  // namespace tav
