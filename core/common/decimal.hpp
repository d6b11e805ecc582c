#pragma once
// Decimal text <-> 64-bit integers, the way cells and list entries are read:
// an optional sign, then digits only, nothing else (no blanks, no grouping).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tav {

std::optional<std::int64_t> parse_int64(std::string_view text);

inline std::string dec(std::int64_t v) {
    return std::to_string(v);
}

}  // namespace tav
