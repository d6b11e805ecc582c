#include "recovery/length_sum.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace tav {

namespace {

// "117.74" -> 117.74; digits with an optional fraction, nothing else.
std::optional<double> ParseDecimal(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return std::nullopt;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.') return std::nullopt;
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::int64_t ParseLengthText(std::string_view text) {
    const std::size_t unit = text.find_first_of("GMKB");
    if (unit == std::string_view::npos) return 0;
    const auto number = ParseDecimal(text.substr(0, unit));
    if (!number) return 0;
    int shifts = 0;
    switch (text[unit]) {
        case 'G':
            shifts = 3;
            break;
        case 'M':
            shifts = 2;
            break;
        case 'K':
            shifts = 1;
            break;
        default:
            break;
    }
    double bytes = *number;
    for (int i = 0; i < shifts; ++i) bytes *= 1024.0;
    bytes = std::round(bytes);
    // Far beyond any medium: treat as unbounded so the free-space check refuses.
    if (bytes >= static_cast<double>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(bytes);
}

std::int64_t SumTickedLengths(const TextTable& results) {
    std::int64_t sum = 0;
    for (const auto& row : results.rows()) {
        if (!row.checked) continue;
        const std::int64_t n = ParseLengthText(row.cells.size() > 1 ? row.cells[1] : "");
        sum = n > std::numeric_limits<std::int64_t>::max() - sum
                  ? std::numeric_limits<std::int64_t>::max()
                  : sum + n;
    }
    return sum;
}

}  // namespace tav
