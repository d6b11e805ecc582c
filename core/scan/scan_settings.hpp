#pragma once
// The wizard's scan settings. They live as long as the program, are never
// saved, and are read by the scan start, the scanner and the save.

#include <atomic>
#include <cstdint>
#include <string>

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
    // The second file type: every camera's and phone's MOV and MP4 clips,
    // the tagged ones among them. The wizard checks one of the two.
    SharedFlag FileTypeAnyVideo = false;
};

// Whether a scan looks for videos at all, and whether for every camera's.
inline bool ScansVideos(const ScanSettings& s) {
    return s.FileTypeMov || s.FileTypeAnyVideo;
}
inline bool ScansAnyVideo(const ScanSettings& s) {
    return s.FileTypeAnyVideo;
}

// The two file types as the wizard names them; a scan's tables and its
// scan-result file keep the one it used.
inline constexpr const char* kFileTypeTaggedText = "文件扩展名为MOV(针对CFDH编码)";
inline constexpr const char* kFileTypeAnyText = "所有相机和手机拍摄的MOV和MP4视频";
inline std::string FileTypeText(const ScanSettings& s) {
    return ScansAnyVideo(s) ? kFileTypeAnyText : kFileTypeTaggedText;
}

// The one stop signal: written by the front end, polled by the scanner once per
// 64 KiB step. Any value other than 0 asks the scan to stop.
using StopFlag = std::atomic<std::uint8_t>;

}  // namespace tav
