#include "scan/fragment_analysis.hpp"

#include <limits>
#include <vector>

#include "codec/nal_sample.hpp"
#include "common/decimal.hpp"
#include "common/log_line.hpp"
#include "scan/fragmented_movie.hpp"
#include "scan/media_map.hpp"
#include "scan/movie_date.hpp"
#include "scan/movie_tracks.hpp"
#include "scan/sample_tables.hpp"
#include "scan/scan_geometry.hpp"
#include "scan/start_region.hpp"

namespace tav {

namespace {

constexpr std::uint32_t kDelimiterFrame = 0x00010009;
constexpr std::uint32_t kFirstNalLimit = 254;
// No camera's frame is larger; a size past it is no sample of a video.
constexpr std::uint64_t kMostFrameBytes = 64ull << 20;

std::int64_t CellValue(const TableWriter& t, std::size_t row, std::size_t col) {
    return parse_int64(t.fragment_cell(row, col)).value_or(0);
}

std::optional<std::int64_t> AddChecked(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

// The header's sectors (the cell holds one less) and the media data before
// it; nothing when that does not fit 64 bits.
std::optional<std::int64_t> FileLength(std::int64_t sectors_minus_one, std::int64_t media_end) {
    std::int64_t bytes = 0;
    if (__builtin_add_overflow(sectors_minus_one, 1, &bytes) ||
        __builtin_mul_overflow(bytes, kSectorBytes, &bytes))
        return std::nullopt;
    return AddChecked(bytes, media_end);
}

std::optional<std::int64_t> MediaEnd(const TableTail& offsets, const TableTail& sizes) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (offsets.last > kMax - sizes.last) return std::nullopt;
    return static_cast<std::int64_t>(offsets.last + sizes.last);
}

}  // namespace

// Where the media data of the header's file ends and how its video ends.
struct MediaLayout {
    std::int64_t media_end = 0;
    std::uint64_t frames = 0;
    std::uint64_t last_frame_offset = 0;
    std::uint64_t last_frame_size = 0;
    std::optional<MovieTracks> tracks;  // when the movie atom's tracks parse
    // The end over every track whose data is in the file, where it differs.
    std::optional<std::int64_t> media_end_of_all;
    std::optional<std::string> date;  // when the movie was shot, as the tags write it
};

namespace {

constexpr std::int64_t kMostMovieBytes = 64ll << 20;
// Room a writer may leave at the end of its media data, past the last sample.
constexpr std::int64_t kMostMdatSlack = 1ll << 20;

// Every track of the movie atom [start, last_byte]: the file's media data
// ends at the furthest end of its video and sound chunks.
std::optional<MediaLayout> LayoutFromTracks(const SourceReader& source, std::int64_t start,
                                            std::int64_t last_byte) {
    if (start < 0 || last_byte < start || last_byte - start >= kMostMovieBytes) return std::nullopt;
    const std::int64_t from = start / kSectorBytes * kSectorBytes;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(last_byte + 1 - from));
    if (!source.read_at(from, bytes).clean()) return std::nullopt;
    auto tracks = ParseMovieTracks(ByteView(bytes).sub(static_cast<std::size_t>(start - from)));
    const auto end = tracks ? tracks->media_end() : std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!end || *end > kMax) return std::nullopt;
    const MovieTrack& video = *tracks->video();
    MediaLayout layout;
    layout.media_end = static_cast<std::int64_t>(*end);
    layout.frames = video.samples;
    layout.last_frame_offset = video.last_sample_offset;
    layout.last_frame_size = video.last_sample_size;
    layout.tracks = std::move(tracks);
    if (const auto all = layout.tracks->media_end_of_all(); all && *all != *end && *all <= kMax)
        layout.media_end_of_all = static_cast<std::int64_t>(*all);
    layout.date = MovieDate(ByteView(bytes).sub(static_cast<std::size_t>(start - from)));
    return layout;
}

