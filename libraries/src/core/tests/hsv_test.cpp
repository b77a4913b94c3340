// Single-pixel RGB <-> HSV at chosen points, tie-breaking, sectors, refusals and round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kt_hsv.h"

TEST(Hsv, RgbToHsvAtChosenPoints) {
    const struct {
        unsigned char r, g, b;
        float h, s, v;
    } cases[] = {{255, 0, 0, 0, 1, 1},
                 {0, 0, 255, 240, 1, 1},
                 {0, 255, 0, 120, 1, 1},
                 {255, 255, 0, 60, 1, 1},   // red wins a tie
                 {255, 0, 255, 300, 1, 1},  // red with g < b
                 {0, 255, 255, 180, 1, 1},  // green wins a tie with blue
                 {128, 128, 128, 0, 0, 128 / 255.0f},
                 {100, 50, 200, 60.0f * 50 / 150 + 240, 0.75f, 200 / 255.0f}};
    for (const auto& c : cases) {
        float h = -1, s = -1, v = -1;
        ASSERT_EQ(1, kt_rgb_to_hsv(c.r, c.g, c.b, &h, &s, &v));
        EXPECT_TRUE(std::fabs(c.h - h) < 1e-3 && std::fabs(c.s - s) < 1e-6 && std::fabs(c.v - v) < 1e-6)
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << ": " << h << " " << s << " " << v;
    }
}

TEST(Hsv, HsvToRgbSectorsClampingAndRefusals) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct {
        float h, s, v;
        int ok;
        unsigned char r, g, b;
    } cases[] = {{360, 1, 1, 1, 255, 0, 0},         // i = 6 behaves as 0
                 {240, 1, 0.5f, 1, 0, 0, 127},      // 127.5 truncated
                 {800, 0.5f, 1, 1, 255, 255, 255},  // past the sectors: gray v
                 {30, 1, 2, 1, 255, 255, 0},        // clamped to 255
                 {-1, 1, 1, 0, 9, 9, 9},           {1, -0.1f, 1, 0, 9, 9, 9}, {1, 1, -1, 0, 9, 9, 9},
                 {nan, 1, 1, 0, 9, 9, 9},          {inf, 1, 1, 0, 9, 9, 9}};
    for (const auto& c : cases) {
        unsigned char r = 9, g = 9, b = 9;
        EXPECT_EQ(c.ok, kt_hsv_to_rgb(c.h, c.s, c.v, &r, &g, &b)) << c.h << " " << c.s << " " << c.v;
        EXPECT_TRUE(r == c.r && g == c.g && b == c.b)
            << c.h << ": " << int(r) << "," << int(g) << "," << int(b);
    }
    // Truncation can lose at most one level on a round trip.
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 5) {
                float h, s, v;
                unsigned char r2, g2, b2;
                ASSERT_TRUE(kt_rgb_to_hsv(r, g, b, &h, &s, &v) && kt_hsv_to_rgb(h, s, v, &r2, &g2, &b2));
                ASSERT_TRUE(std::abs(r - r2) <= 1 && std::abs(g - g2) <= 1 && std::abs(b - b2) <= 1)
                    << r << "," << g << "," << b;
            }
}
