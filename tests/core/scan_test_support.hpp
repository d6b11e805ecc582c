#pragma once
// Shared pieces of the scanner tests: a reporter that records everything,
// atom and image builders, and a one-call scan of an image file.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardgen/mov_builder.hpp"
#include "common/byte_order.hpp"
#include "disk/disk_info.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"
#include "scan/scan_worker.hpp"
#include "support/recording_reporter.hpp"
#include "support/temp_dir.hpp"

namespace tav::scantest {

using Bytes = std::vector<std::uint8_t>;
using ScanRecorder = test::RecordingReporter;

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
    // The tables as the ended scan left them, for the checks: taken once, so
    // that references into them stay valid.
    const TableSet& done() const {
        if (!seen) seen = tables.snapshot();
        return *seen;
    }
    mutable std::optional<TableSet> seen;
};

// Runs a whole scan of the path synchronously.
inline void RunScanOn(ScanRun& run, const std::string& path, const TDiskInfo& info, int kind,
                      std::uint8_t all_space, const ScanSettings& settings = {},
                      std::uint8_t stop_value = 0) {
    StopFlag stop{stop_value};
    TscanPst scan(ScanParams{path, info, kind, all_space, {}}, settings, run.tables, run.reporter,
                  stop);
    scan.Execute();
}

// A deep scan of an image built in memory, saved to a file of the test's own.
class RawImageScanTest : public ::testing::Test {
  protected:
    ScanRun& Scan(const Image& image, const ScanSettings& settings = {}) {
        image.save(path_);
        run_ = std::make_unique<ScanRun>();
        RunScanOn(*run_, path_.string(), RawInfo(static_cast<std::int64_t>(image.bytes.size())), 3,
                  1, settings);
        return *run_;
    }

    test::TempDir dir_;
    std::filesystem::path path_ = dir_ / "raw.img";
    std::unique_ptr<ScanRun> run_;
};

// Column values of every fragment row.
inline std::vector<std::string> Column(const TextTable& t, std::size_t col) {
    std::vector<std::string> out;
    for (const auto& r : t.rows()) out.push_back(r.cells[col]);
    return out;
}

// A camera file built in memory, with synthetic frames.
inline cardgen::MovFile Camera(int frames, std::uint64_t seed, bool aud = true,
                               const cardgen::MovOptions& options = {}) {
    return cardgen::BuildCameraMov(options, cardgen::SyntheticClip(frames, seed, aud));
}

}  // namespace tav::scantest
