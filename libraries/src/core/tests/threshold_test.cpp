// Threshold tables and the unrolled table lookup against a per-pixel reference.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_threshold.h"

using kttest::Image;

TEST(Threshold, TableSplitsAtTheThresholdOnBothSides) {
    unsigned char table[256];
    for (uint32_t t : {0u, 1u, 128u, 255u, 256u, 1000u}) {
        std::memset(table, 7, sizeof(table));
        ASSERT_EQ(1, kt_threshold_inittable(table, 256, t));
        for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(i < t ? 0 : 255, table[i]) << t << " " << i;
    }
    std::memset(table, 7, sizeof(table));
    EXPECT_EQ(0, kt_threshold_inittable(table, 255, 10));
    EXPECT_EQ(0, kt_threshold_inittable(table, 257, 10));
    EXPECT_EQ(7, table[0]);
}

// The lookup runs eight bytes per step, a step table sixteen bytes per comparison; sizes around
// multiples of 8 and 16 exercise the tails. Tables: any mapping, steps (with both ends), and a step
// with one byte off, which must take the lookup.
TEST(Threshold, LookupMatchesPerPixelReferenceOnOddSizes) {
    const int kAnyMapping = -1, kBrokenStep = -2;
    for (int kind : {kAnyMapping, 0, 1, 26, 128, 255, 256, kBrokenStep}) {
        unsigned char table[256];
        if (kind == kAnyMapping)
            for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i * 37 + 11);
        else
            kt_threshold_inittable(table, 256, kind == kBrokenStep ? 26u : uint32_t(kind));
        if (kind == kBrokenStep) table[200] = 254;
        const uint32_t shapes[][2] = {{1, 1}, {3, 5}, {33, 17}, {7, 1}, {8, 1}, {9, 1}, {16, 2}, {15, 1}, {17, 1}};
        for (const auto& s : shapes) {
            SCOPED_TRACE("table " + std::to_string(kind));
            Image src(s[0], s[1], 1), dst(s[0], s[1], 1), ref(s[0], s[1], 1);
            kttest::fill_random(src.get(), s[0] * 100 + s[1]);
            for (uint32_t i = 0; i < src.img.size; ++i) ref.img.data[i] = table[src.img.data[i]];
            ASSERT_EQ(1, kt_threshold_gray(table, 256, src.get(), dst.get()));
            EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get())) << s[0] << "x" << s[1];
            ASSERT_EQ(1, kt_threshold_gray(table, 256, src.get(), src.get()));  // in place
            EXPECT_EQ(-1, kttest::first_difference(ref.get(), src.get())) << s[0] << "x" << s[1];
            // The comparison can fail: one changed reference byte is found at its index.
            ref.img.data[src.img.size / 2] ^= 1;
            EXPECT_EQ(long(src.img.size / 2), kttest::first_difference(ref.get(), dst.get()));
        }
    }
    unsigned char table[256] = {};
    Image src(4, 4, 1), small(4, 3, 1), color(4, 4, 3);
    EXPECT_EQ(0, kt_threshold_gray(table, 256, src.get(), small.get()));
    EXPECT_EQ(0, kt_threshold_gray(table, 256, color.get(), color.get()));
    EXPECT_EQ(0, kt_threshold_gray(table, 128, src.get(), src.get()));
}
