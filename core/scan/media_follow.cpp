#include "scan/media_follow.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

#include "codec/nal_sample.hpp"

namespace tav {

namespace {

// Checks in a row that make a continuation certain: a foreign file passes
// one NAL length by chance, not sixteen that add up to the samples' sizes.
constexpr int kSureChecks = 16;
// Checks in a row counted when a continuation elsewhere competes with the
// bytes in place: the more that check wins, a tie keeps the bytes in place.
constexpr int kCompareChecks = 16 * kSureChecks;
// Samples after a blank stretch tried in place before the medium is searched.
constexpr std::size_t kResyncTries = 8;
constexpr std::size_t kEveryTry = SIZE_MAX;
constexpr std::size_t kUnitBytes = 8;  // holds the longest length field and header
constexpr std::size_t kMostPieces = 1024;
// Cluster boundaries tried as the end of a piece before one failed check.
constexpr std::size_t kMostGaps = 4096;
constexpr std::int64_t kPageBytes = 64 << 10;
constexpr std::int64_t kSearchBlock = 1 << 20;
constexpr std::uint64_t kHeadSectorBytes = 512;

std::int64_t FloorMod(std::int64_t a, std::int64_t m) {
    const std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// A few pages of the source, for the scattered small reads of the checks.
class PagedSource {
  public:
    explicit PagedSource(const ReadSource& read) : read_(read) {}

    // False when a page the bytes came from could not be read whole.
    bool get(std::int64_t offset, std::span<std::uint8_t> out) {
        bool clean = true;
        std::size_t k = 0;
        while (k < out.size()) {
            const std::int64_t at = offset + static_cast<std::int64_t>(k);
            if (at < 0) {
                // Before the medium's start: zeros, in one go.
                const std::size_t zeros = static_cast<std::size_t>(std::min<std::uint64_t>(
                    out.size() - k, static_cast<std::uint64_t>(-(at + 1)) + 1));
                std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(k), zeros, 0);
                k += zeros;
                continue;
            }
            const Page& p = page_for(at);
            clean = clean && p.clean;
            const auto from = static_cast<std::size_t>(at - p.start);
            const std::size_t take = std::min(out.size() - k, p.bytes.size() - from);
            std::copy_n(p.bytes.begin() + static_cast<std::ptrdiff_t>(from), take, out.begin() + k);
            k += take;
        }
        return clean;
    }

  private:
    struct Page {
        std::int64_t start = -1;
        std::vector<std::uint8_t> bytes;
        std::uint64_t used = 0;
        bool clean = true;
    };

    const Page& page_for(std::int64_t at) {
        const std::int64_t start = at / kPageBytes * kPageBytes;
        ++clock_;
        Page* oldest = &pages_[0];
        for (Page& p : pages_) {
            if (p.start == start) {
                p.used = clock_;
                return p;
            }
            if (p.used < oldest->used) oldest = &p;
        }
        oldest->start = start;
        oldest->used = clock_;
        oldest->bytes.assign(static_cast<std::size_t>(kPageBytes), 0);
        oldest->clean = read_(start, oldest->bytes);
        return *oldest;
    }

    const ReadSource& read_;
    std::array<Page, 4> pages_;
    std::uint64_t clock_ = 0;
};

using Pieces = std::vector<MediaPiece>;

std::int64_t ToSource(const Pieces& pieces, std::uint64_t file_offset) {
    auto it =
        std::upper_bound(pieces.begin(), pieces.end(), file_offset,
                         [](std::uint64_t f, const MediaPiece& p) { return f < p.file_offset; });
    --it;  // the first piece starts at 0
    return it->source_offset + static_cast<std::int64_t>(file_offset - it->file_offset);
}

// A check that passed: where it was, and what the walk knew before it.
struct Mark {
    std::size_t sample = 0;
    std::uint64_t at = 0;
    std::uint64_t sure_to = 0;
    std::uint64_t whole = 0;
};

// Short length fields fit foreign bytes often, and a foreign header passes
// about one check in five: so many of the last checks may have passed by
// chance past the piece's true end, and the search also tries from them.
constexpr std::size_t kMostRewinds = 3;

std::size_t RewindsOf(const NalFormat& nal) {
    return nal.length_size == 1 ? kMostRewinds : (nal.length_size == 2 ? 1 : 0);
}

// The next NAL length to check: in sample `sample`, at file offset `at`.
struct Walk {
    std::size_t sample = 0;
    std::uint64_t at = 0;
    std::uint64_t sure_to = 0;                // file bytes before this are the file's own
    int checks = 0;                           // checks passed so far
    std::uint64_t whole = 0;                  // samples whose every check passed
    bool unreadable = false;                  // the last check's bytes could not all be read
    std::array<Mark, kMostRewinds> recent{};  // the last checks that passed, latest first
    std::size_t recent_count = 0;
};

// Where a search for the file's next piece starts: the failed check, or one
// that may have passed by chance, with the piece's possible ends before it.
struct SearchStart {
    Walk walk;
    std::vector<std::uint64_t> gaps;
};

struct Continuation {
    std::int64_t base = 0;  // source offset of file offset 0
    std::size_t start = 0;  // the search start it continues
};

// Where the walk picks up again in place after a stretch that did not check.
struct InPlace {
    Walk walk;               // already past the checks that counted
    std::uint64_t from = 0;  // file offset of the first sample that checks again
};

class Follower {
  public:
    Follower(const ReadSource& read, const MediaMap& map, const FollowSetup& setup)
        : read_(read), pages_(read), map_(map), setup_(setup) {}

