#pragma once
// Notes when a scan's analysis starts and ends, from its log lines, for the
// benches that time it apart from the sector loop.

#include <chrono>
#include <string>

#include "common/reporter.hpp"

namespace tav::bench {

using Clock = std::chrono::steady_clock;

class TimingReporter : public NullReporter {
  public:
    void log_line(const std::string& line) override {
        if (line.find("开始排序") != std::string::npos) analysis_start = Clock::now();
        if (line.find("分析完毕") != std::string::npos) analysis_end = Clock::now();
    }
    Clock::time_point analysis_start{}, analysis_end{};
};

inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace tav::bench