// Whether the video's first and last samples are whole where the header
// puts them in a file that starts at head: what a pairing by position alone
// must show before it is believed.
bool SamplesCheckAt(const SourceReader& source, std::int64_t head, const MediaLayout& layout) {
    const MovieTrack* video = layout.tracks ? layout.tracks->video() : nullptr;
    if (!video || !video->nal || video->sample_sizes.empty() || video->chunk_offsets.empty())
        return false;
    const auto whole = [&](std::uint64_t offset, std::uint64_t size) {
        constexpr std::uint64_t kMostChecked = 16u << 20;
        if (size > kMostChecked || offset > static_cast<std::uint64_t>(INT64_MAX / 2)) return false;
        const auto at = AddChecked(head, static_cast<std::int64_t>(offset));
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        return at && source.read_at(*at, bytes).clean() &&
               CheckNalSample(ByteView(bytes), static_cast<std::uint32_t>(size), *video->nal) ==
                   SampleVerdict::Sample;
    };
    return whole(video->chunk_offsets.front(), video->sample_sizes.front()) &&
           whole(video->last_sample_offset, video->last_sample_size);
}

// A start region whose own movie atom lies at moov_start: the file describes
// itself, ftyp to the end of its media data.
bool CarriesMovieAt(const SourceReader& source, std::int64_t head, std::int64_t moov_start) {
    std::vector<std::uint8_t> bytes(kStartWalkBytes + 512);
    if (!source.read_at(head, bytes).clean()) return false;
    const auto more = [&](std::uint64_t offset, std::span<std::uint8_t> buf) {
        return offset < static_cast<std::uint64_t>(INT64_MAX - head) &&
               source.read_at(head + static_cast<std::int64_t>(offset), buf).clean();
    };
    const auto region = ParseStartRegion(ByteView(bytes), more);
    return region && region->moov_at &&
           static_cast<std::int64_t>(*region->moov_at) == moov_start - head;
}

// Where a file offset of the media data lies on the source.
std::optional<std::int64_t> OnSource(const std::vector<MediaPiece>& pieces, std::uint64_t offset) {
    const MediaPiece* in = nullptr;
    for (const MediaPiece& p : pieces)
        if (p.file_offset <= offset) in = &p;
    if (!in || offset - in->file_offset >
                   static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return AddChecked(in->source_offset, static_cast<std::int64_t>(offset - in->file_offset));
}

}  // namespace

bool VerifyLastFrame(const SourceReader& source, std::int64_t frame_start,
                     std::uint64_t last_sample_size) {
    const std::uint32_t n = ReadBe32At(source, frame_start);
    if (n == kDelimiterFrame) return true;
    if (n > kFirstNalLimit) return false;
    std::int64_t next = 0;
    if (__builtin_add_overflow(frame_start, std::int64_t{n} + 4, &next)) return false;
    const std::uint32_t x = ReadBe32At(source, next);
    return std::uint64_t{n} + x + 8 == last_sample_size;
}

bool VerifyLastFrame(const SourceReader& source, std::int64_t frame_start,
                     std::uint64_t last_sample_size, const std::optional<NalFormat>& format) {
    if (VerifyLastFrame(source, frame_start, last_sample_size)) return true;
    if (!format || last_sample_size == 0 || last_sample_size > kMostFrameBytes) return false;
    std::vector<std::uint8_t> sample(static_cast<std::size_t>(last_sample_size));
    // A sample the source ends inside of is not whole, however its lengths add up.
    const ReadReport read = source.read_at(frame_start, sample, ReadOptions{1});
    if (!read.clean() || read.bytes != sample.size()) return false;
    return IsWholeFrame(ByteView(sample), *format);
}

void FragmentAnalysis::log(const char* message) {
    reporter_.log_line(make_log_line(message));
}

void FragmentAnalysis::run() {
    if (follow_.area_end <= follow_.area_begin) {
        const std::int64_t size = source_.size();
        follow_.area_end = size > 0 ? size : std::numeric_limits<std::int64_t>::max() / 2;
    }
    sort_and_renumber();
    analyse_headers();
    if (tables_.fragment_rows() > 0) {
        fill_outputs();
        fill_results();
    }
    reporter_.status_text(0, "就绪");
    log("分析完毕");
}

