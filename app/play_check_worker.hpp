#pragma once
// The play check's thread: decodes every video of the results list from end
// to end, one at a time, the one the user picked first, then the others in
// list order. It reads the list from a copy of the tables, so the views never
// wait for it, and checks a file again only once its plan changed.

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/worker_thread.hpp"
#include "planned_row.hpp"
#include "play_check_reporter.hpp"
#include "recovery/lost_headers.hpp"
#include "scan/scan_tables.hpp"

namespace tav::app {

class PlayCheckWorker {
  public:
    // others_busy: true while a scan or a save runs, so that the check's
    // reads are paced; called on the worker's thread.
    PlayCheckWorker(ScanTables& tables, PlayCheckReporter& reporter, RowVerifier verify,
                    std::function<bool()> others_busy);
    ~PlayCheckWorker() { stop(); }
    PlayCheckWorker(const PlayCheckWorker&) = delete;
    PlayCheckWorker& operator=(const PlayCheckWorker&) = delete;

    // Checks the list from its top as the tables hold it now, read with
    // these rebuilt headers, starting the thread unless it runs. Called
    // again whenever either changed: the video being decoded is finished
    // first.
    void check_list(RebuiltFiles rebuilt);
    // The video listed as number goes next.
    void prefer(std::string number);
    // Drops the check in progress and returns once the thread has ended.
    void stop();
    bool running() const { return thread_.running(); }

  private:
    // A row's plan, kept while the files the tables name stay the same.
    struct KnownRow {
        std::string fragment_count, quality;  // its own cells the plan read
        std::optional<PlannedRow> planned;    // none: its cells name no file
        std::string key;
    };
    struct Listing {
        TableSet tables;
        RebuiltFiles rebuilt;
        std::map<std::string, KnownRow> rows;  // by 编号
    };
    void run();
    void read_list(RebuiltFiles rebuilt);
    const KnownRow& plan_row(std::size_t row);
    void check_row(std::size_t row);

    ScanTables& tables_;
    PlayCheckReporter& reporter_;
    RowVerifier verify_;
    std::function<bool()> others_busy_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool relist_ = false;
    RebuiltFiles next_rebuilt_;
    std::optional<std::string> preferred_;
    StopFlag stop_{0};

    // The worker thread's own: the list read last, files checked to a
    // lasting outcome (by key), and the 编号 dealt with since the list was read.
    Listing list_;
    std::set<std::string> done_;
    std::set<std::string> handled_;
    WorkerThread thread_;
};

}  // namespace tav::app
