#pragma once
// Conversion between the tables' UTF-8 and code page 936, the encoding of
// the scan-result file's text lines.

#include <optional>
#include <string>
#include <string_view>

namespace tav {

// nullopt when the text holds a character that has no CP936 form (or is not
// well-formed in its source encoding).
std::optional<std::string> Utf8ToCp936(std::string_view utf8);
std::optional<std::string> Cp936ToUtf8(std::string_view cp936);

}  // namespace tav
