// Counting pixels at or above a threshold inside a box, and the -1 refusals.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_image_count.h"

TEST(ImageCount, CountsAtOrAboveThresholdInsideTheBoxOrRefuses) {
    kttest::Image im(10, 8, 1), color(10, 8, 3), empty;
    kttest::fill_random(im.get(), 11);
    const kt_bbox boxes[] = {{0, 0, 10, 8}, {3, 2, 4, 5}, {9, 7, 1, 1}};
    for (const kt_bbox& b : boxes)
        for (unsigned t : {0u, 1u, 128u, 255u}) {
            uint32_t expect = 0, count = 999;
            for (uint32_t y = b.y; y < b.y + b.height; ++y)
                for (uint32_t x = b.x; x < b.x + b.width; ++x) expect += im.at(x, y) >= t;
            const float frac = kt_image_count(&b, im.get(), static_cast<unsigned char>(t), &count);
            EXPECT_EQ(expect, count);
            EXPECT_FLOAT_EQ(float(expect) / float(b.width * b.height), frac);
        }

    uint32_t count = 77;
    const kt_bbox bad[] = {{1, 0, 10, 8},            // one past the right edge
                           {0, 1, 10, 8},            // one past the bottom
                           {0, 0, 0, 8},             // zero width
                           {0, 0, 3, 0},             // zero height
                           {0xFFFFFFFFu, 0, 2, 1}};  // x + width wraps in 32 bits
    for (const kt_bbox& b : bad) EXPECT_EQ(-1.0f, kt_image_count(&b, im.get(), 1, &count));
    EXPECT_EQ(-1.0f, kt_image_count(&boxes[0], color.get(), 1, &count));
    EXPECT_EQ(-1.0f, kt_image_count(&boxes[0], empty.get(), 1, &count));
    EXPECT_EQ(-1.0f, kt_image_count(&boxes[0], im.get(), 1, nullptr));
    EXPECT_EQ(77u, count);
}
