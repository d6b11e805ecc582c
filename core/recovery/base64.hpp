#pragma once
// Base64 as in RFC 4648 (standard alphabet, "=" padding, no line breaks).

#include <optional>
#include <string>
#include <string_view>

namespace tav {

std::string Base64Encode(std::string_view bytes);
// nullopt for any character outside the alphabet (a blank included), a
// misplaced "=" or a length that no encoding has.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace tav
