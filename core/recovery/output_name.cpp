#include "recovery/output_name.hpp"
#include "common/utf8_path.hpp"

#include <string_view>

namespace tav {

namespace {

// Longest name part kept from a cell; keeps the whole name far below the
// 255-byte limit of common file systems.
constexpr std::size_t kNumberBytes = 24;
constexpr std::size_t kFramesBytes = 24;
constexpr std::size_t kDateBytes = 64;

bool ForbiddenAscii(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    constexpr std::string_view kForbidden = "/\\<>:\"|?*";
    return kForbidden.find(static_cast<char>(c)) != std::string_view::npos;
}

// Length of the well-formed UTF-8 sequence at text[i], 0 when malformed.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

std::string SafeNamePart(std::string_view text, std::size_t max_bytes) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = 1;
        std::string_view piece = text.substr(i, 1);
        if (c >= 0x80) {
            n = Utf8Length(text, i);
            piece = n == 0 ? std::string_view("_") : text.substr(i, n);
            if (n == 0) n = 1;
        } else if (ForbiddenAscii(c) || (c == '.' && !out.empty() && out.back() == '.')) {
            piece = "_";  // forbidden here, and no ".." anywhere
        }
        if (out.size() + piece.size() > max_bytes) break;
        out += piece;
        i += n;
    }
    return out;
}

std::string MakeOutputName(std::string_view number, std::string_view frames,
                           std::string_view shoot_date, std::string_view extension) {
    if (!shoot_date.empty() && shoot_date.back() == '\0') shoot_date.remove_suffix(1);
    std::string date(shoot_date);
    for (char& c : date)
        if (c == ':') c = '-';
    return "VYR-" + SafeNamePart(number, kNumberBytes) + "-" + SafeNamePart(frames, kFramesBytes) +
           "-" + SafeNamePart(date, kDateBytes) + std::string(extension);
}

std::filesystem::path FreeOutputPath(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path plain = PathFromUtf8(name);
    const std::string stem = Utf8FromPath(plain.stem());
    const std::string extension = Utf8FromPath(plain.extension());
    std::filesystem::path candidate = folder / plain;
    for (int k = 2; k <= kMostNameTries; ++k) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(candidate, ec);
        if (status.type() == std::filesystem::file_type::not_found) break;
        candidate = folder / PathFromUtf8(stem + " (" + std::to_string(k) + ")" + extension);
    }
    return candidate;
}

}  // namespace tav
