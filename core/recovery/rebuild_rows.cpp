#include "recovery/rebuild_rows.hpp"

#include <optional>

#include "common/decimal.hpp"

namespace tav {

namespace {

std::optional<std::size_t> FindOutputRow(const TextTable& outputs, const std::string& number) {
    for (std::size_t r = 0; r < outputs.row_count(); ++r)
        if (outputs.cell(r, outc::Number) == number) return r;
    return std::nullopt;
}

}  // namespace

RebuildRow ReadRebuildRow(const TextTable& results, std::size_t position) {
    return RebuildRow{results.cell(position, resc::Number), results.cell(position, resc::Frames),
                      results.cell(position, resc::ShootDate),
                      results.cell(position, resc::FragmentCount)};
}

std::expected<FragmentRanges, std::string> ResolveFragments(const TableSet& tables,
                                                            const RebuildRow& row) {
    const auto out_row = FindOutputRow(tables.outputs, row.number);
    if (!out_row) return std::unexpected("输出列表中没有编号为" + row.number + "的文件");

    auto entries = SplitFragmentList(tables.outputs.cell(*out_row, outc::FragmentList));
    if (row.fragment_count == "1" && entries.size() > 1) entries.resize(1);
    if (entries.empty()) return std::unexpected(std::string("碎片列表为空"));

    FragmentRanges ranges;
    for (const auto& entry : entries) {
        const auto sn = parse_int64(entry);
        if (!sn) return std::unexpected("碎片列表中的\"" + entry + "\"不是有效的碎片编号");
        if (*sn < 0 || static_cast<std::uint64_t>(*sn) >= tables.fragments.row_count())
            return std::unexpected("碎片列表中的碎片" + entry + "不存在");
        const auto r = static_cast<std::size_t>(*sn);
        ranges.start_types.push_back(tables.fragments.cell(r, frag::StartType));
        ranges.start_offsets.push_back(tables.fragments.cell(r, frag::StartOffset));
        ranges.end_offsets.push_back(tables.fragments.cell(r, frag::EndOffset));
    }
    return ranges;
}

}  // namespace tav
