#include "scan/table_writer.hpp"

#include <mutex>

namespace tav {

void TableWriter::add_fragment(std::int64_t fragment_count, const StagedFragmentRow& row) {
    {
        std::lock_guard lock(tables_.mutex);
        AddFragmentRow(tables_.fragments, fragment_count, row);
    }
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::set_fragment_cell(std::size_t row, std::size_t col, std::string text) {
    {
        std::lock_guard lock(tables_.mutex);
        tables_.fragments.set_cell(row, col, std::move(text));
    }
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::sort_fragments_by(std::size_t col) {
    {
        std::lock_guard lock(tables_.mutex);
        tables_.fragments.sort_by_column(col);
    }
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::add_output(std::int64_t number, const StagedOutputRow& row) {
    {
        std::lock_guard lock(tables_.mutex);
        AddOutputRow(tables_.outputs, number, row);
    }
    reporter_.table_changed(TableId::Outputs);
}

void TableWriter::add_result(std::int64_t number, const std::string& file_length,
                             const std::string& fragment_count, const std::string& quality,
                             const std::string& frames, const std::string& shoot_date) {
    {
        std::lock_guard lock(tables_.mutex);
        AddResultRow(tables_.results, number, file_length, fragment_count, quality, frames,
                     shoot_date);
    }
    reporter_.table_changed(TableId::Results);
}

std::string TableWriter::fragment_cell(std::size_t row, std::size_t col) const {
    std::lock_guard lock(tables_.mutex);
    return tables_.fragments.cell(row, col);
}

std::string TableWriter::output_cell(std::size_t row, std::size_t col) const {
    std::lock_guard lock(tables_.mutex);
    return tables_.outputs.cell(row, col);
}

std::size_t TableWriter::fragment_rows() const {
    std::lock_guard lock(tables_.mutex);
    return tables_.fragments.row_count();
}

std::size_t TableWriter::output_rows() const {
    std::lock_guard lock(tables_.mutex);
    return tables_.outputs.row_count();
}

}  // namespace tav
