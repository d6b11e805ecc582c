#include "result_table_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "common/camera_date.hpp"
#include "common/decimal.hpp"
#include "json_writer.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/rebuild_rows.hpp"

namespace tav::cli {

namespace {

bool IsWide(std::uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

void WriteRows(JsonWriter& json, const TextTable& table) {
    json.begin_array();
    for (const auto& row : table.rows()) {
        json.begin_array();
        for (const auto& cell : row.cells) json.value(cell);
        json.end_array();
    }
    json.end_array();
}

// The typed values beside a result's texts: what the save would write (the
// fragments' source ranges and their total), the frame count as a number,
// the date in ISO 8601. null where a text does not parse. A rebuilt file
// copies one range and ends with its new header.
void WriteTypedValues(JsonWriter& json, const TableSet& tables, std::size_t s,
                      const RebuiltFile* rebuilt) {
    std::expected<std::vector<ByteRange>, CopyError> planned =
        std::unexpected(CopyError{CopyFailure::BadOffset, 0, {}});
    if (rebuilt)
        planned = std::vector<ByteRange>{
            {rebuilt->source_offset, static_cast<std::int64_t>(rebuilt->copy_length)}};
    else if (const auto ranges = ResolveFragments(tables, ReadRebuildRow(tables.results, s)))
        planned = PlannedSourceRanges(*ranges, -1);
    json.key("length_bytes");
    if (rebuilt)
        json.value(static_cast<std::int64_t>(rebuilt->size()));
    else
        planned ? json.value(TotalLength(*planned)) : json.null();
    json.key("frame_count");
    const auto frames = parse_int64(tables.results.cell(s, resc::Frames));
    frames ? json.value(*frames) : json.null();
    json.key("date_iso");
    const auto iso = IsoDate(tables.results.cell(s, resc::ShootDate));
    iso ? json.value(*iso) : json.null();
    json.key("fragment_ranges").begin_array();
    if (planned)
        for (const ByteRange& r : *planned)
            json.begin_object()
                .key("offset")
                .value(r.offset)
                .key("length")
                .value(r.length)
                .end_object();
    json.end_array();
}

// The JPEG of the first frame, null when it did not decode; the length in
// whole milliseconds, null when unknown.
void WriteThumbnail(JsonWriter& json, const RowThumbnail& t) {
    json.key("thumbnail");
    t.path ? json.value(*t.path) : json.null();
    json.key("duration_ms");
    t.duration_seconds
        ? json.value(static_cast<std::int64_t>(std::llround(*t.duration_seconds * 1000.0)))
        : json.null();
}

void WriteNotRebuilt(JsonWriter& json, const LostHeaders& lost) {
    json.key("not_rebuilt").begin_array();
    for (const LostHeader& h : lost.found) {
        if (h.rebuilt) continue;
        json.begin_object();
        json.key("offset").value(h.offset);
        json.key("date").value(h.shoot_date);
        json.key("error").value(h.rebuilt.error());
        json.end_object();
    }
    json.end_array();
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
    const std::string_view s = text;
    std::size_t width = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 1;
        if (i + n > s.size()) n = 1;
        std::uint32_t cp = n == 1 ? c : (c & (0x7F >> n));
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        width += IsWide(cp) ? 2 : 1;
        i += n;
    }
    return width;
}

void PrintTable(std::ostream& out, const TextTable& table) {
    std::vector<std::size_t> widths(table.column_count(), 0);
    for (std::size_t c = 0; c < widths.size(); ++c) {
        widths[c] = DisplayWidth(table.titles()[c]);
        for (const auto& row : table.rows())
            widths[c] = std::max(widths[c], DisplayWidth(row.cells[c]));
    }
    auto print_row = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < widths.size(); ++c) {
            out << cells[c];
            if (c + 1 < widths.size())
                out << std::string(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
        }
        out << '\n';
    };
    print_row(table.titles());
    for (const auto& row : table.rows()) print_row(row.cells);
}

void WriteScanJson(std::ostream& out, const TableSet& tables, const ScanOutcome* outcome,
                   const std::vector<RowThumbnail>* thumbnails, const LostHeaders* lost,
                   const std::vector<RowCheck>* checks) {
    const RebuiltFiles* rebuilt = lost ? &lost->rebuilt : nullptr;
    JsonWriter json(out);
    json.begin_object().key("format").value(std::int64_t{2}).key("results").begin_array();
    for (std::size_t s = 0; s < tables.results.row_count(); ++s) {
        const TableRow& row = tables.results.rows()[s];
        json.begin_object();
        json.key("number").value(row.cells[resc::Number]);
        json.key("length").value(row.cells[resc::FileLength]);
        json.key("fragment_count").value(row.cells[resc::FragmentCount]);
        json.key("quality").value(row.cells[resc::Quality]);
        json.key("frames").value(row.cells[resc::Frames]);
        json.key("date").value(row.cells[resc::ShootDate]);
        const auto header =
            rebuilt ? rebuilt->find(row.cells[resc::Number]) : RebuiltFiles::const_iterator{};
        const RebuiltFile* file = rebuilt && header != rebuilt->end() ? &header->second : nullptr;
        json.key("rebuilt").value(file != nullptr);
        WriteTypedValues(json, tables, s, file);
        if (thumbnails && s < thumbnails->size()) WriteThumbnail(json, (*thumbnails)[s]);
        if (checks && s < checks->size() && (*checks)[s].check) {
            json.key("verify");
            WriteCheckJson(json, *(*checks)[s].check);
        }
        json.end_object();
    }
    json.end_array();
    if (lost) WriteNotRebuilt(json, *lost);
    json.key("fragments");
    WriteRows(json, tables.fragments);
    json.key("outputs");
    WriteRows(json, tables.outputs);
    if (outcome) {
        json.key("stopped").value(outcome->stopped);
        json.key("unreadable").begin_array();
        for (const ByteRange& r : outcome->unreadable) {
            json.begin_object();
            json.key("offset").value(r.offset);
            json.key("length").value(r.length);
            json.end_object();
        }
        json.end_array();
        json.key("unreadable_bytes").value(TotalLength(outcome->unreadable));
    }
    json.end_object();
    out << '\n';
}

}  // namespace tav::cli
