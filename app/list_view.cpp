#include "list_view.hpp"

#include <QHeaderView>
#include <algorithm>

#include "table_model.hpp"

namespace tav::app {

QTableView* make_list_view(TableModel* model, bool grid_lines, bool multi_select, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(multi_select ? QAbstractItemView::ExtendedSelection
                                        : QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(grid_lines);
    view->setAlternatingRowColors(!grid_lines);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(22);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setDefaultSectionSize(110);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setSectionsClickable(true);
    view->horizontalHeader()->setSortIndicatorShown(false);
    // Wide enough for each title; sizing by contents would read every row.
    const QFontMetrics metrics(view->horizontalHeader()->font());
    for (int col = 0; col < model->columnCount(); ++col) {
        const QString title = model->headerData(col, Qt::Horizontal, Qt::DisplayRole).toString();
        const int floor = title.contains(QStringLiteral("日期")) ? 160 : 90;
        view->setColumnWidth(col, std::max(floor, metrics.horizontalAdvance(title) + 28));
    }
    return view;
}

}  // namespace tav::app
