#include "common/camera_date.hpp"

#include <cstdio>

namespace tav {

std::optional<std::string> IsoDate(std::string_view camera_date) {
    if (camera_date.size() != 19) return std::nullopt;
    int field[6] = {};
    for (int k = 0, at = 0; k < 6; ++k) {
        const int width = k == 0 ? 4 : 2;
        for (int d = 0; d < width; ++d, ++at) {
            const char c = camera_date[static_cast<std::size_t>(at)];
            if (c < '0' || c > '9') return std::nullopt;
            field[k] = field[k] * 10 + (c - '0');
        }
        const char separator = k == 2 ? ' ' : ':';
        if (k < 5 && camera_date[static_cast<std::size_t>(at++)] != separator) return std::nullopt;
    }
    const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (field[1] < 1 || field[1] > 12 || field[2] < 1 || field[2] > days[field[1] - 1] ||
        field[3] > 23 || field[4] > 59 || field[5] > 59)
        return std::nullopt;
    const bool leap = (field[0] % 4 == 0 && field[0] % 100 != 0) || field[0] % 400 == 0;
    if (field[1] == 2 && field[2] == 29 && !leap) return std::nullopt;
    char text[20];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", field[0], field[1], field[2],
                  field[3], field[4], field[5]);
    return std::string(text);
}

}  // namespace tav
