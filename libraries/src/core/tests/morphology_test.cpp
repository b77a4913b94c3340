// 3x3 dilation and erosion: the word-wide passes against a plain per-pixel reference, the box
// variants against crop-operate-paste, in-place use, and refused inputs.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_morphology.h"

using kttest::Image;

namespace {

// Plain reference: OR/AND of the 3x3 neighbourhood for interior pixels; border pixels (and images
// shorter than 3 rows) keep the destination's previous value.
void reference(const kt_image* src, kt_image* dst, bool dilate) {
    const uint32_t w = src->width, h = src->height;
    for (uint32_t y = 1; y + 1 < h; ++y)
        for (uint32_t x = 1; x + 1 < w; ++x) {
            unsigned v = dilate ? 0u : 0xFFu;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const unsigned p = src->data[(y + dy) * w + (x + dx)];
                    v = dilate ? (v | p) : (v & p);
                }
            dst->data[y * w + x] = static_cast<unsigned char>(v);
        }
}

using MorphFn = int (*)(const kt_image*, kt_image*, kt_image*);
using RoiFn = int (*)(const kt_image*, kt_image*, kt_image*, const kt_bbox*);
const struct {
    const char* name;
    MorphFn fn;
    RoiFn roi;
    bool dilate;
} kOps[] = {{"dilate", kt_dilate_image, kt_dilate_image_roi, true},
            {"erode", kt_erode_image, kt_erode_image_roi, false}};

// Widths around multiples of the 4-byte word, short and narrow images included.
const uint32_t kShapes[][2] = {{1, 1},   {3, 5}, {33, 17}, {67, 9}, {4, 4},   {8, 3},
                               {64, 11}, {5, 2}, {2, 7},   {3, 3},  {129, 33}};

TEST(Morphology, WordPassesMatchPerPixelReferenceOnOddSizes) {
    for (const auto& op : kOps) {
        for (const auto& s : kShapes) {
            // Arbitrary bytes check the bitwise OR/AND; sparse and dense masks the usual content.
            for (int kind = 0; kind < 3; ++kind) {
                Image src(s[0], s[1], 1), dst(s[0], s[1], 1), ref(s[0], s[1], 1), scratch(s[0], s[1], 1);
                const uint32_t seed = s[0] * 1000 + s[1] * 10 + kind;
                kttest::fill_random(src.get(), seed, kind > 0, kind == 1 ? 0.1 : 0.9);
                kttest::fill_random(dst.get(), seed + 7);  // borders must stay as they were
                std::memcpy(ref.img.data, dst.img.data, dst.img.size);
                reference(src.get(), ref.get(), op.dilate);
                ASSERT_EQ(1, op.fn(src.get(), dst.get(), scratch.get()));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()))
                    << op.name << " " << s[0] << "x" << s[1] << " kind " << kind;

                // In place, as the pipeline runs it: the reference from an untouched copy.
                std::memcpy(ref.img.data, src.img.data, src.img.size);
                reference(src.get(), ref.get(), op.dilate);
                ASSERT_EQ(1, op.fn(src.get(), src.get(), scratch.get()));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), src.get()))
                    << "in place " << op.name << " " << s[0] << "x" << s[1];
            }
        }
    }
    // The comparison can fail: a single flipped reference pixel is found.
    Image src(33, 17, 1), dst(33, 17, 1), ref(33, 17, 1), scratch(33, 17, 1);
    kttest::fill_random(src.get(), 99, true, 0.05);
    reference(src.get(), ref.get(), true);
    ASSERT_EQ(1, kt_dilate_image(src.get(), dst.get(), scratch.get()));
    ref.at(16, 8) ^= 0xFF;
    EXPECT_EQ(long(16 + 33 * 8), kttest::first_difference(ref.get(), dst.get()));
}

TEST(Morphology, SinglePixelSpreadsToThreeByThreeButNotIntoTheBorder) {
    Image src(10, 10, 1), dst(10, 10, 1), back(10, 10, 1), scratch(10, 10, 1);
    src.at(5, 5) = 255;
    src.at(3, 0) = 255;  // on the border row
    ASSERT_EQ(1, kt_dilate_image(src.get(), dst.get(), scratch.get()));
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            const bool block = x >= 4 && x <= 6 && y >= 4 && y <= 6;
            const bool below_border = y == 1 && x >= 2 && x <= 4;  // spread down, not along row 0
            ASSERT_EQ(block || below_border ? 255 : 0, dst.at(x, y)) << x << "," << y;
        }
    ASSERT_EQ(1, kt_erode_image(dst.get(), back.get(), scratch.get()));  // shrinks back to the centre
    EXPECT_TRUE(back.at(5, 5) == 255 && back.at(4, 5) == 0);
}

