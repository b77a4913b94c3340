// Sobel gradient: signs and values against the textbook kernels, borders, and bounds of the array.
#include <gtest/gtest.h>

#include <vector>

#include "image_test_util.h"
#include "kt_sobel.h"

using kttest::Image;

namespace {

TEST(Sobel, MatchesKernelReferenceOnRandomImages) {
    const uint32_t shapes[][2] = {{3, 3}, {3, 5}, {33, 17}, {67, 9}};
    for (const auto& s : shapes) {
        const uint32_t w = s[0], h = s[1];
        Image src(w, h, 1);
        kttest::fill_random(src.get(), w + h);
        std::vector<int32_t> g(size_t(w) * h * 2, 12345);
        ASSERT_EQ(1, kt_sobel_image(src.get(), g.data(), w * h));
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                int32_t gx = 0, gy = 0;
                if (x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
                    const int kx[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
                    const int ky[3][3] = {{1, 2, 1}, {0, 0, 0}, {-1, -2, -1}};
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int p = src.at(x + dx, y + dy);
                            gx += kx[dy + 1][dx + 1] * p;
                            gy += ky[dy + 1][dx + 1] * p;
                        }
                }
                const size_t i = (size_t(y) * w + x) * 2;
                ASSERT_EQ(gx, g[i]) << x << "," << y;
                ASSERT_EQ(gy, g[i + 1]) << x << "," << y;
            }
    }
}

TEST(Sobel, DirectionsOfSimpleEdges) {
    Image src(5, 5, 1);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 3; x < 5; ++x) src.at(x, y) = 100;  // bright on the right
    std::vector<int32_t> g(50);
    ASSERT_EQ(1, kt_sobel_image(src.get(), g.data(), 25));
    EXPECT_EQ(400, g[(2 * 5 + 2) * 2]);  // right minus left
    EXPECT_EQ(0, g[(2 * 5 + 2) * 2 + 1]);

    Image top(5, 5, 1);
    for (uint32_t x = 0; x < 5; ++x) top.at(x, 0) = top.at(x, 1) = 50;  // bright on top
    ASSERT_EQ(1, kt_sobel_image(top.get(), g.data(), 25));
    EXPECT_EQ(0, g[(2 * 5 + 2) * 2]);
    EXPECT_EQ(200, g[(2 * 5 + 2) * 2 + 1]);  // top minus bottom
}

TEST(Sobel, RefusesSmallImagesShortArraysAndColour) {
    std::vector<int32_t> g(200, 7);
    Image small(2, 5, 1), color(4, 4, 3), ok(4, 4, 1);
    EXPECT_EQ(0, kt_sobel_image(small.get(), g.data(), 100));
    EXPECT_EQ(0, kt_sobel_image(color.get(), g.data(), 100));
    EXPECT_EQ(0, kt_sobel_image(ok.get(), g.data(), 15));  // 16 pairs needed
    EXPECT_EQ(0, kt_sobel_image(ok.get(), nullptr, 16));
    EXPECT_EQ(0, kt_sobel_image(nullptr, g.data(), 16));
    for (int32_t v : g) ASSERT_EQ(7, v);
    EXPECT_EQ(1, kt_sobel_image(ok.get(), g.data(), 16));
    EXPECT_EQ(7, g[32]);  // nothing past the 16 pairs is written
}

}  // namespace