    // search: whether other places of the source may continue the file;
    // without, the bytes in place are only checked.
    FollowResult run(std::int64_t head, bool search);

  private:
    // The length of the unit whose length field is at file offset at, when
    // it fits in the sample ending at sample_end.
    std::optional<std::uint32_t> unit_at(const Pieces& pieces, std::uint64_t at,
                                         std::uint64_t sample_end, bool& unreadable);
    // Checks NAL units until one fails, the samples end, or `most` passed
    // (-1: no limit). True when nothing failed.
    bool advance(Walk& w, const Pieces& pieces, int most);
    bool sample_checks(std::size_t sample, const Pieces& pieces);
    std::uint64_t zeros_end(const Pieces& pieces, std::uint64_t from);
    std::optional<InPlace> resync_in_place(const Walk& w, const Pieces& pieces, std::size_t tries);
    int checks_there(const Walk& w, const Pieces& pieces, std::uint64_t gap, std::int64_t base);
    bool in_place_checks_more(std::size_t from, std::uint64_t followed, std::int64_t head);
    bool read_file(const Pieces& pieces, std::uint64_t file_offset, std::span<std::uint8_t> out);
    std::vector<std::uint64_t> gap_candidates(const Walk& w, const Pieces& pieces) const;
    std::vector<SearchStart> search_starts(const Walk& w, const Pieces& pieces) const;
    std::optional<Continuation> find_continuation(const std::vector<SearchStart>& starts,
                                                  const Pieces& pieces);
    bool worth_trying(std::int64_t base, const Pieces& pieces,
                      const std::vector<std::uint64_t>& gaps) const;
    std::uint64_t choose_gap(const Walk& w, const Pieces& pieces,
                             const std::vector<std::uint64_t>& gaps, std::int64_t base);
    int implausible(std::int64_t source, std::uint64_t file_from, std::uint64_t file_to);
    bool usable(std::int64_t source) const;
    std::int64_t cluster_of(std::int64_t source) const {
        return source - FloorMod(source - setup_.grid_origin, setup_.cluster_bytes);
    }
    Walk start() const {
        Walk w;
        w.at = map_.video.front().offset;
        // Only the head's own sector is known to be the file's: a piece may
        // end inside the camera's tag block, before the first sample.
        w.sure_to = std::min<std::uint64_t>(w.at, kHeadSectorBytes);
        return w;
    }

