#pragma once
// The save run (TPstRebuild): checks the output folder's free space, then
// writes every ticked ResultList row's file into the folder.

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "common/worker_thread.hpp"
#include "platform/free_space.hpp"
#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/lost_headers.hpp"
#include "recovery/output_sink.hpp"
#include "recovery/rebuild_rows.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct RebuildParams {
    std::string source_path;    // SourceField at the moment 保存 was pressed
    std::string output_folder;  // FolderField (a trailing separator is optional)
    // Set from another thread to stop after the file being written (which is
    // then removed); the command line wires Ctrl-C to it.
    const StopFlag* stop = nullptr;
    // Headers rebuilt for the rows graded "重建", by 编号; such a row
    // without one is not saved.
    const RebuiltFiles* rebuilt = nullptr;
};

// Seams for tests; empty members mean the real platform calls.
struct RebuildHooks {
    std::function<std::optional<FolderSpace>(const std::string& folder)> query_free_space;
    std::function<std::expected<std::unique_ptr<OutputSink>, std::string>(const std::string& path)>
        create_output;
    SourceOpener open_source;
};

// One ticked row's outcome.
struct SavedFile {
    std::string number;      // 编号
    std::size_t position;    // s: the row's position in the ResultList
    std::string path;        // folder + name
    bool written = false;    // true when every byte reached the file (a failed one is removed)
    std::string error;       // why not, when written is false
    std::int64_t bytes = 0;  // written to the file
    std::int64_t unreadable_bytes = 0;  // of those, zeros for sectors that could not be read
    bool rebuilt = false;               // with a header rebuilt from a reference
    std::string quality;                // the row's 文件质量 when it was saved
    bool whole() const { return written && unreadable_bytes == 0; }
};

enum class RebuildEnd {
    Finished,        // every ticked row was processed (each may have failed)
    SourceFailed,    // the source could not be opened; nothing was created
    TooLittleSpace,  // free space unknown or not above the sum; nothing was created
    Stopped          // stopped by the caller; the files before stay, the one under way was removed
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
    bool CheckSpace(const SourceReader& source);
    bool stop_requested() const;
    void SaveTickedRows(const SourceReader& source);
    SavedFile SaveOne(const SourceReader& source, const RebuildRow& row, std::size_t s,
                      const std::expected<FragmentRanges, std::string>& ranges,
                      const RebuiltFile* rebuilt);
    // Writes the file; a file that could not be written whole is removed.
    void WriteOutput(const SourceReader& source, const FragmentRanges& ranges, SavedFile& saved);
    void WriteRebuilt(const SourceReader& source, const RebuiltFile& file, SavedFile& saved);
    template <class Copy>
    void WriteWith(SavedFile& saved, Copy&& copy);

    RebuildParams params_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    std::atomic<bool>& save_in_progress_;
    RebuildHooks hooks_;
    RebuildSummary summary_;
    SaveProgress progress_;
    WorkerThread thread_;
};

}  // namespace tav
