#include "table_refresher.hpp"

namespace tav::app {

namespace {
constexpr int kCoalesceMs = 150;
}

TableRefresher::TableRefresher(ScanTables& tables, QObject* parent) : QObject(parent) {
    models_ = {new TableModel(tables, &TableSet::fragments, this),
               new TableModel(tables, &TableSet::outputs, this),
               new TableModel(tables, &TableSet::results, this)};
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(kCoalesceMs);
        const auto id = static_cast<TableId>(i);
        connect(timer, &QTimer::timeout, this, [this, i, id] {
            models_[i]->refresh();
            emit refreshed(id);
        });
        timers_[i] = timer;
    }
}

void TableRefresher::changed(TableId table) {
    QTimer* timer = timers_[index(table)];
    if (!timer->isActive()) timer->start();
}

void TableRefresher::refresh_all() {
    for (std::size_t i = 0; i < models_.size(); ++i) {
        timers_[i]->stop();
        models_[i]->refresh();
        emit refreshed(static_cast<TableId>(i));
    }
}

}  // namespace tav::app
