#pragma once
// The shooting date as the camera writes it, "2011:01:02 08:00:00".

#include <optional>
#include <string>
#include <string_view>

namespace tav {

// As ISO 8601, "2011-01-02T08:00:00"; nothing when it is not a valid date
// and time in that form.
std::optional<std::string> IsoDate(std::string_view camera_date);

}  // namespace tav
