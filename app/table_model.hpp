#pragma once
// A read-through model of one scan table. The rows live in core's ScanTables;
// the model reads them through the tables' lock and writes ticks back.

#include <QAbstractTableModel>
#include <memory>

#include "scan/scan_tables.hpp"

namespace tav::app {

// A column the view shows after the table's own, made from what the program
// learnt about each row rather than stored in the table (which is what the
// scan-result file saves). Called on the GUI thread.
class ExtraColumn {
  public:
    virtual ~ExtraColumn() = default;
    virtual QString title() const = 0;
    virtual QString cell(std::size_t row) = 0;
    // The rows were read again: a row may stand for another video now.
    virtual void rows_changed() {}
};

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

    // Adds a column after the table's; answers its number.
    int add_column(std::unique_ptr<ExtraColumn> column);
    // Repaints an added column (its cells changed, the rows did not).
    void column_changed(int column);

  private:
    ScanTables& tables_;
    TextTable TableSet::*table_;
    std::vector<std::string> titles_;  // fixed for the table's life
    std::vector<std::unique_ptr<ExtraColumn>> extra_;
    int rows_ = 0;
};

}  // namespace tav::app
