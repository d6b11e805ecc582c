#include "duration_label.hpp"

#include <cmath>
#include <cstdio>

namespace tav::preview {

std::string DurationLabel(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > 1e9)
        return "时长 --:--:--";
    const auto total = static_cast<long long>(std::llround(*seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return std::string("时长 ") + text;
}

}  // namespace tav::preview
