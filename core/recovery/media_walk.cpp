#include "recovery/media_walk.hpp"

#include <algorithm>
#include <array>

#include "common/byte_order.hpp"
#include "scan/avcc_sample.hpp"

namespace tav {

namespace {

enum NalType : std::uint8_t { kSlice = 1, kIdr = 5, kSei = 6, kSps = 7, kPps = 8, kDelimiter = 9 };

constexpr std::uint32_t kMostParameterSetBytes = 1024;
constexpr std::size_t kMostParameterSets = 32;

struct Nal {
    std::uint32_t length = 0;
    std::uint8_t type = 0;
    bool first_mb_zero = false;  // a slice whose first_mb_in_slice (ue(v)) is 0
};

bool Readable(const MediaBytes& bytes, std::uint64_t at) {
    std::uint8_t byte = 0;
    return bytes.read(at, std::span(&byte, 1));
}

// The NAL unit behind the length at `at`, when it fits before end.
std::optional<Nal> ReadNal(const MediaBytes& bytes, std::uint64_t at, std::uint64_t end) {
    if (at >= end || end - at < 5) return std::nullopt;
    std::array<std::uint8_t, 6> head{};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(6, end - at));
    if (!bytes.read(at, std::span(head.data(), n))) return std::nullopt;
    const std::uint32_t length = load_be32(head.data());
    if (length == 0 || length > end - at - 4) return std::nullopt;
    if ((head[4] & 0x80) != 0 || !IsCameraNalType(head[4])) return std::nullopt;
    // The unit's bytes must be there to the last: the mdat size may promise
    // more than the medium holds.
    if (!Readable(bytes, at + 3 + length)) return std::nullopt;
    const auto type = static_cast<std::uint8_t>(head[4] & 0x1F);
    return Nal{length, type, n == 6 && length >= 2 && (head[5] & 0x80) != 0};
}

bool IsSlice(const Nal& n) {
    return n.type == kSlice || n.type == kIdr;
}

// NAL units that only come first in an access unit; a slice does when it
// is a picture's first.
bool BeginsAccessUnit(const Nal& n) {
    return n.type == kDelimiter || n.type == kSei || n.type == kSps || n.type == kPps ||
           (IsSlice(n) && n.first_mb_zero);
}

class Walker {
  public:
    Walker(const MediaBytes& bytes, const MediaWalkInput& in) : bytes_(bytes), in_(in) {}

    // A sound chunk at `at`: the bytes are no NAL unit, a chunk fits, and
    // after it video goes on or the media data ends.
    bool SoundChunkAt(std::uint64_t at) const {
        const std::uint64_t c = in_.sound_chunk_bytes.value_or(0);
        if (c == 0 || at > in_.media_end || c > in_.media_end - at || !Readable(bytes_, at) ||
            !Readable(bytes_, at + c - 1) || ReadNal(bytes_, at, end()))
            return false;
        if (at + c == in_.media_end) return true;
        const auto next = ReadNal(bytes_, at + c, end());
        return next && BeginsAccessUnit(*next);
    }

    // A sample or sound chunk starts at `at`, and for a sample the next NAL
    // unit fits too (or the media data ends after it): one length that
    // happens to fit is not yet a sample.
    bool StartsHere(std::uint64_t at) const {
        const auto nal = ReadNal(bytes_, at, end());
        if (!nal) return SoundChunkAt(at);
        if (!BeginsAccessUnit(*nal)) return false;
        const std::uint64_t next = at + 4 + nal->length;
        return next == end() || ReadNal(bytes_, next, end()) || SoundChunkAt(next);
    }

    std::optional<std::uint64_t> FindStart() const {
        const std::uint64_t first = in_.first_sample;
        if (first >= in_.media_start && first < end() && StartsHere(first)) return first;
        if (in_.media_start >= end()) return std::nullopt;
        const std::uint64_t last = end() - in_.media_start > kStartSearchBytes
                                       ? in_.media_start + kStartSearchBytes
                                       : end();
        for (std::uint64_t at = in_.media_start; at < last; ++at)
            if (StartsHere(at)) return at;
        return std::nullopt;
    }

    MediaWalk Run(std::uint64_t start) {
        walk_.start = walk_.end = start;
        std::uint64_t p = start;
        while (p < end()) {
            if (const auto nal = ReadNal(bytes_, p, end())) {
                Add(*nal, p);
                p += 4 + std::uint64_t{nal->length};
            } else if (SoundChunkAt(p)) {
                Close();
                walk_.sound_chunks.push_back(p);
                p += in_.sound_chunk_bytes.value_or(0);  // not 0: SoundChunkAt said so
                walk_.end = p;
            } else {
                // Bytes that stop making sense may have cut the unit under
                // way; where they end (an mdat to the end of the file), it
                // is whole.
                if (!Readable(bytes_, p)) Close();
                break;
            }
        }
        if (p == end()) Close();
        walk_.reached_end = walk_.end == in_.media_end;
        return std::move(walk_);
    }

  private:
    std::uint64_t end() const { return in_.media_end; }

    void Add(const Nal& nal, std::uint64_t at) {
        if (unit_ && (nal.type == kDelimiter || (has_slice_ && BeginsAccessUnit(nal)))) Close();
        if (!unit_) unit_ = WalkedSample{at, 0, false};
        unit_->size += 4 + std::uint64_t{nal.length};
        has_slice_ = has_slice_ || IsSlice(nal);
        unit_->sync = unit_->sync || nal.type == kIdr;
        if (nal.type == kSps) Remember(at, nal.length, walk_.sps);
        if (nal.type == kPps) Remember(at, nal.length, walk_.pps);
    }

    // A unit without a slice is no picture and not kept.
    void Close() {
        if (unit_ && has_slice_) {
            walk_.video.push_back(*unit_);
            walk_.end = unit_->offset + unit_->size;
        }
        unit_.reset();
        has_slice_ = false;
    }

    void Remember(std::uint64_t at, std::uint32_t length,
                  std::vector<std::vector<std::uint8_t>>& sets) const {
        if (length > kMostParameterSetBytes || sets.size() >= kMostParameterSets) return;
        std::vector<std::uint8_t> set(length);
        if (!bytes_.read(at + 4, set)) return;
        if (std::find(sets.begin(), sets.end(), set) == sets.end()) sets.push_back(std::move(set));
    }

    const MediaBytes& bytes_;
    const MediaWalkInput& in_;
    MediaWalk walk_;
    std::optional<WalkedSample> unit_;
    bool has_slice_ = false;
};

}  // namespace

bool ViewBytes::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > bytes_.size() || !bytes_.has(static_cast<std::size_t>(offset), out.size()))
        return false;
    std::copy_n(bytes_.data() + offset, out.size(), out.data());
    return true;
}

std::optional<MediaWalk> WalkMedia(const MediaBytes& bytes, const MediaWalkInput& input) {
    Walker walker(bytes, input);
    const auto start = walker.FindStart();
    if (!start) return std::nullopt;
    return walker.Run(*start);
}

}  // namespace tav
