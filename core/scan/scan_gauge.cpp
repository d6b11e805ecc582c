#include "scan/scan_gauge.hpp"

#include <algorithm>
#include <cmath>

namespace tav {

double RoundTwoDecimals(double v) {
    return std::nearbyint(v * 100.0) / 100.0;  // default rounding mode: halves to even
}

std::int64_t RoundHalfEven(double v) {
    return static_cast<std::int64_t>(std::nearbyint(v));
}

ScanGauge::ScanGauge(std::int64_t end_sector) {
    const std::int64_t n = end_sector - 128;
    if (n > kGaugeLimit) {
        scaled_ = true;
        maximum_ = kGaugeLimit;
        const double ratio = RoundTwoDecimals(static_cast<double>(n) / kGaugeLimit);
        increment_ = RoundTwoDecimals(128.0 / ratio);
    } else {
        maximum_ = std::max<std::int64_t>(n, 0);
    }
}

std::int64_t ScanGauge::position(std::int64_t w) const {
    // The gauge never leaves its range, whatever the rounding of the ratio.
    const std::int64_t raw = scaled_ ? RoundHalfEven(accumulator_) : w;
    return std::clamp<std::int64_t>(raw, 0, maximum_);
}

void ScanGauge::advance(std::int64_t sectors) {
    if (scaled_) accumulator_ += increment_ * (static_cast<double>(sectors) / 128.0);
}

}  // namespace tav
