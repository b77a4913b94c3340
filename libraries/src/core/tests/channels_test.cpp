// Channel reordering, alpha insertion, channel extraction and border filling.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_channels.h"

using kttest::Image;

TEST(Channels, InflateAddAlphaAndExtract) {
    Image src(3, 5, 3), mask(3, 5, 1), dst, one, wide(4, 5, 1);
    kttest::fill_random(src.get(), 5);
    kttest::fill_random(mask.get(), 6);
    ASSERT_EQ(1, kt_inflate_image(src.get(), dst.get()));  // bytes reversed, fourth byte 0
    EXPECT_EQ("", kttest::mismatch(dst.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                  return c < 3 ? src.at(x, y, 2 - c) : 0;
              }));
    ASSERT_EQ(1, kt_add_alpha(mask.get(), dst.get()));  // fourth byte from the mask
    EXPECT_EQ("", kttest::mismatch(dst.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                  return c < 3 ? src.at(x, y, 2 - c) : mask.at(x, y);
              }));
    for (uint32_t ch = 0; ch < 4; ++ch) {
        ASSERT_EQ(1, kt_extract_channel(dst.get(), one.get(), ch, 100));
        EXPECT_EQ("", kttest::mismatch(one.get(), [&](uint32_t x, uint32_t y, uint32_t) {
                      return dst.at(x, y, ch) > 100 ? dst.at(x, y, ch) : 0;
                  })) << ch;
    }
    EXPECT_EQ(0, kt_inflate_image(dst.get(), one.get()) | kt_add_alpha(wide.get(), dst.get()) |
                     kt_add_alpha(mask.get(), src.get()) | kt_extract_channel(dst.get(), one.get(), 4, 0) |
                     kt_extract_channel(src.get(), one.get(), 0, 0));
}

TEST(Channels, FillBorderSetsTheOuterRingsOnly) {
    for (uint32_t b : {1u, 3u}) {
        Image im(6, 7, 1);
        ASSERT_EQ(1, kt_fill_border(im.get(), b, 255));
        EXPECT_EQ("", kttest::mismatch(im.get(), [&](uint32_t x, uint32_t y, uint32_t) {
                      return x < b || y < b || x >= 6 - b || y >= 7 - b ? 255 : 0;
                  })) << b;
    }
    Image im(6, 7, 1), color(6, 7, 3);
    for (uint32_t b : {0u, 4u, 0x80000000u})  // 0; 2 x 4 > width 6; 2 x border wraps in 32 bits
        EXPECT_EQ(0, kt_fill_border(im.get(), b, 1)) << b;
    EXPECT_EQ(0, kt_fill_border(color.get(), 1, 1));
    EXPECT_TRUE(im.all(0));
}
