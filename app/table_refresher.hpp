#pragma once
// Holds the models of the three scan tables and coalesces the workers'
// change notices: a burst of thousands of row additions becomes one refresh
// per table every few tenths of a second.

#include <QObject>
#include <QTimer>
#include <array>

#include "common/reporter.hpp"
#include "table_model.hpp"

namespace tav::app {

class TableRefresher : public QObject {
    Q_OBJECT
  public:
    explicit TableRefresher(ScanTables& tables, QObject* parent = nullptr);

    TableModel* model(TableId table) { return models_[index(table)]; }
    // Schedules a refresh of one table.
    void changed(TableId table);
    // Refreshes every table at once (after the GUI itself changed them).
    void refresh_all();

  signals:
    void refreshed(tav::TableId table);

  private:
    static std::size_t index(TableId t) { return static_cast<std::size_t>(t); }

    std::array<TableModel*, 3> models_{};
    std::array<QTimer*, 3> timers_{};
};

}  // namespace tav::app
