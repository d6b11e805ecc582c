#include <windows.h>

#include "recovery/cp936_text.hpp"

namespace tav {

namespace {

constexpr UINT kCp936 = 936;

std::optional<std::wstring> ToWide(UINT code_page, std::string_view text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                          static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::optional<std::string> FromWide(UINT code_page, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    const bool check = code_page != CP_UTF8;
    const DWORD flags = check ? WC_NO_BEST_FIT_CHARS : WC_ERR_INVALID_CHARS;
    const int n =
        ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()), nullptr,
                              0, nullptr, check ? &lossy : nullptr);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()), out.data(),
                          n, nullptr, nullptr);
    return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp936(std::string_view utf8) {
    const auto wide = ToWide(CP_UTF8, utf8);
    if (!wide) return std::nullopt;
    return FromWide(kCp936, *wide);
}

std::optional<std::string> Cp936ToUtf8(std::string_view cp936) {
    const auto wide = ToWide(kCp936, cp936);
    if (!wide) return std::nullopt;
    return FromWide(CP_UTF8, *wide);
}

}  // namespace tav
