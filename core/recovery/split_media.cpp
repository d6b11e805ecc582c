#include "recovery/split_media.hpp"

#include <algorithm>

namespace tav {

namespace {

constexpr std::size_t kMostPieces = 1024;

std::int64_t FloorMod(std::int64_t a, std::int64_t m) {
    const std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

std::int64_t BaseOf(const MediaPiece& p) {
    return p.source_offset - static_cast<std::int64_t>(p.file_offset);
}

// Inside a NAL unit the stream never holds 00 00 00, 00 00 01 or 00 00 02:
// a foreign cluster's bytes often do.
bool HasStartCode(const std::vector<std::uint8_t>& v) {
    for (std::size_t k = 0; k + 2 < v.size(); ++k)
        if (v[k] == 0 && v[k + 1] == 0 && v[k + 2] <= 2) return true;
    return false;
}

}  // namespace

PiecedFile::PiecedFile(const MediaBytes& source, std::int64_t head, const FollowSetup* setup)
    : source_(source), setup_(setup), pieces_{{0, head}} {}

std::int64_t PiecedFile::ToSource(std::uint64_t file_offset) const {
    auto it =
        std::upper_bound(pieces_.begin(), pieces_.end(), file_offset,
                         [](std::uint64_t f, const MediaPiece& p) { return f < p.file_offset; });
    --it;  // the first piece starts at 0
    return it->source_offset + static_cast<std::int64_t>(file_offset - it->file_offset);
}

bool PiecedFile::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t f = offset + done;
        if (f < offset) return false;
        const auto next = std::upper_bound(
            pieces_.begin(), pieces_.end(), f,
            [](std::uint64_t v, const MediaPiece& p) { return v < p.file_offset; });
        std::size_t take = out.size() - done;
        if (next != pieces_.end())
            take = static_cast<std::size_t>(std::min<std::uint64_t>(take, next->file_offset - f));
        const std::int64_t at = ToSource(f);
        if (at < 0 || !source_.read(static_cast<std::uint64_t>(at), out.subspan(done, take)))
            return false;
        done += take;
    }
    return true;
}

std::int64_t PiecedFile::ClusterOf(std::int64_t source) const {
    return source - FloorMod(source - setup_->grid_origin, setup_->cluster_bytes);
}

bool PiecedFile::Usable(std::int64_t source) const {
    if (source < setup_->area_begin || source >= setup_->area_end) return false;
    return !setup_->usable || setup_->usable(ClusterOf(source));
}

// File offsets where the last piece may end: its cluster boundaries after
// sure_to, up to stop.
std::vector<std::uint64_t> PiecedFile::Boundaries(std::uint64_t sure_to, std::uint64_t stop) const {
    const MediaPiece& last = pieces_.back();
    const std::int64_t base = BaseOf(last);
    const std::int64_t c = setup_->cluster_bytes;
    const std::uint64_t after = std::max(sure_to, last.file_offset + 1);
    const std::int64_t x = base + static_cast<std::int64_t>(after);
    std::vector<std::uint64_t> out;
    for (std::int64_t g = x + FloorMod(setup_->grid_origin - x, c) - base;
         g <= static_cast<std::int64_t>(stop); g += c)
        out.push_back(static_cast<std::uint64_t>(g));
    return out;
}

// A piece from file offset `from` at base + from: on a usable cluster, not
// where a piece already taken lies.
bool PiecedFile::WorthTrying(std::int64_t base, std::uint64_t from) const {
    const std::int64_t start = base + static_cast<std::int64_t>(from);
    if (!Usable(start)) return false;
    for (std::size_t k = 0; k < pieces_.size(); ++k) {
        if (BaseOf(pieces_[k]) == base) return false;
        const std::uint64_t end = k + 1 < pieces_.size() ? pieces_[k + 1].file_offset : from;
        const std::int64_t lo = pieces_[k].source_offset;
        if (start >= lo && start < lo + static_cast<std::int64_t>(end - pieces_[k].file_offset))
            return false;
    }
    return true;
}

int PiecedFile::Doubts(std::int64_t base, std::uint64_t from, std::uint64_t to) const {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(to - from));
    const std::int64_t at = base + static_cast<std::int64_t>(from);
    if (at < 0 || !source_.read(static_cast<std::uint64_t>(at), bytes)) return 1;
    return HasStartCode(bytes) ? 1 : 0;
}

// Where between the boundaries the old piece ends: the split whose bytes
// raise the fewest doubts; on a tie the old piece runs as far as it can.
std::uint64_t PiecedFile::ChooseBoundary(const std::vector<std::uint64_t>& boundaries,
                                         std::uint64_t stop, std::int64_t old_base,
                                         std::int64_t base) const {
    std::vector<int> old_doubts, new_doubts;
    for (std::size_t k = 0; k < boundaries.size(); ++k) {
        const std::uint64_t to = k + 1 < boundaries.size() ? boundaries[k + 1] : stop;
        old_doubts.push_back(Doubts(old_base, boundaries[k], to));
        new_doubts.push_back(Doubts(base, boundaries[k], to));
    }
    return boundaries[FewestDoubtsSplit(old_doubts, new_doubts)];
}

bool PiecedFile::Continue(std::uint64_t sure_to, std::uint64_t stop,
                          const std::function<bool()>& fits) {
    if (!setup_ || setup_->cluster_bytes <= 0 || pieces_.size() >= kMostPieces) return false;
    const auto boundaries = Boundaries(sure_to, stop);
    if (boundaries.empty()) return false;
    const std::int64_t old_base = BaseOf(pieces_.back());
    const std::int64_t c = setup_->cluster_bytes;
    const auto p = static_cast<std::int64_t>(stop);
    // Both pieces start on the grid: the new base keeps the old one's residue.
    const std::int64_t residue = FloorMod(old_base + p - setup_->grid_origin, c);
    const std::int64_t from = std::clamp(old_base + p + c, setup_->area_begin, setup_->area_end);
    const auto scan = [&](std::int64_t lo, std::int64_t hi) {
        for (std::int64_t x = lo + FloorMod(setup_->grid_origin + residue - lo, c); x < hi;
             x += c) {
            const std::int64_t base = x - p;
            if (!WorthTrying(base, boundaries.back())) continue;
            pieces_.push_back(
                {boundaries.back(), base + static_cast<std::int64_t>(boundaries.back())});
            const bool found = fits();
            pieces_.pop_back();
            if (!found) continue;
            std::vector<std::uint64_t> starts;
            for (const std::uint64_t b : boundaries)
                if (WorthTrying(base, b)) starts.push_back(b);
            const std::uint64_t at = ChooseBoundary(starts, stop, old_base, base);
            pieces_.push_back({at, base + static_cast<std::int64_t>(at)});
            return true;
        }
        return false;
    };
    return scan(from, setup_->area_end) || scan(setup_->area_begin, from);
}

}  // namespace tav
