#include "recovery/media_walk.hpp"

#include <algorithm>
#include <array>

namespace tav {

namespace {

constexpr std::uint32_t kMostParameterSetBytes = 1024;
constexpr std::size_t kMostParameterSets = 32;

struct Nal {
    std::uint32_t length = 0;  // after the length field
    NalHeader header;
};

bool Readable(const MediaBytes& bytes, std::uint64_t at) {
    std::uint8_t byte = 0;
    return bytes.read(at, std::span(&byte, 1));
}

// The NAL unit behind the length at `at`, when it fits before the media
// data ends and within the bound.
std::optional<Nal> ReadNal(const MediaBytes& bytes, const MediaWalkInput& in, std::uint64_t at) {
    const NalFormat& format = in.format;
    const std::uint64_t end = in.media_end;
    const std::size_t least = format.least_unit_bytes();
    if (at >= end || end - at < least) return std::nullopt;
    // The length, the header and the byte after it (first_slice).
    std::array<std::uint8_t, 7> head{};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(least + 1, end - at));
    if (!bytes.read(at, std::span(head.data(), n))) return std::nullopt;
    const ByteView view(head.data(), n);
    const auto length = ReadNalLength(view, 0, format);
    if (!length || *length < format.header_bytes() || *length > end - at - format.length_size ||
        (in.most_unit_bytes != 0 && *length > in.most_unit_bytes))
        return std::nullopt;
    // first_slice is read from the unit's own bytes only.
    const std::size_t unit_seen = std::min<std::size_t>(n - format.length_size, *length);
    const auto header = ReadNalHeader(view.sub(format.length_size, unit_seen), format.codec);
    if (!header) return std::nullopt;
    // The unit's bytes must be there to the last: the mdat size may promise
    // more than the medium holds.
    if (!Readable(bytes, at + format.length_size + *length - 1)) return std::nullopt;
    return Nal{*length, *header};
}

// NAL units that only come first in an access unit; a slice does when it
// begins its picture.
bool BeginsAccessUnit(const NalHeader& h) {
    return h.delimiter || h.vps || h.sps || h.pps || h.prefix_sei || (h.slice && h.first_slice);
}

class Walker {
  public:
    Walker(const MediaBytes& bytes, const MediaWalkInput& in) : bytes_(bytes), in_(in) {}

    // The size of a sound chunk at `at`: the bytes are no NAL unit, a chunk
    // of a size the reference has fits, and after it video goes on or the
    // media data ends (where a shorter last chunk may end it too).
    std::optional<std::uint64_t> SoundChunkAt(std::uint64_t at) const {
        if (!in_.sound_chunk_bytes || at >= in_.media_end || !Readable(bytes_, at) ||
            ReadNal(bytes_, in_, at))
            return std::nullopt;
        const std::uint64_t left = in_.media_end - at;
        const auto fits = [&](std::uint64_t c) {
            if (c == 0 || c > left || !Readable(bytes_, at + c - 1)) return false;
            if (c == left) return true;
            const auto next = ReadNal(bytes_, in_, at + c);
            return next && BeginsAccessUnit(next->header);
        };
        if (fits(*in_.sound_chunk_bytes)) return in_.sound_chunk_bytes;
        std::uint64_t largest = *in_.sound_chunk_bytes;
        for (const std::uint64_t c : in_.more_sound_chunk_bytes) {
            if (fits(c)) return c;
            largest = std::max(largest, c);
        }
        // A writer empties its sound buffer into the last chunk, which may
        // hold what two chunks would.
        const std::uint64_t frame = in_.sound_frame_bytes;
        if (frame != 0 && left <= 2 * largest && left % frame == 0 && fits(left)) return left;
        return std::nullopt;
    }

    // A sample or sound chunk starts at `at`, and for a sample the next NAL
    // unit fits too (or the media data ends after it): one length that
    // happens to fit is not yet a sample.
    bool StartsHere(std::uint64_t at) const {
        const auto nal = ReadNal(bytes_, in_, at);
        if (!nal) return SoundChunkAt(at).has_value();
        if (!BeginsAccessUnit(nal->header)) return false;
        const std::uint64_t next = at + in_.format.length_size + nal->length;
        return next == end() || ReadNal(bytes_, in_, next) || SoundChunkAt(next).has_value();
    }

