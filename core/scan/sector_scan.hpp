#pragma once
// The first phase of a scan: reads the range in 64 KiB steps, records every
// sector that begins a camera file ("HEAD") and every movie atom ("moov") as
// a fragment row, and resumes behind each fragment.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "disk/free_space_map.hpp"
#include "platform/read_buffer.hpp"
#include "platform/source_reader.hpp"
#include "scan/atom_walk.hpp"
#include "scan/checkpoint_keeper.hpp"
#include "scan/scan_checkpoint.hpp"
#include "scan/scan_gauge.hpp"
#include "scan/scan_geometry.hpp"
#include "scan/scan_reader.hpp"
#include "scan/scan_settings.hpp"
#include "scan/table_writer.hpp"
#include "scan/use_window_tracker.hpp"

namespace tav {

struct SectorScanSetup {
    TDiskInfo disk;
    ScanGeometry geometry;
    std::int64_t start_w = 0;  // first read position, sectors from the base
    FreeSpaceRegion region;    // when filtering
    // The scan reads a partition's bytes from 0; its rows are recorded at
    // their offsets on the whole source.
    std::int64_t volume_offset = 0;
    // A checkpoint's place to go on from, its rows already in the tables.
    const SweepState* resume = nullptr;
    SweepCheckpoints* checkpoints = nullptr;  // none: nothing is kept
};

// A fragment about to be recorded.
struct Candidate {
    bool head = false;       // "HEAD", else "moov"
    std::int64_t start = 0;  // S
    std::int64_t end = 0;    // M, exclusive
    HeaderInfo header;       // moov: the analysis; HEAD: end type "mdat"
    std::string shoot_date;  // HEAD: date + " " + time
    std::string own_length;  // HEAD: decimal or empty
    // HEAD: a movie atom the file carries before its media data.
    std::optional<std::int64_t> inner_moov;
};

// The row a candidate becomes (columns 1 to 13 without 10).
StagedFragmentRow StageCandidate(const Candidate& c);

class SectorScan {
  public:
    SectorScan(const SectorScanSetup& setup, const SourceReader& source,
               const ScanSettings& settings, TableWriter& tables, WorkerReporter& reporter,
               const StopFlag& stop, ScanGauge& gauge);

    // False when the scan ended on an error (a use window that cannot be
    // loaded); the rows found stay either way. Areas passed over because
    // they kept failing are read and scanned last.
    bool run();
    std::int64_t fragment_count() const { return fragment_count_; }
    bool stopped() const { return stopped_; }
    // The medium went away: the loop ended at once, and the rows found
    // since the last place it can be resumed from were dropped.
    bool source_gone() const { return source_gone_; }
    // The last place the loop can be taken up again from.
    const SweepState& resumable() const { return resumable_; }
    // Bytes that could not be read, coalesced.
    const std::vector<ByteRange>& unreadable() const { return reader_.unreadable(); }
    std::int64_t bytes_read() const { return reader_.bytes_read(); }

  private:
    enum class ReadOutcome { Done, Jumped };
    using Phase = SweepState::Phase;

    void restore(const SweepState& state);
    SweepState state() const;
    bool at_block_start() const;
    void mark_resumable();
    void lose_source();
    bool pass(std::int64_t end_sector);
    void begin_again(const ByteRange& area);
    std::optional<bool> testable(std::int64_t sector, std::int64_t horizon, std::int64_t& run_end);
    bool mark_testable_sectors();
    void read_step();
    void read_block();
    ReadOutcome scan_read();
    ScanGeometry resume_geometry(const Candidate& c, std::int64_t end);
    bool may_hold_head_sector(std::int64_t from) const;
    std::optional<Candidate> test_sector(std::int64_t i);
    std::optional<Candidate> test_head(std::int64_t i);
    std::optional<Candidate> test_start(std::int64_t i);
    std::optional<Candidate> test_moov(std::int64_t i);
    std::optional<Candidate> movie_candidate(std::int64_t start);
    std::int64_t record_inner_moov(const Candidate& head);
    void record(const Candidate& c);

    const SectorScanSetup& setup_;
    const ScanGeometry& g_;
    const SourceReader& source_;
    ScanReader reader_;
    const ScanSettings& settings_;
    TableWriter& tables_;
    WorkerReporter& reporter_;
    const StopFlag& stop_;
    ScanGauge& gauge_;
    std::optional<UseWindowTracker> tracker_;

    // Consecutive steps are read as one block of 8 steps plus the overhang;
    // step_ views the current step's 66048 bytes inside it.
    ReadBuffer block_;
    std::int64_t block_w_ = -1;  // read position of the block's first step; -1: none
    ByteView step_;
    std::vector<std::uint32_t> movie_hits_;  // "moov"+"mvhd" positions in this read
    std::vector<bool> testable_;             // per sector of this read
    // Absolute sectors [first, second) to look at when scanning an area again.
    std::optional<std::pair<std::int64_t, std::int64_t>> limit_;
    std::int64_t w_ = 0;
    bool stopped_ = false;
    std::optional<std::int64_t> resume_index_;
    std::int64_t starts_from_ = 0;  // absolute sector; see SweepState
    std::int64_t fragment_count_ = 0;
    std::int64_t video_count_ = 0;

    Phase phase_ = Phase::Sweep;
    std::vector<ByteRange> again_;  // readable parts of the areas passed over
    std::size_t again_next_ = 0;    // the one being scanned
    SweepState resumable_;
    bool found_since_resumable_ = false;
    bool source_gone_ = false;
};

}  // namespace tav
