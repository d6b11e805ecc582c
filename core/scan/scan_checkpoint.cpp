#include "scan/scan_checkpoint.hpp"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "common/decimal.hpp"

namespace tav {

namespace {

constexpr std::string_view kMagic = "TAVORINE-MOV SCAN CHECKPOINT 1";

std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::string Hex(std::uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// Cells may hold any text: tabs and line ends are escaped.
std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\\') {
            out += text[k];
            continue;
        }
        if (++k == text.size()) return std::nullopt;
        switch (text[k]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> SplitOn(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(sep, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

std::string RangesText(const std::vector<ByteRange>& ranges) {
    std::string out;
    for (const ByteRange& r : ranges) {
        if (!out.empty()) out += ',';
        out += dec(r.offset) + ":" + dec(r.length);
    }
    return out;
}

std::optional<ByteRange> ParseRange(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto offset = parse_int64(text.substr(0, colon));
    const auto length = parse_int64(text.substr(colon + 1));
    if (!offset || !length || *offset < 0 || *length < 0 || *length > INT64_MAX - *offset)
        return std::nullopt;
    return ByteRange{*offset, *length};
}

std::optional<std::vector<ByteRange>> ParseRanges(std::string_view text) {
    std::vector<ByteRange> ranges;
    if (text.empty()) return ranges;
    for (const std::string_view part : SplitOn(text, ',')) {
        const auto r = ParseRange(part);
        if (!r) return std::nullopt;
        ranges.push_back(*r);
    }
    return ranges;
}

std::string Field(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '\t';
    line += value;
    line += '\n';
    return line;
}

// The fields of the head, read by name; each read checks what it takes.
class Fields {
  public:
    explicit Fields(std::map<std::string, std::string, std::less<>> values)
        : values_(std::move(values)) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    std::string text(std::string_view key) {
        const auto it = values_.find(key);
        if (it == values_.end()) {
            fail(key);
            return {};
        }
        auto plain = Unescape(it->second);
        if (!plain) fail(key);
        return plain.value_or("");
    }
    std::int64_t number(std::string_view key, std::int64_t low, std::int64_t high) {
        const auto v = parse_int64(text(key));
        if (!v || *v < low || *v > high) {
            fail(key);
            return low;
        }
        return *v;
    }
    bool flag(std::string_view key) { return number(key, 0, 1) == 1; }
    std::vector<ByteRange> ranges(std::string_view key) {
        auto r = ParseRanges(text(key));
        if (!r) fail(key);
        return r.value_or(std::vector<ByteRange>{});
    }
    ByteRange range(std::string_view key) {
        const auto r = ParseRange(text(key));
        if (!r) fail(key);
        return r.value_or(ByteRange{});
    }
    double real(std::string_view key) {
        const std::string t = text(key);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (t.empty() || end != t.c_str() + t.size() || !(v >= 0.0)) fail(key);
        return v;
    }

  private:
    void fail(std::string_view key) {
        if (error_.empty()) error_ = "字段 " + std::string(key) + " 不正确";
    }

    std::map<std::string, std::string, std::less<>> values_;
    std::string error_;
};

}  // namespace

std::string EncodeCheckpointHead(const ScanCheckpoint& c) {
    const SweepState& s = c.sweep;
    const ScanReaderMemory& r = s.reader;
    char gauge[40];
    std::snprintf(gauge, sizeof gauge, "%.17g", s.gauge);
    std::string out(kMagic);
    out += '\n';
    out += Field("source.path", Escape(c.source.path));
    out += Field("source.partition", dec(c.source.partition));
    out += Field("source.size", dec(c.source.size));
    out += Field("source.fingerprint", Escape(c.source.fingerprint));
    out += Field("settings.mode", dec(c.settings.scan_mode));
    out += Field("settings.scheme", dec(c.settings.format_scheme));
    out += Field("settings.tagged_only", dec(c.settings.tagged_only));
    out += Field("settings.large_only", dec(c.settings.large_only));
    out += Field("settings.kind", dec(c.settings.scan_kind));
    out += Field("settings.all_space", dec(c.settings.scan_all_space));
    out += Field("tables.source", Escape(c.source_field));
    out += Field("tables.file_type", Escape(c.file_type));
    out += Field("sweep.phase", dec(static_cast<int>(s.phase)));
    out += Field("sweep.w", dec(s.w));
    out += Field("sweep.resume_index", dec(s.resume_index.value_or(-1)));
    out += Field("sweep.starts_from", dec(s.starts_from));
    out += Field("sweep.fragments", dec(s.fragment_count));
    out += Field("sweep.videos", dec(s.video_count));
    out += Field("sweep.gauge", gauge);
    out += Field("sweep.again", RangesText(s.again));
    out += Field("reader.unreadable", RangesText(r.unreadable));
    out += Field("reader.passed_over", RangesText(r.passed_over));
    out += Field("reader.jump", RangesText({r.jump_area}));
    out += Field("reader.next_jump", dec(r.next_jump));
    out += Field("reader.revisiting", dec(r.revisiting));
    out += Field("reader.bytes_read", dec(r.bytes_read));
    return out;
}

std::string EncodeCheckpointRow(const TableRow& row) {
    std::string line = "row\t";
    line += row.checked ? '1' : '0';
    for (const std::string& cell : row.cells) {
        line += '\t';
        line += Escape(cell);
    }
    line += '\n';
    return line;
}

std::string EncodeCheckpointEnd(std::string_view before) {
    return Field("end", Hex(Fnv1a(before)));
}

std::string CheckpointFileName(const std::string& source_path, int partition) {
    return "scan-" + Hex(Fnv1a(source_path + '\n' + dec(partition))) + ".checkpoint";
}

std::string EncodeCheckpoint(const ScanCheckpoint& c) {
    std::string text = EncodeCheckpointHead(c);
    for (const TableRow& row : c.fragments) text += EncodeCheckpointRow(row);
    text += EncodeCheckpointEnd(text);
    return text;
}

std::expected<ScanCheckpoint, std::string> DecodeCheckpoint(std::string_view text) {
    const auto bad = [](std::string why) {
        return std::unexpected("扫描进度文件已损坏或不完整：" + std::move(why));
    };
    if (!text.starts_with(kMagic) || text.size() <= kMagic.size() || text[kMagic.size()] != '\n')
        return bad("不是扫描进度文件");
    // The closing line must be the last and must match everything before it:
    // a file cut short anywhere fails here.
    if (!text.ends_with('\n')) return bad("文件不完整");
    const std::size_t last = text.rfind('\n', text.size() - 2);
    const std::string_view before = text.substr(0, last + 1);
    if (text.substr(last + 1) != EncodeCheckpointEnd(before)) return bad("校验不符");

    std::map<std::string, std::string, std::less<>> values;
    std::vector<TableRow> rows;
    const std::string_view body = before.substr(kMagic.size() + 1);
    const std::vector<std::string_view> lines =
        body.empty() ? std::vector<std::string_view>{}
                     : SplitOn(body.substr(0, body.size() - 1), '\n');
    for (const std::string_view line : lines) {
        const std::vector<std::string_view> parts = SplitOn(line, '\t');
        if (parts[0] == "row") {
            if (parts.size() != frag::Count + 2 || (parts[1] != "0" && parts[1] != "1"))
                return bad("表格行不正确");
            TableRow row;
            row.checked = parts[1] == "1";
            for (std::size_t k = 2; k < parts.size(); ++k) {
                auto cell = Unescape(parts[k]);
                if (!cell) return bad("表格行不正确");
                row.cells.push_back(std::move(*cell));
            }
            rows.push_back(std::move(row));
            continue;
        }
        if (parts.size() != 2 || !rows.empty() || !values.emplace(parts[0], parts[1]).second)
            return bad("字段 " + std::string(parts[0]) + " 不正确");
    }

    Fields f(std::move(values));
    ScanCheckpoint c;
    c.source.path = f.text("source.path");
    c.source.partition = static_cast<int>(f.number("source.partition", 0, 1 << 20));
    c.source.size = f.number("source.size", -1, INT64_MAX);
    c.source.fingerprint = f.text("source.fingerprint");
    c.settings.scan_mode = static_cast<int>(f.number("settings.mode", 0, 2));
    c.settings.format_scheme = static_cast<int>(f.number("settings.scheme", 0, 1));
    c.settings.tagged_only = f.flag("settings.tagged_only");
    c.settings.large_only = f.flag("settings.large_only");
    c.settings.scan_kind = static_cast<int>(f.number("settings.kind", 0, 3));
    c.settings.scan_all_space = static_cast<int>(f.number("settings.all_space", 0, 1));
    c.source_field = f.text("tables.source");
    c.file_type = f.text("tables.file_type");
    SweepState& s = c.sweep;
    s.phase = static_cast<SweepState::Phase>(f.number("sweep.phase", 0, 2));
    s.w = f.number("sweep.w", 0, INT64_MAX / 512);
    const std::int64_t resume = f.number("sweep.resume_index", -1, 127);
    if (resume >= 0) s.resume_index = resume;
    s.starts_from = f.number("sweep.starts_from", 0, INT64_MAX / 512);
    s.fragment_count = f.number("sweep.fragments", 0, INT64_MAX);
    s.video_count = f.number("sweep.videos", 0, INT64_MAX);
    s.gauge = f.real("sweep.gauge");
    s.again = f.ranges("sweep.again");
    s.reader.unreadable = f.ranges("reader.unreadable");
    s.reader.passed_over = f.ranges("reader.passed_over");
    s.reader.jump_area = f.range("reader.jump");
    s.reader.next_jump = f.number("reader.next_jump", 0, INT64_MAX);
    s.reader.revisiting = f.flag("reader.revisiting");
    s.reader.bytes_read = f.number("reader.bytes_read", 0, INT64_MAX);
    if (!f.ok()) return bad(f.error());
    if (static_cast<std::int64_t>(rows.size()) != s.fragment_count) return bad("表格行数不符");
    c.fragments = std::move(rows);
    return c;
}

}  // namespace tav
