#include "scan/sector_scan.hpp"

#include <algorithm>
#include <cstring>

#include "common/decimal.hpp"
#include "scan/head_sector.hpp"
#include "scan/header_analysis.hpp"
#include "scan/movie_atom_search.hpp"
#include "scan/scan_resume.hpp"
#include "scan/start_region.hpp"

namespace tav {

namespace {
// 512 KiB: large enough that system calls cost little, small enough that the
// block is still in the cache when it is searched.
constexpr std::int64_t kBlockSteps = 8;
}  // namespace

StagedFragmentRow StageCandidate(const Candidate& c) {
    StagedFragmentRow row;
    row.start_type = c.head ? "HEAD" : "moov";
    row.start_offset = dec(c.start);
    row.end_type = c.head ? "mdat" : c.header.EndType;
    row.end_offset = dec(c.end - 1);
    row.length_sectors = dec(c.end / kSectorBytes - c.start / kSectorBytes - 1);
    if (c.head) {
        row.shoot_date = c.shoot_date;
        row.own_length = c.own_length;
    }
    row.stsz_off = dec(c.header.StszOffset);
    row.stco_off = dec(c.header.StcoOffset);
    row.order = c.head ? "1" : "0";
    return row;
}

SectorScan::SectorScan(const SectorScanSetup& setup, const SourceReader& source,
                       const ScanSettings& settings, TableWriter& tables, WorkerReporter& reporter,
                       const StopFlag& stop, ScanGauge& gauge)
    : setup_(setup),
      g_(setup.geometry),
      source_(source),
      reader_(source),
      settings_(settings),
      tables_(tables),
      reporter_(reporter),
      stop_(stop),
      gauge_(gauge),
      block_(kBlockSteps * kStepBytes + (kReadBytes - kStepBytes)),
      testable_(kStepSectors, true),
      w_(setup.start_w) {
    if (g_.filtering) tracker_.emplace(source_, setup_.region, setup_.disk, g_, &reporter_);
    movie_hits_.reserve(64);
    if (setup_.resume) restore(*setup_.resume);
    resumable_ = state();
}

void SectorScan::restore(const SweepState& s) {
    phase_ = s.phase;
    w_ = s.w;
    resume_index_ = s.resume_index;
    starts_from_ = s.starts_from;
    fragment_count_ = s.fragment_count;
    video_count_ = s.video_count;
    gauge_.restore(s.gauge);
    reader_.restore(s.reader);
    if (phase_ != Phase::Again) return;
    again_ = s.again;
    if (again_.empty()) {
        phase_ = Phase::Done;
        return;
    }
    const std::optional<std::int64_t> resume_index = resume_index_;
    begin_again(again_.front());
    w_ = s.w;
    resume_index_ = resume_index;
    starts_from_ = s.starts_from;
}

SweepState SectorScan::state() const {
    SweepState s;
    s.phase = phase_;
    s.w = w_;
    s.resume_index = resume_index_;
    s.starts_from = starts_from_;
    s.fragment_count = fragment_count_;
    s.video_count = video_count_;
    s.gauge = gauge_.accumulated();
    s.reader = reader_.memory();
    if (phase_ == Phase::Again)
        s.again.assign(again_.begin() + static_cast<std::ptrdiff_t>(again_next_), again_.end());
    return s;
}

bool SectorScan::run() {
    if (video_count_ > 0) reporter_.videos_found(video_count_);
    if (phase_ == Phase::Sweep) {
        if (!pass(g_.range_end)) return false;
        if (stopped_ || source_gone_) return true;
        mark_resumable();
        again_ = reader_.revisit_passed_over();
        if (source_.gone()) {
            lose_source();
            return true;
        }
        phase_ = Phase::Again;
        again_next_ = 0;
        if (!again_.empty()) begin_again(again_.front());
    }
    while (phase_ == Phase::Again && again_next_ < again_.size()) {
        const bool ok = pass(std::min(limit_->second, g_.range_end));
        if (!ok) return false;
        if (stopped_ || source_gone_) return true;
        if (++again_next_ < again_.size()) begin_again(again_[again_next_]);
    }
    limit_.reset();
    phase_ = Phase::Done;
    mark_resumable();
    if (setup_.checkpoints) setup_.checkpoints->hold(resumable_);
    return true;
}

// The loop can be taken up again at the start of a read block: the block a
// resumed scan reads first is then the one this scan reads next.
bool SectorScan::at_block_start() const {
    const std::int64_t block_sectors = kBlockSteps * kStepSectors;
    return block_w_ < 0 || w_ < block_w_ || w_ + kStepSectors > block_w_ + block_sectors;
}

void SectorScan::mark_resumable() {
    resumable_ = state();
    if (setup_.checkpoints) setup_.checkpoints->resumable(resumable_, found_since_resumable_);
    found_since_resumable_ = false;
}

// Reads since the last resumable place may have met the medium already
// gone: what they found or failed to find is not kept.
void SectorScan::lose_source() {
    source_gone_ = true;
    tables_.truncate_fragments(static_cast<std::size_t>(resumable_.fragment_count));
    fragment_count_ = resumable_.fragment_count;
    video_count_ = resumable_.video_count;
    reporter_.videos_found(video_count_);
    reader_.restore(resumable_.reader);
    if (setup_.checkpoints) setup_.checkpoints->hold(resumable_);
}

// The main loop over [base + w, end_sector). False on a use window that
// cannot be loaded.
bool SectorScan::pass(std::int64_t end_sector) {
    while (g_.base + w_ < end_sector) {
        if (at_block_start()) mark_resumable();
        if (!limit_) reporter_.gauge_position(gauge_.position(w_));
        if (stop_.load(std::memory_order_relaxed) != 0) {
            reporter_.status_text(0, "停止扫描");
            stopped_ = true;
            if (setup_.checkpoints) setup_.checkpoints->hold(resumable_);
            break;
        }
        if (!mark_testable_sectors()) {
            if (source_.gone()) {
                lose_source();
                return true;
            }
            reporter_.message_box(WindowLoadFailureMessage(setup_.disk));
            return false;
        }
        const std::int64_t before = w_;
        if (scan_read() == ReadOutcome::Done) w_ += kStepSectors;
        if (source_.gone()) {
            lose_source();
            return true;
        }
        if (!limit_) gauge_.advance(w_ - before);
    }
    return true;
}

// Looks at the sectors of an area once more, now that it could be read.
void SectorScan::begin_again(const ByteRange& area) {
    const std::int64_t first = area.offset / kSectorBytes;
    const std::int64_t last = (area.end() + kSectorBytes - 1) / kSectorBytes;
    limit_.emplace(first, last);
    // A block holds only the sectors its pass looked at.
    block_w_ = -1;
    w_ = first - g_.base;
    resume_index_.reset();
    starts_from_ = 0;
}

// Whether an absolute sector is looked at: inside the range (and the area
// being scanned again) and, when filtering, in a free cluster. Nothing when
// the use window it needs cannot be loaded. run_end: the sector before which
// the answer stays the same (the end of the run of clusters in the same use,
// looked for up to horizon, of the range or of the area).
std::optional<bool> SectorScan::testable(std::int64_t sector, std::int64_t horizon,
                                         std::int64_t& run_end) {
    run_end = sector + 1;
    if (sector >= g_.range_end) return false;
    if (limit_ && sector < limit_->first) {
        run_end = limit_->first;
        return false;
    }
    if (limit_ && sector >= limit_->second) return false;
    std::int64_t end = limit_ ? std::min(g_.range_end, limit_->second) : g_.range_end;
    if (!g_.filtering || !tracker_) {
        run_end = end;
        return true;
    }
    const std::int64_t cluster = g_.cluster_of_sector(sector);
    if (!tracker_->ensure(cluster)) return std::nullopt;
    // Below the base a cluster number does not name whole clusters.
    if (sector >= g_.base) {
        const std::int64_t last = g_.cluster_of_sector(std::max(sector, horizon - 1));
        const std::int64_t same_until = tracker_->same_use_until(cluster, last + 1);
        run_end = std::min(end, g_.base + same_until * g_.cluster_sectors);
    }
    return !tracker_->in_use(cluster);
}

// Decides for every sector of the next read whether it is looked at, loading
// the use windows it needs. False when one cannot be loaded.
bool SectorScan::mark_testable_sectors() {
    const std::int64_t first = g_.base + w_;
    for (std::int64_t i = 0; i < kStepSectors;) {
        std::int64_t run_end = 0;
        const std::optional<bool> t = testable(first + i, first + kStepSectors, run_end);
        if (!t) return false;
        const std::int64_t stop = std::min(kStepSectors, run_end - first);
        std::fill(testable_.begin() + i, testable_.begin() + stop, *t);
        i = stop;
    }
    return true;
}

// The 66048 bytes at (B + w) x 512, as one read of them would give: zeros
// where nothing could be read. Taken from the current block when it holds
// them, else from a new block read at w.
void SectorScan::read_step() {
    const std::int64_t block_sectors = kBlockSteps * kStepSectors;
    if (block_w_ < 0 || w_ < block_w_ || w_ + kStepSectors > block_w_ + block_sectors) {
        read_block();
        block_w_ = w_;
    }
    step_ = ByteView(block_.data(), block_.size())
                .sub(static_cast<std::size_t>((w_ - block_w_) * kSectorBytes), kReadBytes);
}

// The block at w. The plain deep scan reads all of it at once; a scan that
// looks at some sectors only (free clusters, an area scanned again) reads
// just the runs of sectors it looks at, each with one sector after it for
// tags that straddle, so used clusters cost no reading. The rest is zeros.
void SectorScan::read_block() {
    const std::int64_t first = g_.base + w_;
    if (!g_.filtering && !limit_) {
        reader_.read(first * kSectorBytes, block_.span());
        return;
    }
    const auto sectors = static_cast<std::int64_t>(block_.size()) / kSectorBytes;
    std::int64_t filled = 0;  // sectors of the block read or zeroed so far
    const auto fill = [&](std::int64_t from, std::int64_t to, bool read) {
        const auto at = static_cast<std::size_t>(from * kSectorBytes);
        const auto bytes = static_cast<std::size_t>((to - from) * kSectorBytes);
        if (read)
            reader_.read((first + from) * kSectorBytes, block_.span().subspan(at, bytes));
        else
            std::memset(block_.data() + at, 0, bytes);
        filled = to;
    };
    // A use window that cannot be loaded counts as looked at: the step that
    // needs it ends the scan anyway.
    const auto looked_at = [&](std::int64_t k, std::int64_t& run_end) {
        std::int64_t end = 0;
        const bool look = testable(first + k, first + sectors, end).value_or(true);
        run_end = std::min(sectors, end - first);
        return look;
    };
    std::int64_t k = 0;
    while (k < sectors) {
        std::int64_t run_end = 0;
        if (!looked_at(k, run_end)) {
            k = run_end;
            continue;
        }
        std::int64_t next_end = 0;
        while (run_end < sectors && looked_at(run_end, next_end)) run_end = next_end;
        if (k > filled) fill(filled, k, false);
        fill(k, std::min(run_end + 1, sectors), true);
        k = filled;
    }
    if (filled < sectors) fill(filled, sectors, false);
}

SectorScan::ReadOutcome SectorScan::scan_read() {
    std::int64_t i = resume_index_.value_or(0);
    resume_index_.reset();
    // A read whose sectors all belong to clusters in use is not even read.
    if (std::none_of(testable_.begin() + i, testable_.end(), [](bool t) { return t; }))
        return ReadOutcome::Done;
    read_step();
    movie_hits_.clear();
    if (!ScansVideos(settings_)) return ReadOutcome::Done;
    FindMovieAtoms(step_, kStepBytes, movie_hits_);
    // Nearly every step holds neither a movie atom nor a start region: its
    // sectors need no look one by one.
    if (movie_hits_.empty() && !may_hold_head_sector(i)) return ReadOutcome::Done;

    while (i < kStepSectors && g_.base + w_ + i < g_.range_end) {
        if (!testable_[static_cast<std::size_t>(i)]) {
            ++i;
            continue;
        }
        const std::optional<Candidate> c = test_sector(i);
        if (!c) {
            ++i;
            continue;
        }
        if (c->end != c->start && c->end - c->start > 512) record(*c);
        // A file that carries its header first: the header's row comes right
        // after the start's, and the scan goes on behind both.
        const std::int64_t end = c->inner_moov ? record_inner_moov(*c) : c->end;
        const ResumeDecision d = DecideResume(resume_geometry(*c, end), {c->start, end, w_, i});
        switch (d.kind) {
            case ResumeDecision::NextSector:
                ++i;
                break;
            case ResumeDecision::ContinueAt:
                i = d.index;
                break;
            case ResumeDecision::NextRead:
                i = kStepSectors;
                break;
            case ResumeDecision::Jump:
                w_ = d.w;
                resume_index_ = d.index;
                return ReadOutcome::Jumped;
        }
    }
    return ReadOutcome::Done;
}

// On a file system no other file starts in the rest of a start region's
// cluster, but a short clip's header may lie there: after a start region
// the loop goes on sector by sector and tests only for headers until the
// next cluster start.
ScanGeometry SectorScan::resume_geometry(const Candidate& c, std::int64_t end) {
    if (g_.raw || !c.head || c.inner_moov) return g_;
    starts_from_ = g_.base + ResumeSector(g_, end);
    ScanGeometry by_sector = g_;
    by_sector.raw = true;
    return by_sector;
}

bool SectorScan::may_hold_head_sector(std::int64_t from) const {
    for (std::int64_t i = from; i < kStepSectors; ++i)
        if (std::memcmp(step_.data() + i * kSectorBytes + 4, "ftyp", 4) == 0) return true;
    return false;
}

std::optional<Candidate> SectorScan::test_sector(std::int64_t i) {
    if (!ScansVideos(settings_)) return std::nullopt;
    const ByteView from_sector = step_.sub(static_cast<std::size_t>(i * kSectorBytes));
    if (g_.base + w_ + i < starts_from_) return test_moov(i);
    const bool any = ScansAnyVideo(settings_);
    if (IsHeadSectorStart(from_sector)) {
        // The maker's tags decide first, so tagged files stay as they were.
        if (auto c = test_head(i)) return c;
        if (!any) return std::nullopt;
    }
    if (any && from_sector.matches(4, "ftyp"))
        if (auto c = test_start(i)) return c;
    return test_moov(i);
}

std::optional<Candidate> SectorScan::test_head(std::int64_t i) {
    const ByteView from_sector = step_.sub(static_cast<std::size_t>(i * kSectorBytes));
    const std::optional<HeadSector> head = ParseHeadSector(from_sector);
    if (!head) return std::nullopt;
    if (settings_.LargeFileOnly && !head->mdat_size_64) return std::nullopt;
    Candidate c;
    c.head = true;
    c.start = (g_.base + w_ + i) * kSectorBytes;
    c.end = c.start + 4096;
    c.header.EndType = "mdat";
    c.shoot_date = head->date + " " + head->time;
    if (head->own_length) c.own_length = dec(*head->own_length);
    return c;
}

// Any camera's start: the atoms from the "ftyp" to the "mdat", read from
// the source where they reach past the buffer.
std::optional<Candidate> SectorScan::test_start(std::int64_t i) {
    const ByteView from_sector = step_.sub(static_cast<std::size_t>(i * kSectorBytes));
    if (!IsPlausibleFtyp(from_sector)) return std::nullopt;
    const std::int64_t start = (g_.base + w_ + i) * kSectorBytes;
    const auto more = [&](std::uint64_t offset, std::span<std::uint8_t> buf) {
        return offset < static_cast<std::uint64_t>(INT64_MAX - start) &&
               source_.read_at(start + static_cast<std::int64_t>(offset), buf).clean();
    };
    const auto region = ParseStartRegion(from_sector, more);
    if (!region) return std::nullopt;
    if (settings_.LargeFileOnly && !region->mdat_size_64) return std::nullopt;
    Candidate c;
    c.head = true;
    c.start = start;
    c.end = c.start + 4096;
    c.header.EndType = "mdat";
    if (region->mdat_end && *region->mdat_end <= static_cast<std::uint64_t>(INT64_MAX))
        c.own_length = dec(static_cast<std::int64_t>(*region->mdat_end));
    if (region->moov_at) c.inner_moov = start + static_cast<std::int64_t>(*region->moov_at);
    return c;
}

// Records the header of a file that starts with it; answers where the scan
// goes on: behind the header, or behind the start region when the header
// ends before it.
std::int64_t SectorScan::record_inner_moov(const Candidate& head) {
    const std::optional<Candidate> m = movie_candidate(*head.inner_moov);
    if (!m) return head.end;
    if (m->end - m->start > 512) record(*m);
    return std::max(head.end, m->end);
}

std::optional<Candidate> SectorScan::test_moov(std::int64_t i) {
    const auto first = static_cast<std::uint32_t>(i * kSectorBytes);
    const auto hit = std::lower_bound(movie_hits_.begin(), movie_hits_.end(), first);
    if (hit == movie_hits_.end() || *hit >= first + kSectorBytes) return std::nullopt;
    return movie_candidate((g_.base + w_) * kSectorBytes + *hit - 4);
}

std::optional<Candidate> SectorScan::movie_candidate(std::int64_t start) {
    Candidate c;
    c.start = start;
    if (c.start < 0) return std::nullopt;
    HeaderRequest request;
    request.header_start = c.start;
    request.check_free_space = g_.filtering;
    request.large_file_only = settings_.LargeFileOnly;
    c.header = AnalyzeHeader(source_, setup_.disk, g_, setup_.region, request, reporter_);
    if (c.header.EndType.empty()) return std::nullopt;
    c.end = c.header.EndOffset;
    return c;
}

void SectorScan::record(const Candidate& c) {
    ++fragment_count_;
    Candidate on_source = c;
    const std::int64_t shift = setup_.volume_offset;
    on_source.start += shift;
    on_source.end += shift;
    if (on_source.header.StszOffset != 0) on_source.header.StszOffset += shift;
    if (on_source.header.StcoOffset != 0) on_source.header.StcoOffset += shift;
    tables_.add_fragment(fragment_count_, StageCandidate(on_source));
    if (c.head) {
        reporter_.videos_found(++video_count_);
        found_since_resumable_ = true;
    }
    reporter_.status_text(2, "发现Canon视频碎片数量:" + dec(fragment_count_));
}

}  // namespace tav
