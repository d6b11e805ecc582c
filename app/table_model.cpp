#include "table_model.hpp"

#include <climits>

namespace tav::app {

TableModel::TableModel(ScanTables& tables, TextTable TableSet::*table, QObject* parent)
    : QAbstractTableModel(parent),
      tables_(tables),
      table_(table),
      titles_(tables.with([table](const TableSet& t) { return (t.*table).titles(); })) {
    refresh();
}

int TableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size() + extra_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto col = static_cast<std::size_t>(index.column());
    if (col >= titles_.size()) {
        if (role != Qt::DisplayRole || col - titles_.size() >= extra_.size()) return {};
        return extra_[col - titles_.size()]->cell(row);
    }
    // The table may have shrunk since the last refresh: cell() reads empty then.
    if (role == Qt::DisplayRole)
        return QString::fromStdString(
            tables_.with([&](const TableSet& t) { return (t.*table_).cell(row, col); }));
    if (role == Qt::CheckStateRole && col == 0)
        return tables_.with([&](const TableSet& t) { return (t.*table_).checked(row); })
                   ? Qt::Checked
                   : Qt::Unchecked;
    return {};
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
    const bool on = value.toInt() == static_cast<int>(Qt::Checked);
    tables_.with(
        [&](TableSet& t) { (t.*table_).set_checked(static_cast<std::size_t>(index.row()), on); });
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section;
    if (section < 0) return {};
    const auto col = static_cast<std::size_t>(section);
    if (col < titles_.size()) return QString::fromStdString(titles_[col]);
    if (col - titles_.size() < extra_.size()) return extra_[col - titles_.size()]->title();
    return {};
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

void TableModel::refresh() {
    beginResetModel();
    for (const auto& column : extra_) column->rows_changed();
    rows_ = tables_.with([this](const TableSet& t) {
        return static_cast<int>(std::min<std::size_t>((t.*table_).row_count(), INT_MAX));
    });
    endResetModel();
}

int TableModel::add_column(std::unique_ptr<ExtraColumn> column) {
    const int at = columnCount();
    beginInsertColumns({}, at, at);
    extra_.push_back(std::move(column));
    endInsertColumns();
    return at;
}

void TableModel::column_changed(int column) {
    if (rows_ > 0) emit dataChanged(index(0, column), index(rows_ - 1, column), {Qt::DisplayRole});
}

}  // namespace tav::app
