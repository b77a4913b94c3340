// Running average: weights on both sides of their range, reset and folding.
#include <gtest/gtest.h>

#include <cmath>

#include "kt_running_avg.h"

TEST(RunningAvg, WeightRangeResetAndFolding) {
    const struct {
        float w;
        int ok;
    } cases[] = {{0.0f, 1}, {1.0f, 1}, {0.4f, 1}, {-0.0001f, 0}, {1.0001f, 0}, {NAN, 0}};
    for (const auto& c : cases) {
        kt_running_avg a{3.0f, 0.5f, 0.5f, 2};
        EXPECT_EQ(c.ok, kt_running_avg_set_weight(&a, c.w)) << c.w;
        EXPECT_TRUE(a.weight == (c.ok ? c.w : 0.5f) && a.keep == (c.ok ? 1.0f - c.w : 0.5f)) << c.w;
        EXPECT_EQ(c.ok, kt_running_avg_reset(&a, c.w));  // clears value and count even when refused
        EXPECT_TRUE(a.value == 0.0f && a.count == 0u);
    }
    kt_running_avg a{};
    ASSERT_EQ(1, kt_running_avg_reset(&a, 0.1f));
    kt_running_avg_add(&a, 50.0f);  // the first sample is taken whole
    EXPECT_FLOAT_EQ(50.0f, a.value);
    kt_running_avg_add(&a, 60.0f);
    EXPECT_FLOAT_EQ(60.0f * 0.1f + 50.0f * 0.9f, a.value);
    EXPECT_EQ(2u, a.count);
}
