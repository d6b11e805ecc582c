// The second phase of a scan over a table of fragments: sorting, reading
// each movie header's tables from the source, pairing, grading, and the
// output and result rows.
//
// Input: fragment rows as text, one row a line, cells separated by "^" as
// in a scan-result file (caption first); then a NUL byte; then the bytes of
// the source the rows' offsets point into.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/decimal.hpp"
#include "common/reporter.hpp"
#include "fuzz_support.hpp"
#include "platform/source_reader.hpp"
#include "recovery/scan_result_file.hpp"
#include "scan/fragment_analysis.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"
#include "scan/table_writer.hpp"

namespace {

// More rows add nothing the fuzzer cannot reach with fewer, only time.
constexpr std::size_t kMaxRows = 64;

void AddRows(tav::TextTable& fragments, std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size() && fragments.row_count() < kMaxRows) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line(text.substr(start, end - start));
        if (!line.empty()) fragments.add_row(tav::SplitRowLine(line));
        start = end + 1;
    }
}

bool Graded(const std::string& quality) {
    return quality == "好" || quality == "非常好" || quality == "不完整";
}

// The rows may come graded already; every grade but "差" is listed.
bool Listed(const std::string& quality) {
    return !quality.empty() && quality != "差";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = std::min(all.find('\0'), size);
    const std::string_view text = all.substr(0, nul);
    const std::size_t source_at = std::min(nul + 1, size);

    tav::TableSet before;
    AddRows(before.fragments, text);
    const std::size_t rows = before.fragments.row_count();
    tav::ScanTables live(before);

    const std::string& path = tav::fuzz::InputFile().hold(data + source_at, size - source_at);
    auto source = tav::SourceReader::open(path);
    TAV_FUZZ_CHECK(source.has_value());
    tav::ScanSettings settings;
    tav::NullReporter reporter;
    tav::TableWriter writer(live, reporter);
    tav::FragmentAnalysis(*source, settings, writer, reporter).run();
    const tav::TableSet tables = live.snapshot();

    const auto& fragments = tables.fragments;
    // Rows are only added: one per further piece of a split file.
    TAV_FUZZ_CHECK(fragments.row_count() >= rows);
    for (std::size_t k = rows; k < fragments.row_count(); ++k)
        TAV_FUZZ_CHECK(fragments.cell(k, tav::frag::StartType) == "mdat");
    std::size_t listed_headers = 0;
    for (std::size_t k = 0; k < rows; ++k) {
        TAV_FUZZ_CHECK(fragments.cell(k, tav::frag::SN) == tav::dec(static_cast<std::int64_t>(k)));
        if (fragments.cell(k, tav::frag::StartType) == "moov" &&
            Listed(fragments.cell(k, tav::frag::Quality)))
            ++listed_headers;
    }
    // One output row per listed header, one result row per output row.
    TAV_FUZZ_CHECK(tables.outputs.row_count() == listed_headers);
    TAV_FUZZ_CHECK(tables.results.row_count() == listed_headers);
    for (std::size_t k = 0; k < listed_headers; ++k) {
        TAV_FUZZ_CHECK(Graded(tables.outputs.cell(k, tav::outc::Quality)));
        TAV_FUZZ_CHECK(tables.results.cell(k, tav::resc::Quality) ==
                       tables.outputs.cell(k, tav::outc::Quality));
        const auto list = tav::SplitFragmentList(tables.outputs.cell(k, tav::outc::FragmentList));
        TAV_FUZZ_CHECK(tables.outputs.cell(k, tav::outc::FragmentCount) ==
                       tav::dec(static_cast<std::int64_t>(list.size())));
    }
    return 0;
}
