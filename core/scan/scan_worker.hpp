#pragma once
// One scan run (the scanner thread TscanPst): the sector loop, then the
// fragment analysis, reporting everything through a WorkerReporter and
// writing the scan tables.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_range.hpp"
#include "common/reporter.hpp"
#include "common/worker_thread.hpp"
#include "disk/disk_info.hpp"
#include "platform/source_reader.hpp"
#include "scan/checkpoint_keeper.hpp"
#include "scan/media_follow.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct ScanParams {
    std::string source_path;  // device or image path to open
    TDiskInfo disk;           // copied at creation
    int ScanKind = 0;         // 0 deleted, 1 formatted, 2 deep, 3 raw image
    std::uint8_t ScanAllSpace = 0;
    SourceOpener open_source;  // empty: SourceReader::open
    // A checkpoint's place to go on from; its rows must already be in the
    // tables.
    std::optional<SweepState> resume = std::nullopt;
    SweepCheckpoints* checkpoints = nullptr;  // none: no checkpoint is kept
};

// How a scan ended, for callers that report it (the command line).
struct ScanOutcome {
    bool stopped = false;               // by the user, before the range was done
    bool source_gone = false;           // the medium went away; no results
    std::vector<ByteRange> unreadable;  // sectors that could not be read, coalesced
    std::int64_t bytes_read = 0;        // by the sector loop, from the medium
    // The cluster grid and area the scan's files may lie in, for a later
    // search of split media (a lost header's rebuild); no use map.
    FollowSetup grid;
};

class TscanPst {
  public:
    // settings are read at each use (FileTypeMov, LargeFileOnly); tables,
    // reporter and stop flag must outlive the scan.
    TscanPst(ScanParams params, const ScanSettings& settings, ScanTables& tables,
             WorkerReporter& reporter, const StopFlag& stop);
    // The settings are held by reference: a temporary would dangle.
    TscanPst(ScanParams, ScanSettings&&, ScanTables&, WorkerReporter&, const StopFlag&) = delete;
    ~TscanPst();  // joins a running thread

    void Execute();  // runs the whole scan on the calling thread
    void Start();    // runs Execute on a thread of its own
    void Join();

    // Valid after Execute (or Join) returned.
    const ScanOutcome& outcome() const { return outcome_; }

  private:
    std::optional<SourceReader> OpenSourceOrTell();
    void LogUnreadable();
    void TellSourceGone();

    ScanParams params_;
    const ScanSettings& settings_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    const StopFlag& stop_;
    ScanOutcome outcome_;
    WorkerThread thread_;
};

}  // namespace tav