    const ReadSource& read_;
    PagedSource pages_;
    const MediaMap& map_;
    const FollowSetup& setup_;
    const std::size_t rewinds_ = RewindsOf(map_.nal);
};

bool Follower::read_file(const Pieces& pieces, std::uint64_t file_offset,
                         std::span<std::uint8_t> out) {
    bool clean = true;
    std::size_t k = 0;
    while (k < out.size()) {
        const std::uint64_t f = file_offset + k;
        auto next = std::upper_bound(
            pieces.begin(), pieces.end(), f,
            [](std::uint64_t v, const MediaPiece& p) { return v < p.file_offset; });
        std::size_t take = out.size() - k;
        if (next != pieces.end()) take = std::min<std::uint64_t>(take, next->file_offset - f);
        clean = pages_.get(ToSource(pieces, f), out.subspan(k, take)) && clean;
        k += take;
    }
    return clean;
}

std::optional<std::uint32_t> Follower::unit_at(const Pieces& pieces, std::uint64_t at,
                                               std::uint64_t sample_end, bool& unreadable) {
    std::array<std::uint8_t, kUnitBytes> b{};
    const std::span<std::uint8_t> unit(b.data(), map_.nal.least_unit_bytes());
    unreadable = !read_file(pieces, at, unit);
    if (!NalUnitFits(ByteView(unit), sample_end - at, map_.nal)) return std::nullopt;
    return ReadNalLength(ByteView(unit), 0, map_.nal);
}

bool Follower::advance(Walk& w, const Pieces& pieces, int most) {
    int passed = 0;
    while (w.sample < map_.video.size()) {
        if (most >= 0 && passed >= most) return true;
        const FileSpan& s = map_.video[w.sample];
        const auto length = unit_at(pieces, w.at, s.end(), w.unreadable);
        if (!length) return false;
        if (rewinds_ > 0) {
            std::copy_backward(w.recent.begin(), w.recent.begin() + rewinds_ - 1,
                               w.recent.begin() + rewinds_);
            w.recent[0] = {w.sample, w.at, w.sure_to, w.whole};
            w.recent_count = std::min(w.recent_count + 1, rewinds_);
        }
        w.sure_to = std::max(w.sure_to, w.at + map_.nal.least_unit_bytes());
        w.at += map_.nal.length_size + std::uint64_t{*length};
        ++passed;
        ++w.checks;
        if (w.at == s.end()) {
            ++w.whole;
            if (++w.sample < map_.video.size()) w.at = map_.video[w.sample].offset;
        }
    }
    return true;
}

bool Follower::sample_checks(std::size_t sample, const Pieces& pieces) {
    const FileSpan& s = map_.video[sample];
    bool unreadable = false;
    for (std::uint64_t at = s.offset; at < s.end();) {
        const auto length = unit_at(pieces, at, s.end(), unreadable);
        if (!length) return false;
        at += map_.nal.length_size + std::uint64_t{*length};
    }
    return true;
}

// The first file offset from `from` on (at most the media's end) whose byte
// is not zero.
std::uint64_t Follower::zeros_end(const Pieces& pieces, std::uint64_t from) {
    std::array<std::uint8_t, 4096> b{};
    for (std::uint64_t at = from; at < map_.media_end; at += b.size()) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(b.size(), map_.media_end - at));
        read_file(pieces, at, std::span(b.data(), n));
        for (std::size_t k = 0; k < n; ++k)
            if (b[k] != 0) return at + k;
    }
    return std::max(from, map_.media_end);
}

// Blank sectors in the middle of a file are no sign of a split: after the
// zeros from the failed check on, the first of `tries` samples whose every
// check passes where the current piece puts it.
std::optional<InPlace> Follower::resync_in_place(const Walk& w, const Pieces& pieces,
                                                 std::size_t tries) {
    const std::uint64_t blank_end = zeros_end(pieces, w.at);
    auto it = std::lower_bound(map_.video.begin(), map_.video.end(), blank_end,
                               [](const FileSpan& s, std::uint64_t f) { return s.offset < f; });
    auto k = static_cast<std::size_t>(it - map_.video.begin());
    k = std::max(k, w.sample + 1);
    for (std::size_t tried = 0; k < map_.video.size() && tried < tries; ++k, ++tried) {
        Walk t = w;
        t.sample = k;
        t.at = map_.video[k].offset;
        t.sure_to = t.at;
        t.recent_count = 0;
        // A whole sample checks, or as many units as a comparison counts
        // (a frame in one-byte lengths holds hundreds).
        if (advance(t, pieces, kCompareChecks) || t.sample > k)
            return InPlace{t, map_.video[k].offset};
    }
    return std::nullopt;
}

// Checks in a row (up to kCompareChecks) from the failed one on when the file
// continues at base from gap on.
int Follower::checks_there(const Walk& w, const Pieces& pieces, std::uint64_t gap,
                           std::int64_t base) {
    Walk trial = w;
    Pieces tried = pieces;
    tried.push_back({gap, base + static_cast<std::int64_t>(gap)});
    advance(trial, tried, kCompareChecks);
    return trial.checks - w.checks;
}

// Whether the file copied in place from head would hold more samples that
// check, from sample `from` on, than the followed file's `followed`.
bool Follower::in_place_checks_more(std::size_t from, std::uint64_t followed, std::int64_t head) {
    const Pieces in_place{{0, head}};
    std::uint64_t count = 0;
    for (std::size_t k = from; k < map_.video.size(); ++k) {
        if (count + (map_.video.size() - k) <= followed) return false;
        count += sample_checks(k, in_place) ? 1 : 0;
    }
    return count > followed;
}