void FragmentAnalysis::sort_and_renumber() {
    log("开始排序......");
    tables_.sort_fragments_by(frag::Order);
    log("排序完成");
    for (std::size_t k = 0; k < tables_.fragment_rows(); ++k)
        tables_.set_fragment_cell(k, frag::SN, dec(static_cast<std::int64_t>(k)));
}

void FragmentAnalysis::analyse_headers() {
    log("分析Head碎片长度......");
    if (ScansVideos(settings_)) {
        // Own length -> the first "HEAD" row with it, in table order; and
        // every "HEAD" row by where it starts.
        HeadIndex heads;
        const std::size_t rows = tables_.fragment_rows();
        for (std::size_t k = 0; k < rows; ++k) {
            if (tables_.fragment_cell(k, frag::StartType) != "HEAD") continue;
            if (auto own = parse_int64(tables_.fragment_cell(k, frag::OwnLength)))
                heads.by_end[*own].push_back(k);
            if (auto start = parse_int64(tables_.fragment_cell(k, frag::StartOffset)))
                heads.by_start.emplace(*start, k);
        }
        // Headers whose media end no start region matches exactly are
        // paired last, with what the others left.
        std::vector<std::size_t> unmatched;
        for (std::size_t k = 0; k < rows; ++k)
            if (tables_.fragment_cell(k, frag::StartType) == "moov" &&
                !analyse_header(k, heads, false))
                unmatched.push_back(k);
        for (const std::size_t k : unmatched) analyse_header(k, heads, true);
    }
    log("分析Head碎片完毕");
}

// The start region a movie atom belongs to: the one that carries it before
// its media data, else the first whose media data ends where the header's
// samples do (over the video and sound tracks, then over every track).
// near: else the closest start region before the header, not yet paired,
// whose mdat ends a little past the samples and before the header (writers
// that leave room at the end of the media data).
std::optional<FragmentAnalysis::Pairing> FragmentAnalysis::pair_head(std::int64_t moov_start,
                                                                     const MediaLayout& layout,
                                                                     const HeadIndex& heads,
                                                                     bool near) const {
    if (const auto carrier = carrying_head(moov_start, heads)) {
        // Up to the end of its mdat, where that is known and near.
        const std::int64_t own = CellValue(tables_, *carrier, frag::OwnLength);
        const bool whole = own >= layout.media_end && own - layout.media_end <= kMostMdatSlack;
        return Pairing{*carrier, true, whole ? own : layout.media_end};
    }
    if (!near) {
        for (const auto end : {std::optional(layout.media_end), layout.media_end_of_all})
            if (end)
                if (const auto found = heads.by_end.find(*end); found != heads.by_end.end())
                    return Pairing{choose_head(found->second, *end, moov_start, layout, heads),
                                   false, *end};
        return std::nullopt;
    }
    // Tagged clips alone pair only exactly, as they always did.
    if (!ScansAnyVideo(settings_)) return std::nullopt;
    const std::int64_t samples_end =
        std::max(layout.media_end, layout.media_end_of_all.value_or(0));
    constexpr int kMostTried = 64;
    int tried = 0;
    for (auto it = heads.by_start.lower_bound(moov_start);
         it != heads.by_start.begin() && tried < kMostTried; ++tried) {
        --it;
        if (paired_heads_.contains(it->second)) continue;
        const std::int64_t own = CellValue(tables_, it->second, frag::OwnLength);
        const auto mdat_end = AddChecked(it->first, own);
        if (own >= samples_end && own - samples_end <= kMostMdatSlack && mdat_end &&
            *mdat_end <= moov_start && SamplesCheckAt(source_, it->first, layout))
            return Pairing{it->second, false, own};
    }
    return std::nullopt;
}

