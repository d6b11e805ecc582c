// Loading a scan-result file: decoding its lines, finding the sections,
// adding the rows. A file that loads is saved again in memory and must load
// to the same tables, and the loader that reads the file from disk must
// agree with the parse of its bytes.
//
// Input: the file's bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/reporter.hpp"
#include "fuzz_support.hpp"
#include "recovery/base64.hpp"
#include "recovery/cp936_text.hpp"
#include "recovery/scan_result_file.hpp"
#include "recovery/scan_result_lines.hpp"
#include "scan/scan_tables.hpp"

namespace {

bool SameTables(const tav::TableSet& a, const tav::TableSet& b) {
    return a.source_field == b.source_field && a.fragments == b.fragments &&
           a.outputs == b.outputs && a.results == b.results;
}

// The file SaveScanResult writes, built in memory; nothing when some text
// has no CP936 form (the save refuses such tables as well).
std::optional<std::string> Saved(const tav::TableSet& tables) {
    std::string out;
    for (const auto& line : tav::BuildScanResultLines(tables, tables.source_field)) {
        const auto ansi = tav::Utf8ToCp936(line);
        if (!ansi) return std::nullopt;
        out += tav::Base64Encode(*ansi);
        out += "\r\n";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = tav::ParseScanResultText(bytes);

    tav::ScanTables live;
    tav::NullReporter reporter;
    const std::string& path = tav::fuzz::InputFile().hold(data, size);
    const bool load_ok = tav::LoadScanResult(live, path, reporter);
    TAV_FUZZ_CHECK(load_ok == parsed.has_value());
    const tav::TableSet loaded = live.snapshot();
    if (!parsed) {
        // A damaged file leaves the tables as they were.
        TAV_FUZZ_CHECK(SameTables(loaded, tav::TableSet{}));
        return 0;
    }

    tav::TableSet tables;
    tav::AddParsedRows(tables, *parsed);
    TAV_FUZZ_CHECK(SameTables(tables, loaded));
    TAV_FUZZ_CHECK(tables.fragments.row_count() == parsed->fragment_lines.size());
    TAV_FUZZ_CHECK(tables.outputs.row_count() == parsed->output_lines.size());
    TAV_FUZZ_CHECK(tables.results.row_count() == parsed->result_lines.size());

    const auto saved = Saved(tables);
    if (!saved) return 0;
    const auto reparsed = tav::ParseScanResultText(*saved);
    TAV_FUZZ_CHECK(reparsed.has_value());
    tav::TableSet again;
    tav::AddParsedRows(again, *reparsed);
    TAV_FUZZ_CHECK(SameTables(again, tables));
    return 0;
}
