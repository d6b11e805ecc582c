#pragma once
// Every change a scan worker makes to the scan tables: one change under the
// tables' lock, then the views are told.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/reporter.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

class TableWriter {
  public:
    TableWriter(ScanTables& tables, WorkerReporter& reporter)
        : tables_(tables), reporter_(reporter) {}

    void add_fragment(std::int64_t fragment_count, const StagedFragmentRow& row);
    void set_fragment_cell(std::size_t row, std::size_t col, std::string text);
    void sort_fragments_by(std::size_t col);
    // Drops the rows after the first `rows`: those found past the place a
    // scan will be resumed from.
    void truncate_fragments(std::size_t rows);
    void add_output(std::int64_t number, const StagedOutputRow& row);
    void add_result(std::int64_t number, const std::string& file_length,
                    const std::string& fragment_count, const std::string& quality,
                    const std::string& frames, const std::string& shoot_date);

    // Reads under the lock.
    std::string fragment_cell(std::size_t row, std::size_t col) const;
    std::string output_cell(std::size_t row, std::size_t col) const;
    std::size_t fragment_rows() const;
    std::size_t output_rows() const;

  private:
    ScanTables& tables_;
    WorkerReporter& reporter_;
};

}  // namespace tav