bool Follower::usable(std::int64_t source) const {
    if (source < setup_.area_begin || source >= setup_.area_end) return false;
    return !setup_.usable || setup_.usable(cluster_of(source));
}

// File offsets where the current piece may end: cluster boundaries on the
// source after the last byte known to be the file's and at or before the
// failed check (a gap inside the check's length and header is not followed).
std::vector<std::uint64_t> Follower::gap_candidates(const Walk& w, const Pieces& pieces) const {
    const MediaPiece& piece = pieces.back();
    const std::int64_t base = piece.source_offset - static_cast<std::int64_t>(piece.file_offset);
    const std::int64_t c = setup_.cluster_bytes;
    const std::uint64_t after = std::max(w.sure_to, piece.file_offset + 1);
    const std::int64_t x = base + static_cast<std::int64_t>(after);
    std::int64_t g = x + FloorMod(setup_.grid_origin - x, c) - base;
    // A damaged chunk offset or sample size can put the check far past the last good
    // byte; a real split lies among the first boundaries after it.
    std::vector<std::uint64_t> out;
    for (; g <= static_cast<std::int64_t>(w.at) && out.size() < kMostGaps; g += c)
        out.push_back(static_cast<std::uint64_t>(g));
    return out;
}

// A continuation at base (source offset of file offset 0) must begin on a
// usable cluster outside the pieces already taken.
bool Follower::worth_trying(std::int64_t base, const Pieces& pieces,
                            const std::vector<std::uint64_t>& gaps) const {
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::int64_t b =
            pieces[k].source_offset - static_cast<std::int64_t>(pieces[k].file_offset);
        if (b == base) return false;
    }
    const std::int64_t last_start = base + static_cast<std::int64_t>(gaps.back());
    if (!usable(last_start)) return false;
    for (std::size_t k = 0; k + 1 < pieces.size(); ++k) {
        const std::int64_t from = pieces[k].source_offset;
        const std::int64_t to =
            from + static_cast<std::int64_t>(pieces[k + 1].file_offset - pieces[k].file_offset);
        if (last_start >= from && last_start < to) return false;
    }
    return true;
}

std::vector<SearchStart> Follower::search_starts(const Walk& w, const Pieces& pieces) const {
    std::vector<SearchStart> out;
    out.push_back({w, gap_candidates(w, pieces)});
    for (std::size_t r = 0; r < w.recent_count; ++r) {
        Walk back = w;
        const Mark& m = w.recent[r];
        back.sample = m.sample;
        back.at = m.at;
        back.sure_to = m.sure_to;
        back.whole = m.whole;
        back.recent_count = 0;
        out.push_back({back, gap_candidates(back, pieces)});
    }
    std::erase_if(out, [](const SearchStart& s) { return s.gaps.empty(); });
    return out;
}

std::optional<Continuation> Follower::find_continuation(const std::vector<SearchStart>& starts,
                                                        const Pieces& pieces) {
    if (starts.empty()) return std::nullopt;
    const MediaPiece& piece = pieces.back();
    const std::int64_t base = piece.source_offset - static_cast<std::int64_t>(piece.file_offset);
    const std::int64_t c = setup_.cluster_bytes;
    const std::int64_t from =
        std::clamp(base + static_cast<std::int64_t>(starts.front().walk.at) + c, setup_.area_begin,
                   setup_.area_end);

    std::optional<Continuation> weak;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(kSearchBlock + 8));
    const auto scan = [&](std::int64_t lo, std::int64_t hi) -> std::optional<Continuation> {
        for (std::int64_t blk = lo; blk < hi; blk += kSearchBlock) {
            const std::int64_t blk_end = std::min(hi, blk + kSearchBlock);
            std::fill(block.begin(), block.end(), 0);
            read_(blk, block);
            for (std::size_t k = 0; k < starts.size(); ++k) {
                const Walk& w = starts[k].walk;
                const std::vector<std::uint64_t>& gaps = starts[k].gaps;
                const auto p = static_cast<std::int64_t>(w.at);
                const std::uint64_t remaining = map_.video[w.sample].end() - w.at;
                const std::int64_t residue = FloorMod(base + p - setup_.grid_origin, c);
                std::int64_t x = blk + FloorMod(setup_.grid_origin + residue - blk, c);
                for (; x < blk_end; x += c) {
                    const ByteView unit(block.data() + (x - blk), kUnitBytes);
                    if (!NalUnitFits(unit, remaining, map_.nal)) continue;
                    const std::int64_t candidate = x - p;
                    if (!worth_trying(candidate, pieces, gaps)) continue;
                    Walk trial = w;
                    Pieces tried = pieces;
                    tried.push_back(
                        {gaps.back(), candidate + static_cast<std::int64_t>(gaps.back())});
                    const int before = trial.checks;
                    const bool ok = advance(trial, tried, kSureChecks);
                    const int passed = trial.checks - before;
                    if (ok || passed >= kSureChecks) return Continuation{candidate, k};
                    // A short piece (the middle of three) checks only up to its
                    // own end: kept in case no sure continuation turns up.
                    const std::int64_t failed_at = candidate + static_cast<std::int64_t>(trial.at);
                    if (!weak && passed >= 2 && failed_at >= cluster_of(x) + c)
                        weak = Continuation{candidate, k};
                }
            }
        }
        return std::nullopt;
    };
    if (auto found = scan(from, setup_.area_end)) return found;
    if (auto found = scan(setup_.area_begin, from)) return found;
    return weak;
}

