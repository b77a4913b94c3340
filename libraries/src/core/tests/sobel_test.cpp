// Sobel gradient against the textbook kernels, and the bounds of the output array.
#include <gtest/gtest.h>

#include <vector>

#include "image_test_util.h"
#include "kt_sobel.h"

TEST(Sobel, MatchesKernelReferenceOnRandomImages) {
    const int kx[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};  // right minus left
    const int ky[3][3] = {{1, 2, 1}, {0, 0, 0}, {-1, -2, -1}};  // top minus bottom
    // Widths around the 8-pixel steps of the vector path and its scalar tail.
    const uint32_t shapes[][2] = {{3, 3}, {3, 5}, {9, 4}, {10, 4}, {11, 3}, {17, 5}, {18, 3}, {33, 17}, {67, 9}, {256, 3}};
    for (const auto& s : shapes) {
        const uint32_t w = s[0], h = s[1];
        kttest::Image src(w, h, 1);
        kttest::fill_random(src.get(), w + h);
        std::vector<int32_t> g(size_t(w) * h * 2, 12345);
        ASSERT_EQ(1, kt_sobel_image(src.get(), g.data(), w * h));
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                int32_t gx = 0, gy = 0;  // borders stay 0
                if (x > 0 && y > 0 && x + 1 < w && y + 1 < h)
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx) {
                            gx += kx[dy + 1][dx + 1] * src.at(x + dx, y + dy);
                            gy += ky[dy + 1][dx + 1] * src.at(x + dx, y + dy);
                        }
                const size_t i = (size_t(y) * w + x) * 2;
                ASSERT_TRUE(gx == g[i] && gy == g[i + 1]) << x << "," << y << ": " << g[i] << "," << g[i + 1];
            }
    }
}

TEST(Sobel, RefusesSmallImagesShortArraysAndColourWithoutWriting) {
    std::vector<int32_t> g(200, 7);
    kttest::Image small(2, 5, 1), color(4, 4, 3), ok(4, 4, 1);
    EXPECT_EQ(0, kt_sobel_image(small.get(), g.data(), 100));
    EXPECT_EQ(0, kt_sobel_image(color.get(), g.data(), 100));
    EXPECT_EQ(0, kt_sobel_image(ok.get(), g.data(), 15));  // 16 pairs needed
    for (int32_t v : g) ASSERT_EQ(7, v);
    EXPECT_EQ(1, kt_sobel_image(ok.get(), g.data(), 16));
    EXPECT_TRUE(g[31] == 0 && g[32] == 7);  // nothing past the 16 pairs is written
}
