#pragma once
// The save run (TPstRebuild): checks the output folder's free space, then
// writes every ticked ResultList row's file into the folder.

#include <atomic>
#include <string>
#include <thread>

#include "common/reporter.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct RebuildParams {
    std::string source_path;    // SourceField at the moment 保存 was pressed
    std::string output_folder;  // FolderField (ends in the path separator)
};

class TPstRebuild {
  public:
    TPstRebuild(RebuildParams params, ScanTables& tables, WorkerReporter& reporter,
                std::atomic<bool>& save_in_progress);
    ~TPstRebuild();

    void Execute();
    void Start();
    void Join();

  private:
    RebuildParams params_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    std::atomic<bool>& save_in_progress_;
    std::thread thread_;
};

}  // namespace tav
