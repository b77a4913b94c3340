// Nearest-neighbour resampling, halving and doubling against per-pixel references.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_image_scale.h"

using kttest::Image;

TEST(ImageScale, ScaleMatchesTheFloatRatioReference) {
    const uint32_t shapes[][4] = {{5, 3, 11, 7}, {33, 17, 4, 9}, {1, 1, 3, 2}, {640, 3, 191, 1}};
    for (const auto& s : shapes)
        for (uint32_t ch : {1u, 4u}) {
            Image src(s[0], s[1], ch), dst(s[2], s[3], ch);
            kttest::fill_random(src.get(), s[0] * 31 + ch);
            ASSERT_EQ(1, kt_scale_image(src.get(), dst.get()));
            const float rx = float(s[0]) / float(s[2]), ry = float(s[1]) / float(s[3]);
            EXPECT_EQ("", kttest::mismatch(dst.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                          const uint32_t sx = uint32_t(float(x) * rx), sy = uint32_t(float(y) * ry);
                          return sx < s[0] && sy < s[1] ? src.at(sx, sy, c) : 0;
                      })) << s[0] << "x" << s[1];
        }
    Image a(4, 4, 1), b(4, 4, 3);
    EXPECT_EQ(0, kt_scale_image(a.get(), b.get()) | kt_scale_image(a.get(), a.get()));
}

TEST(ImageScale, ShrinkSamplesEvenPixelsAndGrowFillsBlocks) {
    for (uint32_t ch : {1u, 3u, 4u}) {
        Image src(9, 7, ch), half, twice(1, 1, 1);
        kttest::fill_random(src.get(), 10 + ch);
        ASSERT_EQ(1, kt_shrink_image(src.get(), half.get()));  // an empty record takes the channels
        ASSERT_TRUE(half.img.width == 4 && half.img.height == 3 && half.img.channels == ch);
        EXPECT_EQ("", kttest::mismatch(half.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                      return src.at(2 * x, 2 * y, c);
                  }));
        unsigned char* buf = half.img.data;
        ASSERT_EQ(1, kt_shrink_image(src.get(), half.get()));
        EXPECT_EQ(buf, half.img.data);  // already half-size: no reallocation
        ASSERT_EQ(1, kt_grow_image(src.get(), twice.get()));
        ASSERT_TRUE(twice.img.width == 18 && twice.img.height == 14 && twice.img.channels == ch);
        EXPECT_EQ("", kttest::mismatch(twice.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                      return src.at(x / 2, y / 2, c);
                  }));
    }
    Image src(8, 8, 3), wrong(4, 4, 1), thin(1, 8, 1), out;
    EXPECT_EQ(0, kt_shrink_image(src.get(), wrong.get()) | kt_shrink_image(thin.get(), out.get()));
    // A source whose doubled shape no longer fits 32 bits is refused before any allocation.
    kt_image huge{reinterpret_cast<unsigned char*>(1), 40000, 40000, 1, 1600000000u};
    EXPECT_EQ(0, kt_grow_image(&huge, out.get()));
    EXPECT_EQ(nullptr, out.img.data);
}
