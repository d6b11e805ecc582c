#pragma once
// The second phase of a scan: sorts the fragment rows, reads each movie
// header's sample tables, pairs the header with the "HEAD" row whose media
// data ends where the header expects, grades the pair and lists the files.

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "common/reporter.hpp"
#include "platform/source_reader.hpp"
#include "scan/scan_settings.hpp"
#include "scan/table_writer.hpp"

namespace tav {

// The last frame starts at frame_start: 0x00010009 there (an access-unit
// delimiter) verifies it; otherwise its first NAL's length N (at most 254)
// and the next length X must add up to the last sample's size.
bool VerifyLastFrame(const SourceReader& source, std::int64_t frame_start,
                     std::uint64_t last_sample_size);

class FragmentAnalysis {
  public:
    FragmentAnalysis(const SourceReader& source, const ScanSettings& settings, TableWriter& tables,
                     WorkerReporter& reporter)
        : source_(source), settings_(settings), tables_(tables), reporter_(reporter) {}

    // Everything from the sort to the "分析完毕" log line.
    void run();

  private:
    void sort_and_renumber();
    void analyse_headers();
    void analyse_header(std::size_t row,
                        const std::unordered_map<std::int64_t, std::size_t>& heads);
    void fill_outputs();
    void fill_results();
    void log(const char* message);

    const SourceReader& source_;
    const ScanSettings& settings_;
    TableWriter& tables_;
    WorkerReporter& reporter_;
};

}  // namespace tav
