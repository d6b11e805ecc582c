#include <gtest/gtest.h>

#include "common/camera_date.hpp"

namespace tav {
namespace {

TEST(CameraDate, IsoWhereTheTextIsAValidDateAndTime) {
    const std::pair<const char*, const char*> cases[] = {
        {"2011:01:02 08:00:00", "2011-01-02T08:00:00"},
        {"2024:02:29 23:59:59", "2024-02-29T23:59:59"},
        {"2023:02:29 12:00:00", nullptr},  // not a leap year
        {"2000:02:29 12:00:00", "2000-02-29T12:00:00"},
        {"1900:02:29 12:00:00", nullptr},
        {"2011:13:02 08:00:00", nullptr},
        {"2011:04:31 08:00:00", nullptr},
        {"2011:01:02 24:00:00", nullptr},
        {"2011:01:02 08:60:00", nullptr},
        {"2011-01-02 08:00:00", nullptr},
        {"2011:01:02T08:00:00", nullptr},
        {"2011:01:02 08:00:0", nullptr},
        {"2011:01:02 08:00:00 ", nullptr},
        {"201a:01:02 08:00:00", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, iso] : cases) {
        SCOPED_TRACE(text);
        const auto got = IsoDate(text);
        ASSERT_EQ(got.has_value(), iso != nullptr);
        if (iso) EXPECT_EQ(*got, iso);
    }
}

}  // namespace
}  // namespace tav