// The start region that carries the movie atom at moov_start before its
// media data.
std::optional<std::size_t> FragmentAnalysis::carrying_head(std::int64_t moov_start,
                                                           const HeadIndex& heads) const {
    const auto from =
        heads.by_start.lower_bound(moov_start - static_cast<std::int64_t>(kStartWalkBytes));
    for (auto it = from; it != heads.by_start.end() && it->first < moov_start; ++it) {
        // A media data that ends before the header cannot come after it:
        // no need to walk that start region.
        const std::int64_t own = CellValue(tables_, it->second, frag::OwnLength);
        if (own > 0 && own <= moov_start - it->first) continue;
        if (CarriesMovieAt(source_, it->first, moov_start)) return it->second;
    }
    return std::nullopt;
}

// A movie written in fragments is its start region's top-level atoms; it is
// listed whole, as far as they lead, "非常好" when it ends with its index.
bool FragmentAnalysis::list_fragmented(std::size_t r, const HeadIndex& heads) {
    const std::int64_t moov_start = CellValue(tables_, r, frag::StartOffset);
    const std::int64_t last_byte = CellValue(tables_, r, frag::EndOffset);
    if (moov_start < 0 || last_byte < moov_start || last_byte - moov_start >= kMostMovieBytes)
        return false;
    std::vector<std::uint8_t> moov(static_cast<std::size_t>(last_byte + 1 - moov_start));
    if (!source_.read_at(moov_start, moov).clean() || !AnnouncesFragments(ByteView(moov)))
        return false;
    const auto head = carrying_head(moov_start, heads);
    if (!head || paired_heads_.contains(*head)) return false;
    const std::int64_t h_start = CellValue(tables_, *head, frag::StartOffset);
    const auto file = WalkFragmentedFile(source_, h_start, ByteView(moov));
    if (!file) return false;
    paired_heads_.insert(*head);
    if (tables_.fragment_cell(*head, frag::ShootDate).empty())
        if (const auto date = MovieDate(ByteView(moov)))
            tables_.set_fragment_cell(*head, frag::ShootDate, *date);
    tables_.set_fragment_cell(r, frag::OwnLength, dec(file->length));
    tables_.set_fragment_cell(r, frag::Frames, dec(static_cast<std::int64_t>(file->frames)));
    place_pieces(*head, r, h_start, {{0, h_start}}, file->length, false);
    tables_.set_fragment_cell(r, frag::FileLength, dec(file->length));
    tables_.set_fragment_cell(r, frag::Quality, file->indexed ? "非常好" : "好");
    return true;
}

// Start regions whose media data all end alike (clips of one length, the
// same clip copied twice) are told apart by where the header lies: right
// after its own media data; else the first no header took yet, one whose
// samples check before one whose do not; else the first, as ever.
std::size_t FragmentAnalysis::choose_head(const std::vector<std::size_t>& rows,
                                          std::int64_t media_end, std::int64_t moov_start,
                                          const MediaLayout& layout, const HeadIndex& heads) const {
    if (rows.size() == 1) return rows.front();
    // Looked up, not searched: a card of thousands of clips of one length
    // would otherwise cost a pass over all of them per header.
    if (moov_start >= media_end) {
        const auto follows = heads.by_start.find(moov_start - media_end);
        if (follows != heads.by_start.end() &&
            CellValue(tables_, follows->second, frag::OwnLength) == media_end)
            return follows->second;
    }
    // The samples are checked in a bounded number of free start regions.
    constexpr int kMostChecked = 64;
    int checked = 0;
    std::optional<std::size_t> free_row;
    for (const std::size_t k : rows) {
        if (paired_heads_.contains(k)) continue;
        if (!free_row) free_row = k;
        if (checked++ == kMostChecked) break;
        if (SamplesCheckAt(source_, CellValue(tables_, k, frag::StartOffset), layout)) return k;
    }
    return free_row.value_or(rows.front());
}

