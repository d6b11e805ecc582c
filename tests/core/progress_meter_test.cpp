// Speed, time left and the texts of a progress line.

#include <gtest/gtest.h>

#include "common/progress_meter.hpp"

namespace tav {
namespace {

TEST(ProgressMeter, SpeedIsOverTheLastSecondsAndTimeLeftFollowsIt) {
    ProgressMeter m(1000'000'000);
    EXPECT_FALSE(m.bytes_per_second());  // nothing yet
    m.sample(0.0, 0);
    m.sample(0.1, 10'000'000);
    EXPECT_FALSE(m.bytes_per_second());  // too short a moment to tell
    // 100 MB/s for 10 s, then the medium slows to 10 MB/s for 10 s.
    for (int s = 1; s <= 10; ++s) m.sample(s, s * 100'000'000LL);
    EXPECT_NEAR(*m.bytes_per_second(), 100e6, 1e3);
    for (int s = 11; s <= 20; ++s) m.sample(s, 1000'000'000LL + (s - 10) * 10'000'000LL);
    m.set_total(2000'000'000);
    EXPECT_NEAR(*m.bytes_per_second(), 10e6, 2.1e6);  // the slow stretch shows within seconds
    EXPECT_NEAR(*m.seconds_left(), 900e6 / *m.bytes_per_second(), 1e-6);
    EXPECT_NEAR(*m.average_bytes_per_second(), 1100e6 / 20, 1.0);
    EXPECT_EQ(m.percent(), 55);
    m.sample(5.0, 2100'000'000);  // a clock that steps back and a count past the total
    EXPECT_EQ(m.elapsed(), 20.0);
    EXPECT_EQ(m.percent(), 100);
    EXPECT_EQ(*m.seconds_left(), 0.0);
}

TEST(ProgressMeter, Texts) {
    const std::pair<std::int64_t, const char*> sizes[] = {{0, "0 B"},
                                                          {999, "999 B"},
                                                          {1000, "1.0 KB"},
                                                          {850'300'000, "850.3 MB"},
                                                          {1'210'000'000, "1.21 GB"},
                                                          {4'000'000'000'000, "4000.00 GB"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(ByteSizeText(bytes), text);
    const std::pair<double, const char*> times[] = {
        {-3, "0:00"}, {7.4, "0:07"}, {725, "12:05"}, {3723, "1:02:03"}};
    for (const auto& [seconds, text] : times) EXPECT_EQ(DurationText(seconds), text);
    ProgressMeter m(3'250'000'000);
    m.sample(0, 0);
    EXPECT_EQ(ProgressText(m), "0%  0 B / 3.25 GB");
    m.sample(10, 1'210'000'000);
    EXPECT_EQ(ProgressText(m), "37%  1.21 GB / 3.25 GB  121.0 MB/s  剩余 0:17");
}

}  // namespace
}  // namespace tav
