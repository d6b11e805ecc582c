#pragma once
// Shared pieces of the scanner tests: a reporter that records everything,
// atom and image builders, and a one-call scan of an image file.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_order.hpp"
#include "common/reporter.hpp"
#include "disk/disk_info.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"
#include "scan/scan_worker.hpp"

namespace tav::scantest {

using Bytes = std::vector<std::uint8_t>;

class ScanRecorder : public WorkerReporter {
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
    void show_results() override { ++results_shown; }

    // Log messages without their "[date time]  " prefix.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& l : lines) {
            const auto at = l.find("]  ");
            out.push_back(at == std::string::npos ? l : l.substr(at + 3));
        }
        return out;
    }
    std::vector<std::string> status_of(int panel) const {
        std::vector<std::string> out;
        for (const auto& [p, t] : status)
            if (p == panel) out.push_back(t);
        return out;
    }

    std::vector<std::string> lines;
    std::vector<std::pair<int, std::string>> status;
    std::vector<UserMessage> boxes;
    std::vector<std::int64_t> gauge_positions;
    std::int64_t gauge_min = -1, gauge_max = -1;
    int results_shown = 0;

  private:
    std::mutex mutex_;
};

inline Bytes Be32(std::uint32_t v) {
    Bytes b(4);
    store_be32(b.data(), v);
    return b;
}

inline void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// An atom: 32-bit big-endian size (or the given one), type, payload.
inline Bytes Atom(std::string_view type, const Bytes& payload = {}, std::int64_t size = -1) {
    Bytes b(8 + payload.size());
    store_be32(b.data(), size < 0 ? static_cast<std::uint32_t>(8 + payload.size())
                                  : static_cast<std::uint32_t>(size));
    for (std::size_t k = 0; k < 4 && k < type.size(); ++k)
        b[4 + k] = static_cast<std::uint8_t>(type[k]);
    std::copy(payload.begin(), payload.end(), b.begin() + 8);
    return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const auto& p : parts) Append(b, p);
    return b;
}

// A sample-size table atom with the given sizes.
inline Bytes Stsz(const std::vector<std::uint32_t>& sizes, std::uint32_t common = 0) {
    Bytes p = Concat({Be32(0), Be32(common), Be32(static_cast<std::uint32_t>(sizes.size()))});
    for (auto s : sizes) Append(p, Be32(s));
    return Atom("stsz", p);
}

inline Bytes Stco(const std::vector<std::uint32_t>& offsets) {
    Bytes p = Concat({Be32(0), Be32(static_cast<std::uint32_t>(offsets.size()))});
    for (auto o : offsets) Append(p, Be32(o));
    return Atom("stco", p);
}

// An image built in memory, written to a file at the end.
class Image {
  public:
    explicit Image(std::size_t size, std::uint8_t fill = 0) : bytes(size, fill) {}
    void put(std::int64_t offset, const Bytes& data) {
        if (bytes.size() < offset + data.size()) bytes.resize(offset + data.size());
        std::copy(data.begin(), data.end(), bytes.begin() + offset);
    }
    void save(const std::filesystem::path& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    Bytes bytes;
};

inline TDiskInfo RawInfo(std::int64_t bytes) {
    TDiskInfo info;
    info.BytesPerSector = 512;
    info.SectorsPerCluster = 8;
    info.BytesPerCluster = 4096;
    info.TotalSectors = bytes / 512;
    info.StartSector = 0;
    info.EndSector = bytes / 512;
    info.FileSystem = "Raw";
    return info;
}

struct ScanRun {
    ScanTables tables;
    ScanRecorder reporter;
};

// Runs a whole scan of the path synchronously.
inline void RunScanOn(ScanRun& run, const std::string& path, const TDiskInfo& info, int kind,
                      std::uint8_t all_space, const ScanSettings& settings = {},
                      std::uint8_t stop_value = 0) {
    StopFlag stop{stop_value};
    TscanPst scan(ScanParams{path, info, kind, all_space}, settings, run.tables, run.reporter,
                  stop);
    scan.Execute();
}

// Column values of every fragment row.
inline std::vector<std::string> Column(const TextTable& t, std::size_t col) {
    std::vector<std::string> out;
    for (const auto& r : t.rows()) out.push_back(r.cells[col]);
    return out;
}

}  // namespace tav::scantest
