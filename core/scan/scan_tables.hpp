#pragma once
// The three scan tables, kept as rows of the exact cell texts the views show
// and the later steps parse back. Column 0 is the row caption.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tav {

// FragmentTable columns.
namespace frag {
enum Col : std::size_t {
    SN = 0,
    StartType,      // "HEAD" / "moov"
    StartOffset,    // byte offset of the fragment's first byte
    EndType,        // "mdat" / "moov" / "ftyp"
    EndOffset,      // last byte at insertion; exclusive end once a HEAD is paired
    LengthSectors,  // sectors touched minus one
    FileLength,     // whole file's bytes, on graded moov rows
    Frames,
    ShootDate,
    OwnLength,  // end of mdat relative to the fragment (HEAD) / media end (moov)
    Fragments,  // fragment list
    StszOff,
    StcoOff,
    Order,  // "1" HEAD, "0" moov
    Quality,
    Count
};
}  // namespace frag

// OutputTable columns.
namespace outc {
enum Col : std::size_t {
    Number = 0,
    FileLength,
    FragmentCount,
    Quality,
    MissingSectors,
    FragmentList,
    Frames,
    ShootDate,
    Count
};
}  // namespace outc

// ResultList columns.
namespace resc {
enum Col : std::size_t { Number = 0, FileLength, FragmentCount, Quality, Frames, ShootDate, Count };
}  // namespace resc

struct TableRow {
    std::vector<std::string> cells;  // cells[0] is the caption
    bool checked = false;
    bool operator==(const TableRow&) const = default;
};

class TextTable {
  public:
    explicit TextTable(std::vector<std::string> titles) : titles_(std::move(titles)) {}

    const std::vector<std::string>& titles() const { return titles_; }
    std::size_t column_count() const { return titles_.size(); }
    std::size_t row_count() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }

    // Appends a row; missing cells become empty, extra cells are dropped.
    std::size_t add_row(std::vector<std::string> cells, bool checked = false);
    void clear() { rows_.clear(); }

    // Out-of-range reads give an empty text; out-of-range writes do nothing.
    const std::string& cell(std::size_t row, std::size_t col) const;
    void set_cell(std::size_t row, std::size_t col, std::string text);
    bool checked(std::size_t row) const { return row < rows_.size() && rows_[row].checked; }
    void set_checked(std::size_t row, bool on) {
        if (row < rows_.size()) rows_[row].checked = on;
    }

    const TableRow& row(std::size_t r) const { return rows_.at(r); }
    const std::vector<TableRow>& rows() const { return rows_; }
    std::vector<TableRow>& rows() { return rows_; }

    // Stable ascending sort by the 64-bit value of one column (CompareOrder).
    void sort_by_column(std::size_t col);

    bool operator==(const TextTable& o) const { return titles_ == o.titles_ && rows_ == o.rows_; }

  private:
    std::vector<std::string> titles_;
    std::vector<TableRow> rows_;
};

TextTable make_fragment_table();
TextTable make_output_table();
TextTable make_result_list();

// The tables of one scan plus the expert view's "Source:" field, which the
// save and the scan-result file read.
struct TableSet {
    TextTable fragments = make_fragment_table();
    TextTable outputs = make_output_table();
    TextTable results = make_result_list();
    std::string source_field;
    // The file type the scan looked for (FileTypeText); empty when unknown,
    // as for scan-result files of earlier versions.
    std::string file_type;

    void clear_tables() {
        fragments.clear();
        outputs.clear();
        results.clear();
    }
};

// The tables a worker fills while the views show them. The lock is the
// tables' own: callers run a function under it (with) or take a copy
// (snapshot), so none can forget it or hold it longer than that function.
// Nothing under the lock may wait for another thread (a message box, a
// blocking call to the GUI thread): that thread may be waiting for the lock.
class ScanTables {
  public:
    ScanTables() = default;
    explicit ScanTables(TableSet initial) : data_(std::move(initial)) {}
    ScanTables(const ScanTables&) = delete;
    ScanTables& operator=(const ScanTables&) = delete;

    // f(TableSet&) under the lock; its result is returned by value, so no
    // reference into the tables outlives the lock.
    template <class F>
    auto with(F&& f) {
        const std::lock_guard lock(mutex_);
        return std::forward<F>(f)(data_);
    }
    template <class F>
    auto with(F&& f) const {
        const std::lock_guard lock(mutex_);
        return std::forward<F>(f)(static_cast<const TableSet&>(data_));
    }

    TableSet snapshot() const {
        return with([](const TableSet& t) { return t; });
    }

  private:
    TableSet data_;
    mutable std::mutex mutex_;
};

// The twelve staged strings of a fragment row: columns 1 to 13 without 10.
struct StagedFragmentRow {
    std::string start_type, start_offset, end_type, end_offset, length_sectors, file_length, frames,
        shoot_date, own_length, stsz_off, stco_off, order;
};

struct StagedOutputRow {
    std::string file_length, fragment_count, quality, fragment_list, missing_sectors, frames,
        shoot_date;
};

// The row of a further piece of a split file's media data ("mdat"), which
// lies at source_offset for length bytes.
StagedFragmentRow MediaPieceRow(std::int64_t source_offset, std::int64_t length);

// Adds nothing when fragment_count is 0; otherwise the row captioned with it.
void AddFragmentRow(TextTable& fragments, std::int64_t fragment_count, const StagedFragmentRow& s);
void AddOutputRow(TextTable& outputs, std::int64_t number, const StagedOutputRow& s);
void AddResultRow(TextTable& results, std::int64_t number, const std::string& file_length,
                  const std::string& fragment_count, const std::string& quality,
                  const std::string& frames, const std::string& shoot_date);

// 1 / -1 / 0 by the 64-bit values of column col (0 compares captions); cells
// that are not integers compare equal.
int CompareOrder(const TableRow& a, const TableRow& b, std::size_t col);

// "12,3," -> {"12","3"}; ",3," -> {"","3"}; text after the last comma is ignored.
std::vector<std::string> SplitFragmentList(std::string_view list);

// 1.5GB, 117.74MB, 12KB, 512Byte: two decimals, halves to even, shortest form.
std::string HumanLength(std::int64_t bytes);

}  // namespace tav