bool FragmentAnalysis::analyse_header(std::size_t r, const HeadIndex& heads, bool near) {
    const std::int64_t last_byte = CellValue(tables_, r, frag::EndOffset);
    TableProblem problem = TableProblem::None;
    const auto sizes =
        ReadTableTail(source_, CellValue(tables_, r, frag::StszOff), last_byte, true, problem);
    // A video track with one size for all its samples is not a camera's.
    const bool common_size = problem == TableProblem::CommonSize;
    if (common_size)
        reporter_.message_box({"STSZ异常", "发现STSZ非0取值，请反馈错误信息给开发者!",
                               MsgIcon::Warning, MsgButtons::Ok});
    const auto offsets =
        ReadTableTail(source_, CellValue(tables_, r, frag::StcoOff), last_byte, false, problem);
    if (common_size) return true;
    std::optional<MediaLayout> layout =
        LayoutFromTracks(source_, CellValue(tables_, r, frag::StartOffset), last_byte);
    if (!layout && sizes && offsets && sizes->count == offsets->count)
        if (const auto end = MediaEnd(*offsets, *sizes)) {
            layout.emplace();
            layout->media_end = *end;
            layout->frames = offsets->count;
            layout->last_frame_offset = offsets->last;
            layout->last_frame_size = sizes->last;
        }
    if (!layout) {
        if (ScansAnyVideo(settings_)) list_fragmented(r, heads);
        return true;
    }
    tables_.set_fragment_cell(r, frag::OwnLength, dec(layout->media_end));
    tables_.set_fragment_cell(r, frag::Frames, dec(static_cast<std::int64_t>(layout->frames)));

    const std::int64_t moov_start = CellValue(tables_, r, frag::StartOffset);
    const std::optional<Pairing> pairing = pair_head(moov_start, *layout, heads, near);
    const std::string sn = dec(static_cast<std::int64_t>(r));
    if (!pairing) {
        if (!near) return false;
        tables_.set_fragment_cell(r, frag::Fragments, "," + sn + ",");
        tables_.set_fragment_cell(r, frag::Quality, "差");
        return true;
    }
    const std::size_t head = pairing->head;
    paired_heads_.insert(head);
    const bool carried = pairing->carried;
    // The end the pair agreed on: a file that carries its header ends with
    // its media data, one whose header follows it at the end of its mdat.
    const std::int64_t media_end = pairing->media_end;
    const std::int64_t h_start = CellValue(tables_, head, frag::StartOffset);
    // Files without the maker's tags take the date their header gives, and
    // their last frame is checked by their own stream's framing.
    const bool tagged = !tables_.fragment_cell(head, frag::ShootDate).empty();
    if (!tagged && layout->date) tables_.set_fragment_cell(head, frag::ShootDate, *layout->date);
    // The media data is checked sample by sample where it should lie; a
    // file the file system split is followed to its other pieces.
    FollowResult follow;
    follow.pieces = {{0, h_start}};
    // Only paired files are checked: the map is made here, not for every header.
    std::optional<MediaMap> map = layout->tracks ? MapMedia(*layout->tracks) : std::nullopt;
    if (map && h_start >= 0) {
        map->media_end = static_cast<std::uint64_t>(media_end);
        const auto read = [this](std::int64_t offset, std::span<std::uint8_t> buf) {
            return source_.read_at(offset, buf, ReadOptions{1}).clean();
        };
        follow = FollowMedia(read, h_start, *map, follow_);
        if (!follow.checkable) follow.pieces = {{0, h_start}};
    }
    const bool incomplete = follow.checkable && !follow.complete;
    place_pieces(head, r, h_start, follow.pieces, media_end, !carried);

    const auto frame_start = OnSource(follow.pieces, layout->last_frame_offset);
    const MovieTrack* video = layout->tracks ? layout->tracks->video() : nullptr;
    const bool verified =
        frame_start &&
        (tagged || !video || !video->nal
             ? VerifyLastFrame(source_, *frame_start, layout->last_frame_size)
             : VerifyLastFrame(source_, *frame_start, layout->last_frame_size, video->nal));

    if (carried)
        tables_.set_fragment_cell(r, frag::FileLength, dec(media_end));
    else if (auto length = FileLength(CellValue(tables_, r, frag::LengthSectors), media_end))
        tables_.set_fragment_cell(r, frag::FileLength, dec(*length));
    if (incomplete) {
        const std::uint64_t unsure = follow.unchecked_bytes();
        missing_sectors_[r] = static_cast<std::int64_t>((unsure + kSectorBytes - 1) / kSectorBytes);
    }
    tables_.set_fragment_cell(r, frag::Quality,
                              incomplete ? "不完整" : (verified ? "非常好" : "好"));
    return true;
}

