#pragma once
// Shared pieces of the recovery tests: a reporter that records everything,
// pattern images whose every byte is known, and in-memory output sinks.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "recovery/output_sink.hpp"

namespace tav::test {

class RecordingReporter : public WorkerReporter {
  public:
    void log_line(const std::string& line) override {
        std::lock_guard lock(mutex_);
        lines.push_back(line);
    }
    void gauge_range(std::int64_t lo, std::int64_t hi) override {
        gauge_min = lo;
        gauge_max = hi;
    }
    void gauge_position(std::int64_t p) override { gauge_positions.push_back(p); }
    void status_text(int panel, const std::string& text) override {
        std::lock_guard lock(mutex_);
        status.emplace_back(panel, text);
    }
    MsgAnswer message_box(const UserMessage& m) override {
        std::lock_guard lock(mutex_);
        boxes.push_back(m);
        return m.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    void table_changed(TableId) override {}

    // Log messages without their "[date time]  " prefix.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& l : lines) {
            const auto p = l.find("]  ");
            out.push_back(p == std::string::npos ? l : l.substr(p + 3));
        }
        return out;
    }
    bool logged(const std::string& message) const {
        for (const auto& m : messages())
            if (m == message) return true;
        return false;
    }
    std::string last_status(int panel) const {
        std::string last;
        for (const auto& [p, t] : status)
            if (p == panel) last = t;
        return last;
    }

    std::vector<std::string> lines;
    std::vector<std::pair<int, std::string>> status;
    std::vector<UserMessage> boxes;
    std::vector<std::int64_t> gauge_positions;
    std::int64_t gauge_min = -1, gauge_max = -1;

  private:
    std::mutex mutex_;
};

// The byte a pattern image holds at offset i: distinct across units and blocks.
inline std::uint8_t PatternByte(std::int64_t i) {
    const auto u = static_cast<std::uint64_t>(i);
    return static_cast<std::uint8_t>((u * 131u) ^ (u >> 9) ^ (u >> 17));
}

inline std::vector<std::uint8_t> PatternBytes(std::int64_t from, std::int64_t count) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
    for (std::int64_t k = 0; k < count; ++k)
        out[static_cast<std::size_t>(k)] = PatternByte(from + k);
    return out;
}

inline void WritePatternImage(const std::filesystem::path& path, std::int64_t size) {
    const auto bytes = PatternBytes(0, size);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
}

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MemorySink : public OutputSink {
  public:
    bool write(std::span<const std::uint8_t> b) override {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return true;
    }
    std::vector<std::uint8_t> bytes;
};

// Takes the first `capacity` bytes, then refuses like a full disk.
class FullDiskSink : public OutputSink {
  public:
    explicit FullDiskSink(std::size_t capacity) : capacity_(capacity) {}
    bool write(std::span<const std::uint8_t> b) override {
        if (written + b.size() > capacity_) return false;
        written += b.size();
        return true;
    }
    std::string last_error() const override { return "No space left on device"; }
    std::size_t written = 0;

  private:
    std::size_t capacity_;
};

}  // namespace tav::test
