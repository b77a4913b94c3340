// Whole and partial copies between images: copy, box copy, crop and paste, with their bounds.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_image_copy.h"

using kttest::Image;

namespace {

TEST(ImageCopy, CopyReshapesDestinationAndCopiesEveryByte) {
    Image src(5, 3, 3), dst(2, 2, 1);
    kttest::fill_random(src.get(), 1);
    ASSERT_EQ(1, kt_copy_image(src.get(), dst.get()));
    EXPECT_EQ(-1, kttest::first_difference(src.get(), dst.get()));

    // Same size, other shape: the shape fields follow the source, the buffer is reused.
    Image other(3, 5, 3);
    unsigned char* buf = other.get()->data;
    ASSERT_EQ(1, kt_copy_image(src.get(), other.get()));
    EXPECT_EQ(buf, other.get()->data);
    EXPECT_EQ(-1, kttest::first_difference(src.get(), other.get()));

    Image empty;
    EXPECT_EQ(0, kt_copy_image(empty.get(), dst.get()));
    EXPECT_EQ(0, kt_copy_image(nullptr, dst.get()));
    EXPECT_EQ(0, kt_copy_image(src.get(), nullptr));
    // A record whose size disagrees with its shape is not walked.
    Image liar(4, 4, 1);
    liar.get()->width = 400;
    EXPECT_EQ(0, kt_copy_image(liar.get(), dst.get()));
}

TEST(ImageCopy, BoxCopyTouchesOnlyTheBoxAndRefusesBoxesOutsideTheSource) {
    Image src(9, 7, 4), dst(9, 7, 4);
    kttest::fill_random(src.get(), 2);
    std::memset(dst.get()->data, 0xEE, dst.get()->size);
    kt_bbox box{2, 3, 4, 2};
    ASSERT_EQ(1, kt_copy_image_roi(src.get(), &box, dst.get()));
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 9; ++x)
            for (uint32_t c = 0; c < 4; ++c) {
                const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
                ASSERT_EQ(inside ? src.at(x, y, c) : 0xEE, dst.at(x, y, c)) << x << "," << y;
            }

    // The box must lie inside the source, not merely be no larger than it.
    const kt_bbox outside[] = {{6, 0, 4, 1}, {0, 6, 1, 2}, {0xFFFFFFF0u, 0, 0x20, 1}, {0, 1, 9, 7}};
    for (const kt_bbox& b : outside) EXPECT_EQ(0, kt_copy_image_roi(src.get(), &b, dst.get()));
    const kt_bbox whole{0, 0, 9, 7};
    EXPECT_EQ(1, kt_copy_image_roi(src.get(), &whole, dst.get()));
    EXPECT_EQ(-1, kttest::first_difference(src.get(), dst.get()));
    EXPECT_EQ(0, kt_copy_image_roi(src.get(), nullptr, dst.get()));

    // A destination of another shape is re-created with the source's shape first.
    Image small(2, 2, 1);
    ASSERT_EQ(1, kt_copy_image_roi(src.get(), &box, small.get()));
    EXPECT_EQ(9u, small.get()->width);
    EXPECT_EQ(4u, small.get()->channels);
    EXPECT_EQ(src.at(2, 3, 1), small.at(2, 3, 1));
    EXPECT_EQ(0, small.at(0, 0, 0));
}

TEST(ImageCopy, CropTakesTheDestinationsSizeFromTheOffset) {
    Image src(8, 6, 1), dst(3, 2, 1);
    kttest::fill_random(src.get(), 3);
    ASSERT_EQ(1, kt_crop_image(src.get(), 5, 4, dst.get()));  // touches the last row and column
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(src.at(5 + x, 4 + y), dst.at(x, y));

    std::memset(dst.get()->data, 9, dst.get()->size);
    EXPECT_EQ(0, kt_crop_image(src.get(), 6, 0, dst.get()));
    EXPECT_EQ(0, kt_crop_image(src.get(), 0, 5, dst.get()));
    EXPECT_EQ(0, kt_crop_image(src.get(), 0xFFFFFFFFu, 0, dst.get()));  // x > width must not wrap
    Image three(3, 2, 3);
    EXPECT_EQ(0, kt_crop_image(src.get(), 0, 0, three.get()));
    EXPECT_EQ(9, dst.at(0, 0));  // refused crops leave the destination alone
}

TEST(ImageCopy, PasteWritesRowsAtTheOffsetWithinBounds) {
    Image src(3, 2, 3), dst(7, 5, 3);
    kttest::fill_random(src.get(), 4);
    ASSERT_EQ(1, kt_paste_image(src.get(), 4, 3, dst.get()));
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 7; ++x)
            for (uint32_t c = 0; c < 3; ++c) {
                const bool inside = x >= 4 && y >= 3;
                ASSERT_EQ(inside ? src.at(x - 4, y - 3, c) : 0, dst.at(x, y, c));
            }
    EXPECT_EQ(0, kt_paste_image(src.get(), 5, 0, dst.get()));
    EXPECT_EQ(0, kt_paste_image(src.get(), 0, 4, dst.get()));
    EXPECT_EQ(0, kt_paste_image(src.get(), 0xFFFFFFFEu, 0, dst.get()));  // x + width wraps in 32 bits
    Image gray(3, 2, 1);
    EXPECT_EQ(0, kt_paste_image(gray.get(), 0, 0, dst.get()));
    Image empty;
    EXPECT_EQ(0, kt_paste_image(empty.get(), 0, 0, dst.get()));
}

}  // namespace
