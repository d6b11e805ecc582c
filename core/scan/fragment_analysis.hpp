#pragma once
// The second phase of a scan: sorts the fragment rows, reads each movie
// header's sample tables, pairs the header with the "HEAD" row whose media
// data ends where the header expects, grades the pair and lists the files.

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "codec/nal_format.hpp"
#include "common/reporter.hpp"
#include "platform/source_reader.hpp"
#include "scan/media_follow.hpp"
#include "scan/scan_settings.hpp"
#include "scan/table_writer.hpp"

namespace tav {

// The last frame starts at frame_start: 0x00010009 there (an access-unit
// delimiter) verifies it; otherwise its first NAL's length N (at most 254)
// and the next length X must add up to the last sample's size.
bool VerifyLastFrame(const SourceReader& source, std::int64_t frame_start,
                     std::uint64_t last_sample_size);

// The rule above, or else, for a track whose framing is known, the last
// sample read whole and walked unit by unit (codec/nal_sample.hpp's
// IsWholeFrame): any camera's or phone's stream, any length size.
bool VerifyLastFrame(const SourceReader& source, std::int64_t frame_start,
                     std::uint64_t last_sample_size, const std::optional<NalFormat>& format);

struct MediaLayout;

class FragmentAnalysis {
  public:
    // follow: where a paired file's split media data may continue (cluster
    // grid, area, free clusters); by default every sector of the source.
    FragmentAnalysis(const SourceReader& source, const ScanSettings& settings, TableWriter& tables,
                     WorkerReporter& reporter, FollowSetup follow = {})
        : source_(source),
          settings_(settings),
          tables_(tables),
          reporter_(reporter),
          follow_(std::move(follow)) {}

    // Everything from the sort to the "分析完毕" log line.
    void run();

  private:
    void sort_and_renumber();
    void analyse_headers();
    struct HeadIndex {
        std::unordered_map<std::int64_t, std::vector<std::size_t>> by_end;  // own length -> rows
        std::map<std::int64_t, std::size_t> by_start;
    };
    struct Pairing {
        std::size_t head = 0;
        bool carried = false;        // the start region carries the header before its media
        std::int64_t media_end = 0;  // where the file's media data ends
    };
    std::optional<Pairing> pair_head(std::int64_t moov_start, const MediaLayout& layout,
                                     const HeadIndex& heads, bool near) const;
    std::optional<std::size_t> carrying_head(std::int64_t moov_start, const HeadIndex& heads) const;
    bool list_fragmented(std::size_t row, const HeadIndex& heads);
    std::size_t choose_head(const std::vector<std::size_t>& rows, std::int64_t media_end,
                            std::int64_t moov_start, const MediaLayout& layout,
                            const HeadIndex& heads) const;
    // False when no start region matched exactly and near was not asked.
    bool analyse_header(std::size_t row, const HeadIndex& heads, bool near);
    void fill_outputs();
    void fill_results();
    void log(const char* message);
    void place_pieces(std::size_t head, std::size_t header, std::int64_t head_start,
                      const std::vector<MediaPiece>& pieces, std::int64_t media_end,
                      bool header_follows);

    const SourceReader& source_;
    const ScanSettings& settings_;
    TableWriter& tables_;
    WorkerReporter& reporter_;
    FollowSetup follow_;
    // Sectors of a header's media data that could not be followed, by row.
    std::unordered_map<std::size_t, std::int64_t> missing_sectors_;
    std::unordered_set<std::size_t> paired_heads_;
};

}  // namespace tav
