#include "scan/scan_tables.hpp"

#include <algorithm>

#include "common/decimal.hpp"

namespace tav {

namespace {
const std::string kEmpty;
}

std::size_t TextTable::add_row(std::vector<std::string> cells, bool checked) {
    cells.resize(titles_.size());
    rows_.push_back(TableRow{std::move(cells), checked});
    return rows_.size() - 1;
}

const std::string& TextTable::cell(std::size_t row, std::size_t col) const {
    if (row >= rows_.size() || col >= rows_[row].cells.size()) return kEmpty;
    return rows_[row].cells[col];
}

void TextTable::set_cell(std::size_t row, std::size_t col, std::string text) {
    if (row >= rows_.size() || col >= rows_[row].cells.size()) return;
    rows_[row].cells[col] = std::move(text);
}

void TextTable::sort_by_column(std::size_t col) {
    std::stable_sort(rows_.begin(), rows_.end(), [col](const TableRow& a, const TableRow& b) {
        return CompareOrder(a, b, col) < 0;
    });
}

TextTable make_fragment_table() {
    return TextTable({"SN", "碎片起始类型", "碎片起始偏移", "碎片结束类型", "碎片结束偏移",
                      "碎片长度(单位:扇区)", "文件长度(单位:字节)", "帧数", "拍摄日期",
                      "各自长度(mdat和Head中最后一个)", "关联碎片列表", "STSZ-OFF", "STCO-OFF",
                      "排序", "文件质量"});
}

TextTable make_output_table() {
    return TextTable(
        {"编号", "文件长度", "碎片数量", "文件质量", "缺少扇区", "碎片列表", "帧数", "拍摄日期"});
}

TextTable make_result_list() {
    return TextTable({"编号", "文件长度", "碎片数量", "文件质量", "帧数", "拍摄日期"});
}

StagedFragmentRow MediaPieceRow(std::int64_t source_offset, std::int64_t length) {
    StagedFragmentRow row;
    row.start_type = "mdat";
    row.start_offset = dec(source_offset);
    row.end_type = "mdat";
    std::int64_t end = 0;
    row.end_offset = dec(__builtin_add_overflow(source_offset, length, &end) ? 0 : end);
    row.length_sectors = dec(length / 512);
    row.own_length = dec(length);
    row.stsz_off = "0";
    row.stco_off = "0";
    row.order = "1";
    return row;
}

void AddFragmentRow(TextTable& fragments, std::int64_t fragment_count, const StagedFragmentRow& s) {
    if (fragment_count == 0) return;
    fragments.add_row({dec(fragment_count), s.start_type, s.start_offset, s.end_type, s.end_offset,
                       s.length_sectors, s.file_length, s.frames, s.shoot_date, s.own_length, "",
                       s.stsz_off, s.stco_off, s.order, ""});
}

void AddOutputRow(TextTable& outputs, std::int64_t number, const StagedOutputRow& s) {
    outputs.add_row({dec(number), s.file_length, s.fragment_count, s.quality, s.missing_sectors,
                     s.fragment_list, s.frames, s.shoot_date});
}

void AddResultRow(TextTable& results, std::int64_t number, const std::string& file_length,
                  const std::string& fragment_count, const std::string& quality,
                  const std::string& frames, const std::string& shoot_date) {
    results.add_row({dec(number), file_length, fragment_count, quality, frames, shoot_date});
}

int CompareOrder(const TableRow& a, const TableRow& b, std::size_t col) {
    const auto va = col < a.cells.size() ? parse_int64(a.cells[col]) : std::nullopt;
    const auto vb = col < b.cells.size() ? parse_int64(b.cells[col]) : std::nullopt;
    if (!va || !vb) return 0;
    return *va > *vb ? 1 : (*va < *vb ? -1 : 0);
}

std::vector<std::string> SplitFragmentList(std::string_view list) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (std::size_t comma = list.find(','); comma != std::string_view::npos;
         comma = list.find(',', start)) {
        entries.emplace_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return entries;
}

std::string HumanLength(std::int64_t bytes) {
    // Negative lengths come only from damaged cells; shown as they are.
    const std::string digits = std::to_string(bytes);
    int shift = 0;
    const char* unit = "Byte";
    if (bytes < 0 || digits.size() <= 3) return digits + unit;
    if (digits.size() >= 10) {
        shift = 30, unit = "GB";
    } else if (digits.size() >= 7) {
        shift = 20, unit = "MB";
    } else {
        shift = 10, unit = "KB";
    }
    // Exact hundredths: bytes * 100 / 2^shift, halves to even.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(bytes) * 100u;
    const unsigned __int128 divisor = static_cast<unsigned __int128>(1) << shift;
    unsigned __int128 hundredths = scaled / divisor;
    const unsigned __int128 rest = scaled % divisor;
    if (rest * 2 > divisor || (rest * 2 == divisor && (hundredths & 1) != 0)) ++hundredths;

    const auto whole = static_cast<std::uint64_t>(hundredths / 100);
    const auto frac = static_cast<unsigned>(hundredths % 100);
    std::string text = std::to_string(whole);
    if (frac != 0) {
        text += '.';
        text += static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0) text += static_cast<char>('0' + frac % 10);
    }
    return text + unit;
}

}  // namespace tav
