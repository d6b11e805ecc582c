#include "recovery/row_plan.hpp"

#include "common/decimal.hpp"

namespace tav {

std::expected<const RebuiltFile*, std::string> RebuiltFor(const RebuiltFiles* rebuilt,
                                                          const TableSet& tables,
                                                          const RebuildRow& row,
                                                          std::string_view quality) {
    if (quality != kRebuiltQuality) return nullptr;
    const auto it = rebuilt ? rebuilt->find(row.number) : RebuiltFiles::const_iterator{};
    if (!rebuilt || it == rebuilt->end())
        return std::unexpected("编号" + row.number + "没有重建的文件头");
    const auto ranges = ResolveFragments(tables, row);
    if (!ranges || ranges->start_offsets.front() != dec(it->second.source_offset))
        return std::unexpected("编号" + row.number + "的重建文件头不属于它的视频开头");
    return &it->second;
}

std::expected<RowPlan, std::string> PlanFor(const TableSet& tables, const RebuildRow& row,
                                            std::string_view quality, const RebuiltFiles* rebuilt) {
    const auto header = RebuiltFor(rebuilt, tables, row, quality);
    if (!header) return std::unexpected(header.error());
    auto ranges = ResolveFragments(tables, row);
    if (!ranges) return std::unexpected(ranges.error());
    RowPlan plan{std::move(*ranges), std::nullopt};
    if (*header) plan.rebuilt = **header;
    return plan;
}

std::expected<RowPlan, std::string> PlanResultRow(const TableSet& tables, std::size_t s,
                                                  const RebuiltFiles* rebuilt) {
    return PlanFor(tables, ReadRebuildRow(tables.results, s), tables.results.cell(s, resc::Quality),
                   rebuilt);
}

std::expected<AssembledFile, CopyError> OpenPlanned(const SourceReader& source,
                                                    const RowPlan& plan) {
    return plan.rebuilt ? AssembledFile::open(source, *plan.rebuilt)
                        : AssembledFile::open(source, plan.ranges);
}

}  // namespace tav
