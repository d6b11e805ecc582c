#include "list_view.hpp"

#include <QHeaderView>

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
    return view;
}

}  // namespace tav::app