// How many kinds of doubt the file bytes [file_from, file_to) raise when read
// at source: payload of a video sample holding a start-code pattern (a NAL
// payload never does) or a long run of one byte, PCM that jumps like noise,
// a cluster the file system says is not free.
int Follower::implausible(std::int64_t source, std::uint64_t file_from, std::uint64_t file_to) {
    if (file_to <= file_from) return 0;
    int doubts = usable(source) ? 0 : 1000;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file_to - file_from));
    pages_.get(source, bytes);
    const auto covered = [&](const std::vector<FileSpan>& spans, auto&& judge) {
        auto it = std::upper_bound(spans.begin(), spans.end(), file_from,
                                   [](std::uint64_t f, const FileSpan& s) { return f < s.offset; });
        if (it != spans.begin()) --it;
        for (; it != spans.end() && it->offset < file_to; ++it) {
            const std::uint64_t a = std::max(it->offset, file_from);
            const std::uint64_t b = std::min(it->end(), file_to);
            if (a < b)
                doubts += judge(std::span<const std::uint8_t>(bytes).subspan(
                    static_cast<std::size_t>(a - file_from), static_cast<std::size_t>(b - a)));
        }
    };
    covered(map_.video, [](std::span<const std::uint8_t> v) {
        // Entropy-coded slice data neither repeats a byte for long.
        constexpr std::size_t kLongRun = 64;
        std::size_t run = 1;
        for (std::size_t k = 0; k < v.size(); ++k) {
            if (k + 2 < v.size() && v[k] == 0 && v[k + 1] == 0 && v[k + 2] <= 2) return 1;
            run = k > 0 && v[k] == v[k - 1] ? run + 1 : 1;
            if (run >= kLongRun) return 1;
        }
        return 0;
    });
    const std::size_t frame = map_.sound_frame_bytes;
    covered(map_.sound, [frame](std::span<const std::uint8_t> v) {
        if (frame == 0 || v.size() < 8 * frame) return 0;
        // Sound changes little from one frame to the next in its high-order
        // bytes; random bytes jump by about 85 on average in every byte.
        double calmest = 256;
        for (std::size_t lane = 0; lane < frame; ++lane) {
            std::uint64_t sum = 0, n = 0;
            for (std::size_t k = lane; k + frame < v.size(); k += frame, ++n)
                sum += static_cast<std::uint64_t>(std::abs(int{v[k]} - int{v[k + frame]}));
            if (n > 0)
                calmest = std::min(calmest, static_cast<double>(sum) / static_cast<double>(n));
        }
        return calmest > 48 ? 1 : 0;
    });
    return doubts;
}