TEST(Morphology, RefusesBadInputsWithoutWriting) {
    for (const auto& op : kOps) {
        Image src(8, 8, 1), dst(8, 8, 1), scratch(8, 8, 1), short_scratch(8, 7, 1), small(8, 7, 1),
            color(8, 8, 3), empty;
        dst.fill(0x42);
        src.at(4, 4) = 255;
        EXPECT_EQ(0, op.fn(nullptr, dst.get(), scratch.get()));
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), nullptr));
        EXPECT_EQ(0, op.fn(src.get(), small.get(), scratch.get()));
        // A short scratch would be overrun by the vertical pass, for dilation as for erosion.
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), short_scratch.get()));
        EXPECT_EQ(0, op.fn(color.get(), dst.get(), scratch.get()));
        EXPECT_EQ(0, op.fn(empty.get(), dst.get(), scratch.get()));
        // The scratch is written while source and destination are read: it may be neither.
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), src.get()));
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), dst.get()));
        // Box variants: a box leaving the source (or wrapping), a scratch not exactly the box.
        const kt_bbox out_of_range[] = {{30, 0, 4, 3}, {0, 7, 3, 3}, {0xFFFFFFFFu, 0, 2, 3}};
        for (const kt_bbox& b : out_of_range) {
            Image sc(b.width, b.height, 1);
            EXPECT_EQ(0, op.roi(src.get(), dst.get(), sc.get(), &b));
        }
        const kt_bbox b{2, 2, 5, 5};
        Image tall(5, 6, 1), wide(6, 5, 1);
        EXPECT_EQ(0, op.roi(src.get(), dst.get(), tall.get(), &b));
        EXPECT_EQ(0, op.roi(src.get(), dst.get(), wide.get(), &b));
        EXPECT_TRUE(dst.all(0x42)) << op.name;
    }
}

// Box reference: the box cut out as an image of its own, operated on, its interior put back.
void box_reference(const kt_image* src, kt_image* dst, const kt_bbox& b, bool dilate) {
    Image cut(b.width, b.height, 1), res(b.width, b.height, 1);
    for (uint32_t y = 0; y < b.height; ++y)
        for (uint32_t x = 0; x < b.width; ++x) cut.at(x, y) = src->data[(b.y + y) * src->width + b.x + x];
    reference(cut.get(), res.get(), dilate);
    for (uint32_t y = 1; y + 1 < b.height; ++y)
        for (uint32_t x = 1; x + 1 < b.width; ++x) dst->data[(b.y + y) * dst->width + b.x + x] = res.at(x, y);
}

TEST(Morphology, BoxVariantsMatchCropOperatePaste) {
    // Boxes wider than the 256-byte column strip of the in-place vertical pass in the 300 wide image.
    const kt_bbox boxes[] = {{0, 0, 67, 9}, {5, 1, 3, 3}, {10, 2, 41, 7}, {66, 0, 1, 9},
                             {1, 1, 65, 2}, {0, 3, 1, 1}, {0, 0, 300, 9}, {3, 1, 290, 8}};
    for (const auto& op : kOps) {
        for (uint32_t w : {67u, 300u}) {
            for (const kt_bbox& b : boxes) {
                if (b.x + b.width > w)
                    continue;
                Image src(w, 9, 1), dst(w, 9, 1), ref(w, 9, 1), scratch(b.width, b.height, 1);
                kttest::fill_random(src.get(), b.x * 7 + b.width + w, true, 0.3);
                kttest::fill_random(dst.get(), 5);
                std::memcpy(ref.img.data, dst.img.data, dst.img.size);
                box_reference(src.get(), ref.get(), b, op.dilate);
                ASSERT_EQ(1, op.roi(src.get(), dst.get(), scratch.get(), &b));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()))
                    << op.name << " " << b.x << "," << b.y << " " << b.width << "x" << b.height << " w " << w;

                std::memcpy(ref.img.data, src.img.data, src.img.size);  // in place
                box_reference(src.get(), ref.get(), b, op.dilate);
                ASSERT_EQ(1, op.roi(src.get(), src.get(), scratch.get(), &b));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), src.get()));
            }
        }
        // A null box is the whole image with an image-sized scratch.
        Image src(33, 17, 1), dst(33, 17, 1), ref(33, 17, 1), scratch(33, 17, 1);
        kttest::fill_random(src.get(), 8, true, 0.2);
        reference(src.get(), ref.get(), op.dilate);
        ASSERT_EQ(1, op.roi(src.get(), dst.get(), scratch.get(), nullptr));
        EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()));
    }
}

}  // namespace
