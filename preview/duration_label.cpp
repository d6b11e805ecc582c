#include "duration_label.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tav::preview {

std::string DurationLabel(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > 1e9)
        return "时长 --:--:--";
    return "时长 " + ClockText(std::round(*seconds));
}

std::string ClockText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const auto total = static_cast<long long>(std::min(seconds, 1e9));
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}

}  // namespace tav::preview
