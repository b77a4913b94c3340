// Running average weights on both sides of their range, reset and folding.
#include <gtest/gtest.h>

#include <cmath>

#include "kt_running_avg.h"

namespace {

TEST(RunningAvg, WeightIsAcceptedOnlyWithinZeroToOne) {
    const struct {
        float w;
        int ok;
    } cases[] = {{0.0f, 1}, {1.0f, 1}, {0.4f, 1}, {-0.0001f, 0}, {1.0001f, 0}, {NAN, 0}};
    for (const auto& c : cases) {
        kt_running_avg a{3.0f, 0.5f, 0.5f, 2};
        EXPECT_EQ(c.ok, kt_running_avg_set_weight(&a, c.w)) << c.w;
        EXPECT_FLOAT_EQ(c.ok ? c.w : 0.5f, a.weight);
        EXPECT_FLOAT_EQ(c.ok ? 1.0f - c.w : 0.5f, a.keep);
        EXPECT_FLOAT_EQ(3.0f, a.value);
    }
    EXPECT_EQ(0, kt_running_avg_set_weight(nullptr, 0.5f));
}

TEST(RunningAvg, ResetClearsValueAndCountEvenWhenTheWeightIsRefused) {
    kt_running_avg a{3.0f, 0.5f, 0.5f, 2};
    EXPECT_EQ(1, kt_running_avg_reset(&a, 0.25f));
    EXPECT_EQ(0.0f, a.value);
    EXPECT_EQ(0u, a.count);
    EXPECT_FLOAT_EQ(0.75f, a.keep);
    a = {3.0f, 0.5f, 0.5f, 2};
    EXPECT_EQ(0, kt_running_avg_reset(&a, 2.0f));
    EXPECT_EQ(0u, a.count);
    EXPECT_FLOAT_EQ(0.5f, a.weight);
    EXPECT_EQ(0, kt_running_avg_reset(nullptr, 0.5f));
}

TEST(RunningAvg, FirstSampleIsTakenWholeLaterOnesAreBlended) {
    kt_running_avg a{};
    ASSERT_EQ(1, kt_running_avg_reset(&a, 0.1f));
    kt_running_avg_add(&a, 50.0f);
    EXPECT_FLOAT_EQ(50.0f, a.value);
    EXPECT_EQ(1u, a.count);
    kt_running_avg_add(&a, 60.0f);
    EXPECT_FLOAT_EQ(60.0f * 0.1f + 50.0f * 0.9f, a.value);
    EXPECT_EQ(2u, a.count);
    kt_running_avg_add(nullptr, 1.0f);
}

}  // namespace
