#pragma once
// A report-style list over a scan-table model: whole-row selection, check
// boxes in the first column, optional grid lines.

#include <QTableView>

namespace tav::app {

class TableModel;

QTableView* make_list_view(TableModel* model, bool grid_lines, bool multi_select, QWidget* parent);

}  // namespace tav::app