    std::optional<std::uint64_t> FindStart() const {
        const std::uint64_t first = in_.first_sample;
        // Where the reference has its first chunk, a picture of one unit
        // decoding can start at will do: chunks of other tracks may follow.
        if (first >= in_.media_start && first < end() &&
            (StartsHere(first) || SyncPictureAt(first)))
            return first;
        if (in_.media_start >= end()) return std::nullopt;
        const std::uint64_t last = end() - in_.media_start > kStartSearchBytes
                                       ? in_.media_start + kStartSearchBytes
                                       : end();
        for (std::uint64_t at = in_.media_start; at < last; ++at)
            if (StartsHere(at) || LonePictureAt(at)) return at;
        return std::nullopt;
    }

    // A picture of one unit decoding can start at, between chunks of tracks
    // the walk cannot read (a phone's first frame between AAC chunks): the
    // next picture must start right after it or past such a chunk.
    bool LonePictureAt(std::uint64_t at) const {
        if (!SyncPictureAt(at)) return false;
        const auto nal = ReadNal(bytes_, in_, at);
        const std::uint64_t next = at + in_.format.length_size + nal->length;
        return next == end() || StartsHere(next) || (in_.gap_bytes > 0 && AfterGap(next));
    }

    bool SyncPictureAt(std::uint64_t at) const {
        const auto nal = ReadNal(bytes_, in_, at);
        return nal && nal->header.slice && nal->header.sync && nal->header.first_slice;
    }

    // The first start past a chunk of another track at `at`. A picture of
    // one NAL unit between such chunks is not found: what follows its unit
    // tells nothing, and random bytes pass for one far too often. In a
    // stream that delimits its pictures the next one begins with a
    // delimiter: sound bytes that pass for a slice right before it do not.
    std::optional<std::uint64_t> AfterGap(std::uint64_t at) const {
        for (std::uint64_t p = at + 1; p < GapEnd(at); ++p) {
            const auto nal = ReadNal(bytes_, in_, p);
            if (Delimited() && (!nal || !nal->header.delimiter)) continue;
            // With the stream's parameter sets a picture's own header tells.
            if (in_.slices && nal && nal->header.slice && nal->header.first_slice) {
                if (SliceFits(p, *nal)) return p;
                continue;
            }
            if (StartsHere(p)) return p;
            // Skipping what may be such a picture would leave a hole the
            // pictures after it refer across.
            if (nal && nal->header.slice && nal->header.first_slice) return std::nullopt;
        }
        return std::nullopt;
    }

    // The first slice at `at` reads by the stream's sets and, in H.264,
    // carries the frame number the last reference picture leads to.
    bool SliceFits(std::uint64_t at, const Nal& nal) const {
        const auto numbers = SliceAt(at, nal);
        return numbers && (!last_reference_ || in_.slices->follows(*last_reference_, *numbers));
    }

    std::optional<SliceNumbers> SliceAt(std::uint64_t at, const Nal& nal) const {
        std::vector<std::uint8_t> unit(std::min<std::size_t>(nal.length, kSliceHeaderBytes));
        if (!bytes_.read(at + in_.format.length_size, unit)) return std::nullopt;
        return in_.slices->read(ByteView(unit));
    }

    std::uint64_t GapEnd(std::uint64_t at) const {
        return at + std::min(in_.gap_bytes, end() - at);
    }

    // A split file goes on elsewhere where the walk stopped at `at`.
    bool GoesOnElsewhere(std::uint64_t at) {
        if (!in_.continuation || at == continued_at_) return false;
        continued_at_ = at;
        return in_.continuation->Continue(sure_to_, at, [&] { return UnitsFollow(at); });
    }

    // kSureContinuationUnits units or sound chunks from `at` on, or fewer up
    // to the end of the media data.
    bool UnitsFollow(std::uint64_t at) const {
        for (int k = 0; k < kSureContinuationUnits && at != end(); ++k) {
            if (const auto nal = ReadNal(bytes_, in_, at))
                at += in_.format.length_size + std::uint64_t{nal->length};
            else if (const auto chunk = SoundChunkAt(at))
                at += *chunk;
            else
                return false;
        }
        return true;
    }

