#pragma once
// The free-space estimate of a save: the byte count a ResultList "文件长度"
// text stands for, and the sum over the ticked rows.

#include <cstdint>
#include <string_view>

#include "scan/scan_tables.hpp"

namespace tav {

// "1.5GB" -> 1.5 x 1024^3, "117.74MB", "12KB", "512Byte": the number before
// the first of G, M, K, B times 1024^k, rounded to a whole byte. A text with
// none of these letters, or no number before it, counts 0.
std::int64_t ParseLengthText(std::string_view text);

// Sum over the ticked rows of the ResultList.
std::int64_t SumTickedLengths(const TextTable& results);

}  // namespace tav
