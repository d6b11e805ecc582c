#include "planned_row.hpp"

#include <algorithm>
#include <functional>
#include <string_view>

namespace tav::app {

namespace {

std::string HashOf(const ByteString& bytes) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return std::to_string(std::hash<std::string_view>{}(view));
}

std::string HeaderKey(const RebuiltFile& h) {
    std::string key = "rebuilt " + std::to_string(h.source_offset) + ' ' +
                      std::to_string(h.copy_length) + ' ' + std::to_string(h.patch_at) + ' ' +
                      HashOf(h.patch) + ' ' + HashOf(h.moov) + '\n';
    for (const MediaPiece& p : h.pieces)
        key += std::to_string(p.file_offset) + '>' + std::to_string(p.source_offset) + '\n';
    return key;
}

}  // namespace

std::expected<PlannedRow, std::string> PlanListRow(const TableSet& tables, const TextTable& list,
                                                   std::size_t s, ListColumns columns,
                                                   const RebuiltFiles* rebuilt) {
    const RebuildRow row{
        list.cell(s, columns.number), {}, {}, list.cell(s, columns.fragment_count)};
    auto plan = PlanFor(tables, row, list.cell(s, columns.quality), rebuilt);
    if (!plan) return std::unexpected(plan.error());
    return PlannedRow{tables.source_field, std::move(*plan)};
}

std::string PlanKey(const PlannedRow& row) {
    // Fields end in '\n', which none of them holds, so no two plans join alike.
    std::string key = row.source_path + '\n';
    const FragmentRanges& r = row.plan.ranges;
    for (std::size_t i = 0; i < r.size(); ++i)
        key += r.start_types[i] + ' ' + r.start_offsets[i] + ' ' + r.end_offsets[i] + '\n';
    if (row.plan.rebuilt) key += HeaderKey(*row.plan.rebuilt);
    return key;
}

bool SameHeaders(const RebuiltFiles& a, const RebuiltFiles& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && HeaderKey(x.second) == HeaderKey(y.second);
    });
}

}  // namespace tav::app