    MediaWalk Run(std::uint64_t start) {
        walk_.start = walk_.end = start;
        sure_to_ = start;
        std::uint64_t p = start;
        while (p < end()) {
            if (const auto nal = ReadNal(bytes_, in_, p)) {
                Add(*nal, p);
                p += in_.format.length_size + std::uint64_t{nal->length};
            } else if (const auto chunk = SoundChunkAt(p)) {
                Close();
                walk_.sound_chunks.push_back({p, *chunk});
                p += *chunk;  // not 0: SoundChunkAt said so
                walk_.end = p;
                sure_to_ = p;
            } else if (const auto next = AfterGap(p)) {
                Close();
                p = *next;
            } else if (GoesOnElsewhere(p)) {
                continue;
            } else {
                // Bytes that stop making sense may have cut the unit under
                // way; where they end (an mdat to the end of the file) or a
                // left-out chunk ends the media data, it is whole.
                const bool left_out_last =
                    in_.gap_bytes > 0 && end() - p <= in_.gap_bytes && Readable(bytes_, end() - 1);
                if (!Readable(bytes_, p) || left_out_last) Close();
                break;
            }
        }
        if (p == end()) Close();
        // Pictures before the first one decoding can start at cannot be shown.
        const auto sync = std::find_if(walk_.video.begin(), walk_.video.end(),
                                       [](const WalkedSample& s) { return s.sync; });
        if (sync != walk_.video.end()) walk_.video.erase(walk_.video.begin(), sync);
        walk_.reached_end = walk_.end == in_.media_end;
        return std::move(walk_);
    }

  private:
    std::uint64_t end() const { return in_.media_end; }

    // Whether the last picture, taken or under way, began with a delimiter.
    bool Delimited() const { return unit_ && has_slice_ ? unit_delimited_ : delimited_; }

    void Add(const Nal& nal, std::uint64_t at) {
        const NalHeader& h = nal.header;
        if (unit_ && (h.delimiter || (has_slice_ && BeginsAccessUnit(h)))) Close();
        if (!unit_) {
            unit_ = WalkedSample{at, 0, false};
            unit_delimited_ = h.delimiter;
        }
        unit_->size += in_.format.length_size + std::uint64_t{nal.length};
        sure_to_ = at + in_.format.least_unit_bytes();
        has_slice_ = has_slice_ || h.slice;
        if (in_.slices && h.slice && h.first_slice)
            if (const auto numbers = SliceAt(at, nal); numbers && numbers->reference)
                last_reference_ = numbers;
        unit_->sync = unit_->sync || h.sync;
        if (h.vps) Remember(at, nal.length, walk_.vps);
        if (h.sps) Remember(at, nal.length, walk_.sps);
        if (h.pps) Remember(at, nal.length, walk_.pps);
    }

    // A unit without a slice is no picture and not kept.
    void Close() {
        if (unit_ && has_slice_) {
            walk_.video.push_back(*unit_);
            walk_.end = unit_->offset + unit_->size;
            delimited_ = unit_delimited_;
        }
        unit_.reset();
        has_slice_ = false;
    }

    void Remember(std::uint64_t at, std::uint32_t length,
                  std::vector<std::vector<std::uint8_t>>& sets) const {
        if (length > kMostParameterSetBytes || sets.size() >= kMostParameterSets) return;
        std::vector<std::uint8_t> set(length);
        if (!bytes_.read(at + in_.format.length_size, set)) return;
        if (std::find(sets.begin(), sets.end(), set) == sets.end()) sets.push_back(std::move(set));
    }

    const MediaBytes& bytes_;
    const MediaWalkInput& in_;
    MediaWalk walk_;
    std::optional<WalkedSample> unit_;
    bool has_slice_ = false;
    bool unit_delimited_ = false;  // the unit under way began with a delimiter
    bool delimited_ = false;       // the last picture taken did
    std::uint64_t sure_to_ = 0;    // bytes before it were read as they should be
    std::uint64_t continued_at_ = UINT64_MAX;
    std::optional<SliceNumbers> last_reference_;  // with slices: the last reference picture's
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
