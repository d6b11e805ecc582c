#include "common/log_line.hpp"

#include <cstdio>

namespace tav {

std::string log_timestamp(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

std::string format_log_line(const std::tm& t, std::string_view message) {
    std::string line = "[" + log_timestamp(t) + "]  ";
    line += message;
    return line;
}

std::tm local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

std::string make_log_line(std::string_view message) {
    return format_log_line(local_time_now(), message);
}

}  // namespace tav
