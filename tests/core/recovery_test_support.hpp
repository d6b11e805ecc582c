#pragma once
// Shared pieces of the recovery tests: pattern images whose every byte is
// known, and in-memory output sinks.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "recovery/output_sink.hpp"
#include "support/recording_reporter.hpp"

namespace tav::test {

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
