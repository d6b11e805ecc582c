#pragma once
// The wizard's scan settings. They live as long as the program, are never
// saved, and are read by the scan start, the scanner and the save.

#include <atomic>
#include <cstdint>

namespace tav {

enum ScanModeValue : int { kModeDeletion = 0, kModeFormat = 1, kModeDeep = 2 };

struct ScanSettings {
    int ScanMode = kModeDeletion;
    std::uint8_t FormatScheme = 0;  // 0 = scheme A (free space only), 1 = scheme B (all space)
    bool FileTypeMov = true;
    bool LargeFileOnly = false;
};

// The one stop signal: written by the front end, polled by the scanner once per
// 64 KiB step. Any value other than 0 asks the scan to stop.
using StopFlag = std::atomic<std::uint8_t>;

}  // namespace tav
