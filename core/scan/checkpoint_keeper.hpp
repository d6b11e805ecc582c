#pragma once
// Keeps a running scan's checkpoint file up to date: at the places the
// sector loop can be taken up again from, at least every few seconds and
// soon after each video found, and always where the loop ends early.

#include <chrono>
#include <cstdint>
#include <string>

#include "common/reporter.hpp"
#include "scan/scan_checkpoint.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// Where the sector loop reports the places it can be resumed from.
class SweepCheckpoints {
  public:
    virtual ~SweepCheckpoints() = default;
    // A place to resume from; found: a video was recorded since the last one.
    virtual void resumable(const SweepState& state, bool found) = 0;
    // The loop ends early here, or is over: the place to come back to.
    virtual void hold(const SweepState& state) = 0;
    // The scan is complete: nothing is left to resume.
    virtual void finished() {}
};

struct CheckpointTiming {
    std::chrono::milliseconds every{5000};
    // A video found is kept this soon, without writing once per video on a
    // card full of short clips.
    std::chrono::milliseconds after_find{1000};
};

class CheckpointKeeper : public SweepCheckpoints {
  public:
    // head: the identity, settings and table fields; its sweep and rows are
    // taken from the scan as it goes. The rows are read from tables.
    CheckpointKeeper(std::string path, ScanCheckpoint head, const ScanTables& tables,
                     WorkerReporter& reporter, CheckpointTiming timing = {});

    void resumable(const SweepState& state, bool found) override;
    void hold(const SweepState& state) override;
    void finished() override;

    const std::string& path() const { return path_; }
    // Whether a checkpoint file was written (and not removed).
    bool kept() const { return kept_; }
    std::int64_t writes() const { return writes_; }

  private:
    void write(const SweepState& state);

    std::string path_;
    ScanCheckpoint head_;
    const ScanTables& tables_;
    WorkerReporter& reporter_;
    CheckpointTiming timing_;
    std::chrono::steady_clock::time_point last_write_;
    bool started_ = false;
    bool find_pending_ = false;
    bool kept_ = false;
    bool failure_told_ = false;
    std::int64_t writes_ = 0;
    // The rows' lines written before: rows only ever join the end of the
    // table while the sector loop runs.
    std::string rows_text_;
    std::int64_t rows_encoded_ = 0;
};

}  // namespace tav
