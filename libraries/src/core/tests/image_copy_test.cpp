// Whole and partial copies between images: copy, box copy, crop and paste, with their bounds.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_image_copy.h"

using kttest::Image;

TEST(ImageCopy, WholeAndBoxCopies) {
    Image src(9, 7, 4), dst(2, 2, 1), liar(4, 4, 1), small(2, 2, 1);
    kttest::fill_random(src.get(), 1);
    ASSERT_EQ(1, kt_copy_image(src.get(), dst.get()));  // reshaped to the source
    EXPECT_EQ(-1, kttest::first_difference(src.get(), dst.get()));
    liar.img.width = 400;  // a record whose size disagrees with its shape is not walked
    EXPECT_EQ(0, kt_copy_image(liar.get(), dst.get()));
    dst.fill(0xEE);
    const kt_bbox box{2, 3, 4, 2};
    auto in_box = [](uint32_t x, uint32_t y) { return x >= 2 && x < 6 && y >= 3 && y < 5; };
    ASSERT_EQ(1, kt_copy_image_roi(src.get(), &box, dst.get()));
    EXPECT_EQ("", kttest::mismatch(dst.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                  return in_box(x, y) ? src.at(x, y, c) : 0xEE;
              }));
    // The box must lie inside the source, not merely be no larger than it.
    for (const kt_bbox& b : {kt_bbox{6, 0, 4, 1}, kt_bbox{0, 6, 1, 2}, kt_bbox{0xFFFFFFF0u, 0, 0x20, 1}})
        EXPECT_EQ(0, kt_copy_image_roi(src.get(), &b, dst.get())) << b.x << "," << b.y;
    ASSERT_EQ(1, kt_copy_image_roi(src.get(), &box, small.get()));  // re-created with the source's shape
    EXPECT_EQ("", kttest::mismatch(small.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                  return in_box(x, y) ? src.at(x, y, c) : 0;
              }));
}

TEST(ImageCopy, CropAndPasteWithinBounds) {
    Image src(8, 6, 3), part(3, 2, 3), back(8, 6, 3), gray(3, 2, 1);
    kttest::fill_random(src.get(), 3);
    ASSERT_EQ(1, kt_crop_image(src.get(), 5, 4, part.get()));  // touches the last row and column
    ASSERT_EQ(1, kt_paste_image(part.get(), 5, 4, back.get()));
    EXPECT_EQ("", kttest::mismatch(back.get(), [&](uint32_t x, uint32_t y, uint32_t c) {
                  return x >= 5 && y >= 4 ? src.at(x, y, c) : 0;
              }));
    // Refused: past the edge, offsets that wrap in 32 bits, other channel counts. Nothing written.
    part.fill(9);
    back.fill(9);
    const uint32_t offsets[][2] = {{6, 0}, {0, 5}, {0xFFFFFFFFu, 0}, {0, 0xFFFFFFFEu}};
    for (const auto& o : offsets)
        EXPECT_EQ(0, kt_crop_image(src.get(), o[0], o[1], part.get()) |
                         kt_paste_image(part.get(), o[0], o[1], back.get()))
            << o[0] << "," << o[1];
    EXPECT_EQ(0, kt_crop_image(src.get(), 0, 0, gray.get()) | kt_paste_image(gray.get(), 0, 0, back.get()));
    EXPECT_TRUE(part.all(9) && back.all(9));
}
