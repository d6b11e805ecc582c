#pragma once
// One scan run (the scanner thread TscanPst): the sector loop, then the
// fragment analysis, reporting everything through a WorkerReporter and
// writing the scan tables.

#include <cstdint>
#include <string>
#include <thread>

#include "common/reporter.hpp"
#include "disk/disk_info.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

struct ScanParams {
    std::string source_path;  // device or image path to open
    TDiskInfo disk;           // copied at creation
    int ScanKind = 0;         // 0 deleted, 1 formatted, 2 deep, 3 raw image
    std::uint8_t ScanAllSpace = 0;
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

  private:
    ScanParams params_;
    const ScanSettings& settings_;
    ScanTables& tables_;
    WorkerReporter& reporter_;
    const StopFlag& stop_;
    std::thread thread_;
};

}  // namespace tav