// The head's row ends where its piece does; every further piece gets a row
// of its own ("mdat"), and the header's list names them all in file order,
// itself last unless the file carries it at its start.
void FragmentAnalysis::place_pieces(std::size_t head, std::size_t header, std::int64_t head_start,
                                    const std::vector<MediaPiece>& pieces, std::int64_t media_end,
                                    bool header_follows) {
    const auto length_of = [&](std::size_t k) {
        const std::uint64_t end = k + 1 < pieces.size() ? pieces[k + 1].file_offset
                                                        : static_cast<std::uint64_t>(media_end);
        return static_cast<std::int64_t>(end - pieces[k].file_offset);
    };
    std::string list = dec(static_cast<std::int64_t>(head)) + ",";
    const std::int64_t first = length_of(0);
    tables_.set_fragment_cell(head, frag::LengthSectors, dec(first / kSectorBytes));
    if (auto end = AddChecked(head_start, first))
        tables_.set_fragment_cell(head, frag::EndOffset, dec(*end));
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        const auto sn = static_cast<std::int64_t>(tables_.fragment_rows());
        tables_.add_fragment(sn, MediaPieceRow(pieces[k].source_offset, length_of(k)));
        list += dec(sn) + ",";
    }
    if (header_follows) list += dec(static_cast<std::int64_t>(header)) + ",";
    tables_.set_fragment_cell(header, frag::Fragments, list);
}

void FragmentAnalysis::fill_outputs() {
    std::int64_t number = 0;
    const std::size_t rows = tables_.fragment_rows();
    for (std::size_t k = 0; k < rows; ++k) {
        if (tables_.fragment_cell(k, frag::StartType) != "moov") continue;
        const std::string quality = tables_.fragment_cell(k, frag::Quality);
        if (quality.empty() || quality == "差") continue;
        StagedOutputRow row;
        row.file_length = dec(CellValue(tables_, k, frag::FileLength));
        row.fragment_list = tables_.fragment_cell(k, frag::Fragments);
        row.fragment_count =
            dec(static_cast<std::int64_t>(SplitFragmentList(row.fragment_list).size()));
        row.quality = quality == "非常好" || quality == "不完整" ? quality : "好";
        if (const auto missing = missing_sectors_.find(k); missing != missing_sectors_.end())
            row.missing_sectors = dec(missing->second);
        row.frames = tables_.fragment_cell(k, frag::Frames);
        const auto list = SplitFragmentList(row.fragment_list);
        const auto head = list.empty() ? std::nullopt : parse_int64(list.front());
        if (head && *head >= 0)
            row.shoot_date =
                tables_.fragment_cell(static_cast<std::size_t>(*head), frag::ShootDate);
        tables_.add_output(number, row);
        ++number;
    }
}

void FragmentAnalysis::fill_results() {
    std::int64_t number = 0;
    const std::size_t rows = tables_.output_rows();
    for (std::size_t k = 0; k < rows; ++k) {
        const std::int64_t length =
            parse_int64(tables_.output_cell(k, outc::FileLength)).value_or(0);
        tables_.add_result(number, HumanLength(length), tables_.output_cell(k, outc::FragmentCount),
                           tables_.output_cell(k, outc::Quality),
                           tables_.output_cell(k, outc::Frames),
                           tables_.output_cell(k, outc::ShootDate));
        ++number;
    }
}

}  // namespace tav
