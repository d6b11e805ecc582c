#pragma once
// The scan-result file: Base64 lines of CP936 text holding the source path
// and the three scan tables.

#include <ctime>
#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "common/worker_thread.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// Shows "转换出错" on failure; the caller shows the outcome box.
bool SaveScanResult(const ScanTables& tables, const std::string& source_text,
                    const std::string& file_name, WorkerReporter& reporter);
// Adds the file's rows to the tables (it does not clear them) and sets
// tables.source_field. The whole file is decoded and checked before any row
// is added, so a damaged file leaves tables and source_field unchanged.
// Shows "加载出错" / "日志转换LV出错" on failure.
bool LoadScanResult(ScanTables& tables, const std::string& file_name, WorkerReporter& reporter);
std::vector<std::string> SplitRowLine(const std::string& line);

// Default file name proposed by the save dialog for the given local time:
// "ZoruzAvu-yyyy-mm-dd hh-nn-ss.vyr".
std::string DefaultScanResultName(const std::tm& local_time);

// Messages of the step-4 buttons when the dialog gave no file name.
UserMessage EmptySavePathMessage();
UserMessage EmptyLoadPathMessage();

// The worker of the save and load buttons: mode 0 saves, 1 loads; either way
// it ends with the outcome box ("保存成功", "加载失败", ...).
class TFileOrLv {
  public:
    enum Mode : int { kSave = 0, kLoad = 1 };

    TFileOrLv(int mode, std::string file_name, ScanTables& tables, WorkerReporter& reporter);
    ~TFileOrLv();  // joins a running thread

    bool Execute();  // runs on the calling thread; true on success
    void Start();
    void Join();

  private:
    int mode_;
    std::string file_name_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    WorkerThread thread_;
};

}  // namespace tav
