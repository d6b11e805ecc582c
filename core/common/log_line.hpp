#pragma once
// Log lines of the scan and save logs: "[" + short date + " " + long time +
// "]  " + message, with the zh-CN defaults yyyy/M/d and H:mm:ss.

#include <ctime>
#include <string>
#include <string_view>

namespace tav {

std::string log_timestamp(const std::tm& t);
std::string format_log_line(const std::tm& t, std::string_view message);
// Now, in local time (thread-safe on every platform).
std::tm local_time_now();
// The line for now, in local time.
std::string make_log_line(std::string_view message);

}  // namespace tav
