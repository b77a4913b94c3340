// Single-pixel RGB <-> HSV at chosen points, tie-breaking, and round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kt_hsv.h"

namespace {

TEST(Hsv, RgbToHsvAtChosenPoints) {
    struct Case {
        unsigned char r, g, b;
        float h, s, v;
    } cases[] = {
        {255, 0, 0, 0.0f, 1.0f, 1.0f},       {0, 0, 255, 240.0f, 1.0f, 1.0f},
        {0, 255, 0, 120.0f, 1.0f, 1.0f},     {255, 255, 0, 60.0f, 1.0f, 1.0f},   // red wins a tie
        {0, 255, 255, 180.0f, 1.0f, 1.0f},   {255, 0, 255, 300.0f, 1.0f, 1.0f},  // red, g < b
        {0, 0, 0, 0.0f, 0.0f, 0.0f},         {128, 128, 128, 0.0f, 0.0f, 128 / 255.0f},
        {255, 128, 0, 60.0f * 128 / 255, 1.0f, 1.0f},
        {100, 50, 200, 60.0f * 50 / 150 + 240, 0.75f, 200 / 255.0f},
    };
    for (const Case& c : cases) {
        float h = -1, s = -1, v = -1;
        ASSERT_EQ(1, kt_rgb_to_hsv(c.r, c.g, c.b, &h, &s, &v));
        EXPECT_NEAR(c.h, h, 1e-3) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_NEAR(c.s, s, 1e-6);
        EXPECT_NEAR(c.v, v, 1e-6);
    }
    float h, s;
    EXPECT_EQ(0, kt_rgb_to_hsv(1, 2, 3, &h, &s, nullptr));
}

TEST(Hsv, HsvToRgbSectorsAndRefusals) {
    unsigned char r = 1, g = 2, b = 3;
    ASSERT_EQ(1, kt_hsv_to_rgb(0, 1, 1, &r, &g, &b));
    EXPECT_EQ(255, r);
    EXPECT_EQ(0, g);
    EXPECT_EQ(0, b);
    ASSERT_EQ(1, kt_hsv_to_rgb(360, 1, 1, &r, &g, &b));  // i = 6 behaves as 0
    EXPECT_EQ(255, r);
    EXPECT_EQ(0, b);
    ASSERT_EQ(1, kt_hsv_to_rgb(240, 1, 0.5f, &r, &g, &b));
    EXPECT_EQ(0, r);
    EXPECT_EQ(127, b);  // 127.5 truncated
    ASSERT_EQ(1, kt_hsv_to_rgb(800, 0.5f, 1, &r, &g, &b));  // past the sectors: gray v
    EXPECT_EQ(255, r);
    EXPECT_EQ(255, g);
    ASSERT_EQ(1, kt_hsv_to_rgb(30, 1, 2, &r, &g, &b));  // clamped to 255
    EXPECT_EQ(255, r);

    r = g = b = 9;
    EXPECT_EQ(0, kt_hsv_to_rgb(-1, 1, 1, &r, &g, &b));
    EXPECT_EQ(0, kt_hsv_to_rgb(1, -0.1f, 1, &r, &g, &b));
    EXPECT_EQ(0, kt_hsv_to_rgb(1, 1, -1, &r, &g, &b));
    EXPECT_EQ(0, kt_hsv_to_rgb(std::numeric_limits<float>::quiet_NaN(), 1, 1, &r, &g, &b));
    EXPECT_EQ(0, kt_hsv_to_rgb(std::numeric_limits<float>::infinity(), 1, 1, &r, &g, &b));
    EXPECT_EQ(0, kt_hsv_to_rgb(1, 1, 1, &r, nullptr, &b));
    EXPECT_EQ(9, r);
}

TEST(Hsv, RoundTripStaysWithinOneLevel) {
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 5) {
                float h, s, v;
                ASSERT_EQ(1, kt_rgb_to_hsv(r, g, b, &h, &s, &v));
                unsigned char r2, g2, b2;
                ASSERT_EQ(1, kt_hsv_to_rgb(h, s, v, &r2, &g2, &b2));
                // Truncation can lose at most one level.
                ASSERT_LE(std::abs(r - r2), 1) << r << "," << g << "," << b;
                ASSERT_LE(std::abs(g - g2), 1) << r << "," << g << "," << b;
                ASSERT_LE(std::abs(b - b2), 1) << r << "," << g << "," << b;
            }
}

}  // namespace