// Where, between the last sure byte and the failed check, the old piece ends
// and the new one takes over: the split whose bytes raise the fewest doubts;
// on a tie the old piece runs as far as it can.
std::uint64_t Follower::choose_gap(const Walk& w, const Pieces& pieces,
                                   const std::vector<std::uint64_t>& gaps, std::int64_t base) {
    if (gaps.size() == 1) return gaps.front();
    const MediaPiece& piece = pieces.back();
    const std::int64_t old_base =
        piece.source_offset - static_cast<std::int64_t>(piece.file_offset);
    // Segment k lies between gaps[k] and gaps[k + 1], one cluster (the last
    // one up to the check, or a cluster when the gaps were cut short).
    const auto cluster = static_cast<std::uint64_t>(setup_.cluster_bytes);
    std::vector<int> old_doubts, new_doubts;
    for (std::size_t k = 0; k < gaps.size(); ++k) {
        const std::uint64_t a = gaps[k];
        const std::uint64_t b = std::min<std::uint64_t>(w.at, a + cluster);
        old_doubts.push_back(implausible(old_base + static_cast<std::int64_t>(a), a, b));
        new_doubts.push_back(implausible(base + static_cast<std::int64_t>(a), a, b));
    }
    return gaps[FewestDoubtsSplit(old_doubts, new_doubts)];
}

FollowResult Follower::run(std::int64_t head, bool search) {
    FollowResult result;
    if (map_.video.empty() || setup_.cluster_bytes <= 0) return result;
    Pieces pieces{{0, head}};
    Walk w = start();
    bool walked = advance(w, pieces, -1);
    if (search && !walked && !w.unreadable && setup_.known) {
        Pieces known = setup_.known(head);
        // The record also lists the movie header's clusters after the media.
        std::erase_if(known,
                      [this](const MediaPiece& p) { return p.file_offset >= map_.media_end; });
        Walk k = start();
        if (known.size() > 1 && known.front() == MediaPiece{0, head} && advance(k, known, -1))
            return {known, true, true, map_.media_end, {}};
    }
    std::size_t split_sample = 0;    // the sample the first split was found in
    std::uint64_t whole_before = 0;  // samples that checked before it
    while (!walked && pieces.size() < kMostPieces) {
        // Zeros from a failing sector are no sign of a split; searching
        // the medium again would only wear a dying card.
        const bool may_search = search && !w.unreadable;
        auto in_place = resync_in_place(w, pieces, may_search ? kResyncTries : kEveryTry);
        int in_place_checks = in_place ? in_place->walk.checks - w.checks : 0;
        std::optional<Continuation> found;
        std::vector<SearchStart> starts;
        int found_checks = 0;
        if (may_search && in_place_checks < kCompareChecks) {
            starts = search_starts(w, pieces);
            found = find_continuation(starts, pieces);
            if (found) {
                const SearchStart& s = starts[found->start];
                found_checks = checks_there(s.walk, pieces, s.gaps.back(), found->base);
            }
            if (!in_place && found_checks < kSureChecks) {
                in_place = resync_in_place(w, pieces, kEveryTry);
                in_place_checks = in_place ? in_place->walk.checks - w.checks : 0;
            }
        }
        if (found && found_checks > in_place_checks) {
            const SearchStart& s = starts[found->start];
            w = s.walk;
            if (pieces.size() == 1) split_sample = w.sample, whole_before = w.whole;
            pieces.push_back({choose_gap(w, pieces, s.gaps, found->base), 0});
            pieces.back().source_offset =
                found->base + static_cast<std::int64_t>(pieces.back().file_offset);
        } else if (in_place) {
            result.unchecked.push_back({w.sure_to, in_place->from - w.sure_to});
            w = in_place->walk;
        } else {
            break;
        }
        walked = advance(w, pieces, -1);
    }
    if (pieces.size() > 1 && in_place_checks_more(split_sample, w.whole - whole_before, head))
        return run(head, false);
    if (!walked && w.sure_to < map_.media_end)
        result.unchecked.push_back({w.sure_to, map_.media_end - w.sure_to});
    result.pieces = std::move(pieces);
    result.complete = walked && result.unchecked.empty();
    result.checkable = w.checks > 0;
    result.checked_to = walked ? map_.media_end : w.sure_to;
    return result;
}

}  // namespace

FollowResult FollowMedia(const ReadSource& read, std::int64_t head, const MediaMap& map,
                         const FollowSetup& setup) {
    return Follower(read, map, setup).run(head, true);
}

std::size_t FewestDoubtsSplit(const std::vector<int>& before, const std::vector<int>& after) {
    const std::size_t n = std::min(before.size(), after.size());
    // Split k takes segments below k from before, the rest from after: one
    // pass with running sums, as a damaged file may offer many splits.
    long long score = 0;
    for (std::size_t j = 0; j < n; ++j) score += after[j];
    std::size_t best = 0;
    long long best_score = score;
    for (std::size_t k = 1; k < n; ++k) {
        score += before[k - 1] - after[k - 1];
        if (score <= best_score) best = k, best_score = score;
    }
    return best;
}

}  // namespace tav
