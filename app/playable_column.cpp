#include "playable_column.hpp"

#include "play_check.hpp"
#include "playable_text.hpp"

namespace tav::app {

PlayableColumn::PlayableColumn(ScanTables& tables, const RebuiltFiles& rebuilt,
                               TextTable TableSet::*list, ListColumns columns,
                               const PlayCheck& check)
    : tables_(tables), rebuilt_(rebuilt), list_(list), columns_(columns), check_(check) {}

QString PlayableColumn::title() const {
    return QString::fromUtf8(preview::kPlayableTitle);
}

PlayableColumn::RowFile PlayableColumn::plan_row(std::size_t row) const {
    return tables_.with([&](const TableSet& t) {
        const TextTable& list = t.*list_;
        if (row >= list.row_count()) return RowFile{true, false, false, false, {}};
        const auto planned = PlanListRow(t, list, row, columns_, &rebuilt_);
        const bool rebuilt = list.cell(row, columns_.quality) == kRebuiltQuality;
        return planned ? RowFile{true, true, true, rebuilt, PlanKey(*planned)}
                       : RowFile{true, true, false, rebuilt, {}};
    });
}

QString PlayableColumn::cell(std::size_t row) {
    if (row >= files_.size()) files_.resize(row + 1);
    RowFile& file = files_[row];
    if (!file.known) file = plan_row(row);
    if (!file.listed) return {};
    if (!file.planned)
        return QString::fromStdString(
            preview::PlayableText(std::unexpected(preview::UnplannedRow(file.rebuilt, {}))));
    return check_.cell(file.key);
}

}  // namespace tav::app
