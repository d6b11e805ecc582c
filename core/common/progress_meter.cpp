#include "common/progress_meter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tav {

namespace {

constexpr double kWindowSeconds = 5.0;
constexpr double kShortestSpan = 0.2;

std::optional<double> Rate(std::int64_t bytes, double seconds) {
    if (seconds < kShortestSpan || bytes < 0) return std::nullopt;
    return static_cast<double>(bytes) / seconds;
}

}  // namespace

void ProgressMeter::sample(double seconds, std::int64_t done_bytes) {
    if (!samples_.empty()) seconds = std::max(seconds, samples_.back().seconds);
    if (first_done_ < 0) first_done_ = done_bytes;
    samples_.push_back({seconds, done_bytes});
    // Keep one sample older than the window, so the window is always spanned.
    while (samples_.size() > 2 && samples_[1].seconds < seconds - kWindowSeconds)
        samples_.pop_front();
}

std::optional<double> ProgressMeter::bytes_per_second() const {
    if (samples_.size() < 2) return std::nullopt;
    const Sample& a = samples_.front();
    const Sample& b = samples_.back();
    return Rate(b.done - a.done, b.seconds - a.seconds);
}

std::optional<double> ProgressMeter::average_bytes_per_second() const {
    if (samples_.empty()) return std::nullopt;
    return Rate(samples_.back().done - first_done_, samples_.back().seconds);
}

std::optional<double> ProgressMeter::seconds_left() const {
    const auto rate = bytes_per_second();
    if (!rate || *rate <= 0.0 || total_ <= 0) return std::nullopt;
    return static_cast<double>(std::max<std::int64_t>(total_ - done(), 0)) / *rate;
}

int ProgressMeter::percent() const {
    if (total_ <= 0) return 0;
    const double p = 100.0 * static_cast<double>(done()) / static_cast<double>(total_);
    return static_cast<int>(std::clamp(p, 0.0, 100.0));
}

std::string ByteSizeText(std::int64_t bytes) {
    char text[32];
    const double b = static_cast<double>(bytes);
    if (bytes < 1000)
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    else if (b < 1e6)
        std::snprintf(text, sizeof text, "%.1f KB", b / 1e3);
    else if (b < 1e9)
        std::snprintf(text, sizeof text, "%.1f MB", b / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f GB", b / 1e9);
    return text;
}

std::string DurationText(double seconds) {
    const auto s = static_cast<long long>(std::llround(std::max(seconds, 0.0)));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::string ProgressText(const ProgressMeter& meter) {
    std::string text = std::to_string(meter.percent()) + "%  " + ByteSizeText(meter.done()) +
                       " / " + ByteSizeText(meter.total());
    if (const auto rate = meter.bytes_per_second())
        text += "  " + ByteSizeText(static_cast<std::int64_t>(*rate)) + "/s";
    if (const auto left = meter.seconds_left()) text += "  剩余 " + DurationText(*left);
    return text;
}

}  // namespace tav
