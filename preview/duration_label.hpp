#pragma once
// "时长 00:01:23": a video's length beside its thumbnail, to the nearest second.

#include <optional>
#include <string>

namespace tav::preview {

// "时长 --:--:--" when the length is unknown.
std::string DurationLabel(std::optional<double> seconds);

// "00:12:04": hours, minutes and whole seconds (rounded down; none below 0).
std::string ClockText(double seconds);

}  // namespace tav::preview
