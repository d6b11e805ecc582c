#pragma once
// A read-through model of one scan table. The rows live in core's ScanTables;
// the model reads them through the tables' lock and writes ticks back.

#include <QAbstractTableModel>

#include "scan/scan_tables.hpp"

namespace tav::app {

class TableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // table: which table of the set, e.g. &TableSet::results.
    TableModel(ScanTables& tables, TextTable TableSet::*table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Re-reads the row count and repaints; call after the table changed.
    void refresh();

  private:
    ScanTables& tables_;
    TextTable TableSet::*table_;
    std::vector<std::string> titles_;  // fixed for the table's life
    int rows_ = 0;
};

}  // namespace tav::app
