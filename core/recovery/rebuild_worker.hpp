#pragma once
// The save run (TPstRebuild): checks the output folder's free space, then
// writes every ticked ResultList row's file into the folder.

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/reporter.hpp"
#include "platform/free_space.hpp"
#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/output_sink.hpp"
#include "recovery/rebuild_rows.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct RebuildParams {
    std::string source_path;    // SourceField at the moment 保存 was pressed
    std::string output_folder;  // FolderField (a trailing separator is optional)
};

// Seams for tests; empty members mean the real platform calls.
struct RebuildHooks {
    std::function<std::optional<FolderSpace>(const std::string& folder)> query_free_space;
    std::function<std::expected<std::unique_ptr<OutputSink>, std::string>(const std::string& path)>
        create_output;
};

// One ticked row's outcome.
struct SavedFile {
    std::string number;    // 编号
    std::size_t position;  // s: the row's position in the ResultList
    std::string path;      // folder + name
    bool written = false;  // true when every byte reached the file
    std::string error;     // why not, when written is false
};

enum class RebuildEnd {
    Finished,       // every ticked row was processed (each may have failed)
    SourceFailed,   // the source could not be opened; nothing was created
    TooLittleSpace  // free space unknown or not above the sum; nothing was created
};

struct RebuildSummary {
    RebuildEnd end = RebuildEnd::Finished;
    std::int64_t free_bytes = 0;
    std::int64_t selected_bytes = 0;
    std::vector<SavedFile> files;
};

class TPstRebuild {
  public:
    TPstRebuild(RebuildParams params, ScanTables& tables, WorkerReporter& reporter,
                std::atomic<bool>& save_in_progress, RebuildHooks hooks = {});
    ~TPstRebuild();  // joins a running thread

    // SaveInProgress is true from the start of a run to its end, whatever the
    // end was.
    void Execute();
    void Start();
    void Join();

    // Valid after Execute (or Join) returned.
    const RebuildSummary& summary() const { return summary_; }

  private:
    void ReportSourceFailure(const OpenError& error);
    bool CheckSpace();
    void SaveTickedRows(const SourceReader& source);
    SavedFile SaveOne(const SourceReader& source, const RebuildRow& row, std::size_t s,
                      const std::expected<FragmentRanges, std::string>& ranges);
    // Empty when every byte reached the file, else the reason.
    std::string WriteOutput(const SourceReader& source, const std::string& path,
                            const FragmentRanges& ranges);

    RebuildParams params_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    std::atomic<bool>& save_in_progress_;
    RebuildHooks hooks_;
    RebuildSummary summary_;
    std::thread thread_;
};

}  // namespace tav
