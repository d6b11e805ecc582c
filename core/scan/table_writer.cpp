#include "scan/table_writer.hpp"

namespace tav {

void TableWriter::add_fragment(std::int64_t fragment_count, const StagedFragmentRow& row) {
    tables_.with([&](TableSet& t) { AddFragmentRow(t.fragments, fragment_count, row); });
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::set_fragment_cell(std::size_t row, std::size_t col, std::string text) {
    tables_.with([&](TableSet& t) { t.fragments.set_cell(row, col, std::move(text)); });
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::sort_fragments_by(std::size_t col) {
    tables_.with([&](TableSet& t) { t.fragments.sort_by_column(col); });
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::truncate_fragments(std::size_t rows) {
    tables_.with([&](TableSet& t) {
        if (t.fragments.row_count() > rows) t.fragments.rows().resize(rows);
    });
    reporter_.table_changed(TableId::Fragments);
}

void TableWriter::add_output(std::int64_t number, const StagedOutputRow& row) {
    tables_.with([&](TableSet& t) { AddOutputRow(t.outputs, number, row); });
    reporter_.table_changed(TableId::Outputs);
}

void TableWriter::add_result(std::int64_t number, const std::string& file_length,
                             const std::string& fragment_count, const std::string& quality,
                             const std::string& frames, const std::string& shoot_date) {
    tables_.with([&](TableSet& t) {
        AddResultRow(t.results, number, file_length, fragment_count, quality, frames, shoot_date);
    });
    reporter_.table_changed(TableId::Results);
}

std::string TableWriter::fragment_cell(std::size_t row, std::size_t col) const {
    return tables_.with([&](const TableSet& t) { return t.fragments.cell(row, col); });
}

std::string TableWriter::output_cell(std::size_t row, std::size_t col) const {
    return tables_.with([&](const TableSet& t) { return t.outputs.cell(row, col); });
}

std::size_t TableWriter::fragment_rows() const {
    return tables_.with([](const TableSet& t) { return t.fragments.row_count(); });
}

std::size_t TableWriter::output_rows() const {
    return tables_.with([](const TableSet& t) { return t.outputs.row_count(); });
}

}  // namespace tav
