#pragma once
// The wizard's scan settings. They live as long as the program, are never
// saved, and are read by the scan start, the scanner and the save.

#include <atomic>
#include <cstdint>

namespace tav {

enum ScanModeValue : int { kModeDeletion = 0, kModeFormat = 1, kModeDeep = 2 };

// A setting the wizard may change while a running scan reads it: atomic, yet
// copyable like the plain value, so that settings can still be passed around.
class SharedFlag {
  public:
    SharedFlag(bool value = false) : value_(value) {}
    SharedFlag(const SharedFlag& other) : value_(other.load()) {}
    SharedFlag& operator=(const SharedFlag& other) {
        value_.store(other.load(), std::memory_order_relaxed);
        return *this;
    }
    SharedFlag& operator=(bool value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator bool() const { return load(); }
    bool load() const { return value_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> value_;
};

struct ScanSettings {
    int ScanMode = kModeDeletion;   // read when a scan starts, on the front end's thread
    std::uint8_t FormatScheme = 0;  // 0 = scheme A (free space only), 1 = scheme B (all space)
    SharedFlag FileTypeMov = true;  // read by the scanner at each use
    SharedFlag LargeFileOnly = false;
};

// The one stop signal: written by the front end, polled by the scanner once per
// 64 KiB step. Any value other than 0 asks the scan to stop.
using StopFlag = std::atomic<std::uint8_t>;

}  // namespace tav
