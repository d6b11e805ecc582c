#include "recovery/scan_result_file.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/utf8_path.hpp"
#include "recovery/base64.hpp"
#include "recovery/cp936_text.hpp"
#include "recovery/scan_result_lines.hpp"

namespace tav {

namespace {

UserMessage Warning(const char* caption, const char* text) {
    return UserMessage{caption, text, MsgIcon::Warning, MsgButtons::Ok};
}

// Every text line in CP936, Base64-encoded, each ended by CR LF.
std::optional<std::string> EncodeLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        const auto ansi = Utf8ToCp936(line);
        if (!ansi) return std::nullopt;
        out += Base64Encode(*ansi);
        out += "\r\n";
    }
    return out;
}

// Writes beside the target first, so a failed write leaves an older file of
// that name as it was.
bool ReplaceFile(const std::string& file_name, const std::string& content) {
    const std::filesystem::path target = PathFromUtf8(file_name);
    std::filesystem::path temp = target;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

std::optional<std::string> ReadWholeFile(const std::string& file_name) {
    std::error_code ec;
    const std::filesystem::path path = PathFromUtf8(file_name);
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxScanResultFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(text).str();
}

}  // namespace

bool SaveScanResult(const ScanTables& tables, const std::string& source_text,
                    const std::string& file_name, WorkerReporter& reporter) {
    const std::optional<std::string> content = tables.with(
        [&](const TableSet& t) { return EncodeLines(BuildScanResultLines(t, source_text)); });
    if (!content || file_name.empty() || !ReplaceFile(file_name, *content)) {
        reporter.message_box(Warning("转换出错", "LV转换日志文件出错!"));
        return false;
    }
    return true;
}

bool LoadScanResult(ScanTables& tables, const std::string& file_name, WorkerReporter& reporter) {
    const auto raw = ReadWholeFile(file_name);
    if (!raw) {
        reporter.message_box(Warning("加载出错", "加载日志文件出错!"));
        return false;
    }
    const auto parsed = ParseScanResultText(*raw);
    if (!parsed) {
        reporter.message_box(Warning("日志转换LV出错", "日志文件加载LV表出错"));
        return false;
    }
    tables.with([&](TableSet& t) { AddParsedRows(t, *parsed); });
    reporter.table_changed(TableId::Fragments);
    reporter.table_changed(TableId::Outputs);
    reporter.table_changed(TableId::Results);
    return true;
}

std::string DefaultScanResultName(const std::tm& local_time) {
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local_time);
    return std::string("ZoruzAvu-") + stamp + ".vyr";
}

UserMessage EmptySavePathMessage() {
    return UserMessage{"路径为空", "保存路径不能为空，请重新设置!", MsgIcon::Information,
                       MsgButtons::Ok};
}

UserMessage EmptyLoadPathMessage() {
    return UserMessage{"路径为空", "加载路径不能为空，请重新设置!", MsgIcon::Information,
                       MsgButtons::Ok};
}

}  // namespace tav
