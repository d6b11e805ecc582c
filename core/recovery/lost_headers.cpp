#include "recovery/lost_headers.hpp"

#include <algorithm>
#include <set>

#include "common/decimal.hpp"
#include "recovery/source_bytes.hpp"
#include "scan/scan_geometry.hpp"

namespace tav {

std::vector<std::size_t> UnpairedHeads(const TableSet& tables) {
    std::set<std::string> listed;
    for (std::size_t r = 0; r < tables.outputs.row_count(); ++r)
        for (const std::string& sn : SplitFragmentList(tables.outputs.cell(r, outc::FragmentList)))
            listed.insert(sn);
    std::vector<std::size_t> heads;
    for (std::size_t k = 0; k < tables.fragments.row_count(); ++k)
        if (tables.fragments.cell(k, frag::StartType) == "HEAD" &&
            !listed.contains(tables.fragments.cell(k, frag::SN)))
            heads.push_back(k);
    return heads;
}

std::vector<LostHeader> RebuildLostHeaders(const SourceReader& source, const TableSet& tables,
                                           const std::vector<ReferenceMovie>& references,
                                           const StopFlag* stop, const FollowSetup* follow) {
    const SourceBytes bytes(source, 0);
    std::vector<LostHeader> lost;
    for (const std::size_t k : UnpairedHeads(tables)) {
        if (stop && stop->load() != 0) break;
        const auto offset = parse_int64(tables.fragments.cell(k, frag::StartOffset));
        LostHeader h{k, offset.value_or(-1), tables.fragments.cell(k, frag::ShootDate),
                     std::unexpected(std::string("起始偏移无效"))};
        if (offset && *offset >= 0) h.rebuilt = RebuildHeader(bytes, *offset, references, follow);
        lost.push_back(std::move(h));
    }
    return lost;
}

namespace {

// The row of piece k of a split file; answers its 编号.
std::int64_t AddPieceRow(TextTable& fragments, const RebuiltFile& f, std::size_t k) {
    const MediaPiece& p = f.pieces[k];
    const std::uint64_t end = k + 1 < f.pieces.size() ? f.pieces[k + 1].file_offset : f.copy_length;
    const auto length = static_cast<std::int64_t>(end - p.file_offset);
    const auto sn = static_cast<std::int64_t>(fragments.row_count());
    AddFragmentRow(fragments, sn, MediaPieceRow(p.source_offset, length));
    return sn;
}

}  // namespace

RebuiltFiles ListRebuilt(TableSet& tables, const std::vector<LostHeader>& lost) {
    // Numbers go on after the largest one listed, so none is taken twice.
    std::int64_t number = 0;
    for (std::size_t r = 0; r < tables.outputs.row_count(); ++r)
        number =
            std::max(number, parse_int64(tables.outputs.cell(r, outc::Number)).value_or(-1) + 1);
    RebuiltFiles files;
    for (const LostHeader& h : lost) {
        if (!h.rebuilt) continue;
        const auto length = static_cast<std::int64_t>(h.rebuilt->size());
        StagedOutputRow row;
        row.file_length = dec(length);
        row.fragment_count = dec(static_cast<std::int64_t>(1 + h.rebuilt->pieces.size()));
        row.quality = kRebuiltQuality;
        row.fragment_list = tables.fragments.cell(h.fragment_row, frag::SN) + ",";
        for (std::size_t k = 0; k < h.rebuilt->pieces.size(); ++k)
            row.fragment_list += dec(AddPieceRow(tables.fragments, *h.rebuilt, k)) + ",";
        row.frames = dec(static_cast<std::int64_t>(h.rebuilt->frames));
        row.shoot_date = h.shoot_date;
        AddOutputRow(tables.outputs, number, row);
        AddResultRow(tables.results, number, HumanLength(length), row.fragment_count, row.quality,
                     row.frames, row.shoot_date);
        files.emplace(dec(number), *h.rebuilt);
        ++number;
    }
    return files;
}

std::string DescribeNotRebuilt(const LostHeader& h) {
    return "无法重建偏移" + dec(h.offset) + "处的视频 (" + h.shoot_date +
           "): " + (h.rebuilt ? std::string() : h.rebuilt.error());
}

bool LostHeaders::any_failed() const {
    return std::any_of(found.begin(), found.end(),
                       [](const LostHeader& h) { return !h.rebuilt.has_value(); });
}

LostHeaders RebuildUnpairedHeads(const SourceReader& source, ScanTables& tables,
                                 const std::vector<ReferenceMovie>& references,
                                 const StopFlag* stop, const FollowSetup* follow) {
    LostHeaders lost;
    lost.found = RebuildLostHeaders(source, tables.snapshot(), references, stop, follow);
    lost.stopped = stop && stop->load() != 0;
    lost.rebuilt = tables.with([&](TableSet& t) { return ListRebuilt(t, lost.found); });
    return lost;
}

}  // namespace tav
