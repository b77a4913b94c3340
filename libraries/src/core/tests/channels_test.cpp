// Channel reordering, alpha insertion, channel extraction and border filling.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_channels.h"

using kttest::Image;

namespace {

TEST(Channels, InflateReversesBytesAndZeroesTheFourth) {
    Image src(3, 5, 3), dst;
    kttest::fill_random(src.get(), 5);
    ASSERT_EQ(1, kt_inflate_image(src.get(), dst.get()));
    ASSERT_EQ(4u, dst.get()->channels);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(src.at(x, y, 0), dst.at(x, y, 2));
            EXPECT_EQ(src.at(x, y, 1), dst.at(x, y, 1));
            EXPECT_EQ(src.at(x, y, 2), dst.at(x, y, 0));
            EXPECT_EQ(0, dst.at(x, y, 3));
        }
    Image four(3, 5, 4);
    EXPECT_EQ(0, kt_inflate_image(four.get(), dst.get()));
}

TEST(Channels, AddAlphaWritesOnlyTheFourthByte) {
    Image mask(4, 3, 1), dst(4, 3, 4);
    kttest::fill_random(mask.get(), 6);
    std::memset(dst.get()->data, 0x11, dst.get()->size);
    ASSERT_EQ(1, kt_add_alpha(mask.get(), dst.get()));
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(mask.at(x, y), dst.at(x, y, 3));
            EXPECT_EQ(0x11, dst.at(x, y, 0));
        }
    Image wide(5, 3, 1), three(4, 3, 3);
    EXPECT_EQ(0, kt_add_alpha(wide.get(), dst.get()));
    EXPECT_EQ(0, kt_add_alpha(mask.get(), three.get()));
}

TEST(Channels, ExtractKeepsValuesAboveTheThreshold) {
    Image src(7, 3, 4), dst;
    kttest::fill_random(src.get(), 7);
    for (uint32_t ch = 0; ch < 4; ++ch) {
        ASSERT_EQ(1, kt_extract_channel(src.get(), dst.get(), ch, 100));
        ASSERT_EQ(1u, dst.get()->channels);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 7; ++x) {
                const unsigned char v = src.at(x, y, ch);
                ASSERT_EQ(v > 100 ? v : 0, dst.at(x, y));
            }
    }
    EXPECT_EQ(0, kt_extract_channel(src.get(), dst.get(), 4, 0));
    Image three(7, 3, 3);
    EXPECT_EQ(0, kt_extract_channel(three.get(), dst.get(), 0, 0));
}

TEST(Channels, FillBorderSetsTheOuterRingsOnly) {
    for (uint32_t b : {1u, 2u, 3u}) {
        Image im(6, 7, 1);
        ASSERT_EQ(1, kt_fill_border(im.get(), b, 255));
        for (uint32_t y = 0; y < 7; ++y)
            for (uint32_t x = 0; x < 6; ++x) {
                const bool border = x < b || y < b || x >= 6 - b || y >= 7 - b;
                ASSERT_EQ(border ? 255 : 0, im.at(x, y)) << b << " " << x << "," << y;
            }
    }
    Image im(6, 7, 1), color(6, 7, 3);
    EXPECT_EQ(0, kt_fill_border(im.get(), 0, 1));
    EXPECT_EQ(0, kt_fill_border(im.get(), 4, 1));  // 2 x 4 > width 6
    EXPECT_EQ(0, kt_fill_border(im.get(), 0x80000000u, 1));  // 2 x border wraps in 32 bits
    EXPECT_EQ(0, kt_fill_border(color.get(), 1, 1));
    for (uint32_t i = 0; i < im.get()->size; ++i) ASSERT_EQ(0, im.get()->data[i]);
}

}  // namespace
