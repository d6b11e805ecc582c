#pragma once
// Paths travel through the program as UTF-8 std::strings (what Qt hands over,
// and what the narrow Windows calls take under the programs' UTF-8 code
// page). The standard library's own narrow conversion is not UTF-8 on
// Windows, so every path made from or turned into a string goes through here.

#include <filesystem>
#include <string>
#include <string_view>

namespace tav {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace tav
