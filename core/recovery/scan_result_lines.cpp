#include "recovery/scan_result_lines.hpp"

#include "recovery/base64.hpp"
#include "recovery/cp936_text.hpp"
#include "recovery/scan_result_file.hpp"

namespace tav {

namespace {

const std::string kFragmentEnd(27, '=');
const std::string kOutputEnd(28, '=');
const std::string kResultEnd(29, '=');
// The file type the scan used; the text must be CP936 like every line.
const std::string kFileTypePrefix = "文件类型=";

void AddTableLines(std::vector<std::string>& lines, const TextTable& table,
                   const std::string& separator) {
    for (const auto& row : table.rows()) lines.push_back(BuildRowLine(row, table.column_count()));
    lines.push_back(separator);
}

// Lines end at CR, LF or CR LF; a final terminator opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::optional<std::string> DecodeLine(std::string_view line) {
    if (line.size() > kMaxScanResultLineBytes) return std::nullopt;
    for (char c : line)
        if (static_cast<unsigned char>(c) < 43 || static_cast<unsigned char>(c) > 122)
            return std::nullopt;
    const auto bytes = Base64Decode(line);
    if (!bytes) return std::nullopt;
    return Cp936ToUtf8(*bytes);
}

// Moves decoded[from..] up to the first line equal to separator into out;
// returns the index after the separator, or nullopt when there is none.
std::optional<std::size_t> TakeSection(std::vector<std::string>& decoded, std::size_t from,
                                       const std::string& separator,
                                       std::vector<std::string>& out) {
    for (std::size_t i = from; i < decoded.size(); ++i) {
        if (decoded[i] == separator) return i + 1;
        out.push_back(std::move(decoded[i]));
    }
    return std::nullopt;
}

void AddRows(TextTable& table, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        std::vector<std::string> fields = SplitRowLine(line);
        fields.resize(table.column_count());
        table.add_row(std::move(fields));
    }
}

}  // namespace

std::string BuildRowLine(const TableRow& row, std::size_t column_count) {
    std::string line = row.cells.empty() ? std::string() : row.cells[0];
    for (std::size_t c = 1; c < column_count; ++c) {
        line += '^';
        if (c < row.cells.size()) line += row.cells[c];
    }
    return line;
}

std::vector<std::string> BuildScanResultLines(const TableSet& tables,
                                              const std::string& source_text) {
    std::vector<std::string> lines{source_text, kFragmentEnd};
    AddTableLines(lines, tables.fragments, kFragmentEnd);
    AddTableLines(lines, tables.outputs, kOutputEnd);
    AddTableLines(lines, tables.results, kResultEnd);
    // After the last section, where readers of earlier versions stop.
    if (!tables.file_type.empty()) lines.push_back(kFileTypePrefix + tables.file_type);
    return lines;
}

std::optional<ParsedScanResult> ParseScanResultText(std::string_view file_bytes) {
    std::vector<std::string> decoded;
    for (std::string_view line : SplitLines(file_bytes)) {
        auto text = DecodeLine(line);
        if (!text) return std::nullopt;
        decoded.push_back(std::move(*text));
    }
    if (decoded.empty()) return std::nullopt;

    ParsedScanResult parsed;
    parsed.source = decoded[0];
    auto next = TakeSection(decoded, 2, kFragmentEnd, parsed.fragment_lines);
    if (next) next = TakeSection(decoded, *next, kOutputEnd, parsed.output_lines);
    if (next) next = TakeSection(decoded, *next, kResultEnd, parsed.result_lines);
    if (!next) return std::nullopt;
    if (*next < decoded.size() && decoded[*next].starts_with(kFileTypePrefix))
        parsed.file_type = decoded[*next].substr(std::string_view(kFileTypePrefix).size());
    return parsed;
}

void AddParsedRows(TableSet& tables, const ParsedScanResult& parsed) {
    tables.source_field = parsed.source;
    tables.file_type = parsed.file_type;
    AddRows(tables.fragments, parsed.fragment_lines);
    AddRows(tables.outputs, parsed.output_lines);
    AddRows(tables.results, parsed.result_lines);
}

std::vector<std::string> SplitRowLine(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t hat = line.find('^'); hat != std::string::npos; hat = line.find('^', start)) {
        fields.push_back(line.substr(start, hat - start));
        start = hat + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

}  // namespace tav
