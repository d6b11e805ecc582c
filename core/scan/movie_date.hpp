#pragma once
// When a movie was shot, from its movie atom, in the form the maker's
// DATE/TIME tags give ("2019:07:21 09:15:02"), so that files with and
// without tags are named and sorted alike. A metadata item
// "com.apple.quicktime.creationdate" or a "©day" text wins, as the clock time
// it was written with; otherwise the movie header's creation time (seconds
// since 1904, UTC). Pure and bounds-checked.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/byte_view.hpp"

namespace tav {

// moov: the movie atom's bytes, its size field first.
std::optional<std::string> MovieDate(ByteView moov);

// "2019-07-21T09:15:02+0800", "2019-07-21 09:15:02Z", ... as
// "2019:07:21 09:15:02"; nothing without a whole date and time of day.
std::optional<std::string> DateFromText(std::string_view text);

// Seconds since 1904-01-01 00:00:00 UTC as "1904:01:01 00:00:00".
std::string DateFrom1904(std::uint64_t seconds);

}  // namespace tav
