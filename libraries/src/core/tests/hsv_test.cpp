// Single-pixel RGB <-> HSV at chosen points, tie-breaking, sectors, refusals and round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kt_hsv.h"

TEST(Hsv, RgbToHsvAtChosenPoints) {
    const float cases[][6] = {{255, 0, 0, 0, 1, 1},    {0, 0, 255, 240, 1, 1},   {0, 255, 0, 120, 1, 1},
                              {255, 255, 0, 60, 1, 1},   // red wins a tie
                              {255, 0, 255, 300, 1, 1},  // red with g < b
                              {0, 255, 255, 180, 1, 1},  // green wins a tie with blue
                              {128, 128, 128, 0, 0, 128 / 255.0f},
                              {100, 50, 200, 60.0f * 50 / 150 + 240, 0.75f, 200 / 255.0f}};  // rgb, hsv
    for (const auto& c : cases) {
        float h = -1, s = -1, v = -1;
        ASSERT_EQ(1, kt_rgb_to_hsv(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), &h, &s, &v));
        EXPECT_TRUE(std::fabs(c[3] - h) < 1e-3 && std::fabs(c[4] - s) < 1e-6 && std::fabs(c[5] - v) < 1e-6)
            << c[0] << "," << c[1] << "," << c[2] << ": " << h << " " << s << " " << v;
    }
}

TEST(Hsv, HsvToRgbSectorsClampingAndRefusals) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float cases[][7] = {{360, 1, 1, 1, 255, 0, 0},         // h, s, v, ok, r, g, b: i = 6 behaves as 0
                              {240, 1, 0.5f, 1, 0, 0, 127},      // 127.5 truncated
                              {800, 0.5f, 1, 1, 255, 255, 255},  // past the sectors: gray v
                              {30, 1, 2, 1, 255, 255, 0},        // clamped to 255
                              {-1, 1, 1, 0, 9, 9, 9},   {1, -0.1f, 1, 0, 9, 9, 9}, {1, 1, -1, 0, 9, 9, 9},
                              {nan, 1, 1, 0, 9, 9, 9},  {inf, 1, 1, 0, 9, 9, 9}};
    for (const auto& c : cases) {
        unsigned char r = 9, g = 9, b = 9;
        EXPECT_EQ(int(c[3]), kt_hsv_to_rgb(c[0], c[1], c[2], &r, &g, &b))
            << c[0] << "," << c[1] << "," << c[2];
        EXPECT_TRUE(r == c[4] && g == c[5] && b == c[6]) << c[0] << ": " << +r << "," << +g << "," << +b;
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
