// 3x3 dilation and erosion: the word-wide passes against a plain per-pixel reference, the box
// variants against crop-operate-paste, in-place use, and refused inputs.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "kt_morphology.h"

using kttest::Image;

namespace {

// Plain reference: OR/AND of the 3x3 neighbourhood for interior pixels; border pixels keep the
// destination's previous value.
void reference(const kt_image* src, kt_image* dst, bool dilate) {
    const uint32_t w = src->width, h = src->height;
    if (h < 3) return;
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

struct Op {
    const char* name;
    MorphFn fn;
    bool dilate;
};
const Op kOps[] = {{"dilate", kt_dilate_image, true}, {"erode", kt_erode_image, false}};

const uint32_t kShapes[][2] = {{1, 1}, {3, 5}, {33, 17}, {67, 9}, {4, 4}, {8, 3}, {64, 11},
                               {5, 2}, {2, 7}, {3, 3}, {129, 33}};

TEST(Morphology, WordPassesMatchPerPixelReferenceOnRandomImages) {
    for (const Op& op : kOps) {
        for (const auto& s : kShapes) {
            // Arbitrary bytes check the bitwise OR/AND; masks check the usual 0/255 content.
            for (int kind = 0; kind < 3; ++kind) {
                Image src(s[0], s[1], 1), dst(s[0], s[1], 1), ref(s[0], s[1], 1),
                    scratch(s[0], s[1], 1);
                const uint32_t seed = s[0] * 1000 + s[1] * 10 + kind;
                kttest::fill_random(src.get(), seed, kind > 0, kind == 1 ? 0.1 : 0.9);
                kttest::fill_random(dst.get(), seed + 7);  // borders must stay as they were
                std::memcpy(ref.get()->data, dst.get()->data, dst.get()->size);
                reference(src.get(), ref.get(), op.dilate);
                ASSERT_EQ(1, op.fn(src.get(), dst.get(), scratch.get()));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()))
                    << op.name << " " << s[0] << "x" << s[1] << " kind " << kind;

                // In place, as the pipeline runs it.
                ASSERT_EQ(1, op.fn(src.get(), src.get(), scratch.get()));
                Image ref2(s[0], s[1], 1);
                kttest::fill_random(ref2.get(), seed, kind > 0, kind == 1 ? 0.1 : 0.9);
                Image orig(s[0], s[1], 1);
                std::memcpy(orig.get()->data, ref2.get()->data, ref2.get()->size);
                reference(orig.get(), ref2.get(), op.dilate);
                EXPECT_EQ(-1, kttest::first_difference(ref2.get(), src.get()))
                    << "in place " << op.name << " " << s[0] << "x" << s[1];
            }
        }
    }
}

TEST(Morphology, ComparatorDetectsASingleFlippedPixel) {
    Image src(33, 17, 1), dst(33, 17, 1), ref(33, 17, 1), scratch(33, 17, 1);
    kttest::fill_random(src.get(), 99, true, 0.05);
    reference(src.get(), ref.get(), true);
    ASSERT_EQ(1, kt_dilate_image(src.get(), dst.get(), scratch.get()));
    ASSERT_EQ(-1, kttest::first_difference(ref.get(), dst.get()));
    const uint32_t at = 16 + 33 * 8;
    ref.get()->data[at] ^= 0xFF;
    EXPECT_EQ(long(at), kttest::first_difference(ref.get(), dst.get()));
}

TEST(Morphology, SinglePixelSpreadsToThreeByThreeButNotIntoTheBorder) {
    Image src(10, 10, 1), dst(10, 10, 1), scratch(10, 10, 1);
    src.at(5, 5) = 255;
    src.at(3, 0) = 255;  // on the border row
    ASSERT_EQ(1, kt_dilate_image(src.get(), dst.get(), scratch.get()));
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            const bool block = x >= 4 && x <= 6 && y >= 4 && y <= 6;
            const bool below_border = y == 1 && x >= 2 && x <= 4;  // spread down, not along row 0
            ASSERT_EQ(block || below_border ? 255 : 0, dst.at(x, y)) << x << "," << y;
        }
    // Erosion of the result shrinks the block back to its centre.
    Image back(10, 10, 1);
    ASSERT_EQ(1, kt_erode_image(dst.get(), back.get(), scratch.get()));
    EXPECT_EQ(255, back.at(5, 5));
    EXPECT_EQ(0, back.at(4, 5));
}

TEST(Morphology, ShortImagesPassThroughUntouched) {
    for (const Op& op : kOps) {
        Image src(6, 2, 1), dst(6, 2, 1), scratch(6, 2, 1);
        kttest::fill_random(src.get(), 3);
        std::memset(dst.get()->data, 0x42, dst.get()->size);
        EXPECT_EQ(1, op.fn(src.get(), dst.get(), scratch.get()));
        for (uint32_t i = 0; i < dst.get()->size; ++i) ASSERT_EQ(0x42, dst.get()->data[i]);
    }
}

TEST(Morphology, RefusesBadInputsWithoutWriting) {
    for (const Op& op : kOps) {
        Image src(8, 8, 1), dst(8, 8, 1), scratch(8, 8, 1), small_scratch(8, 7, 1), small(8, 7, 1),
            color(8, 8, 3), empty;
        std::memset(dst.get()->data, 0x42, dst.get()->size);
        src.at(4, 4) = 255;
        EXPECT_EQ(0, op.fn(nullptr, dst.get(), scratch.get()));
        EXPECT_EQ(0, op.fn(src.get(), nullptr, scratch.get()));
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), nullptr));
        EXPECT_EQ(0, op.fn(src.get(), small.get(), scratch.get()));
        // A short scratch would be overrun by the vertical pass, for dilation as for erosion.
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), small_scratch.get()));
        EXPECT_EQ(0, op.fn(color.get(), dst.get(), scratch.get()));
        EXPECT_EQ(0, op.fn(empty.get(), dst.get(), scratch.get()));
        // The scratch may not be the source or the destination.
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), src.get()));
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), dst.get()));
        for (uint32_t i = 0; i < dst.get()->size; ++i) ASSERT_EQ(0x42, dst.get()->data[i]);
    }
}

// Box variant reference: the box cut out as an image of its own, operated on, and its interior put
// back at the box's place.
void box_reference(const kt_image* src, kt_image* dst, const kt_bbox& b, bool dilate) {
    Image cut(b.width, b.height, 1), res(b.width, b.height, 1);
    for (uint32_t y = 0; y < b.height; ++y)
        for (uint32_t x = 0; x < b.width; ++x)
            cut.at(x, y) = src->data[(b.y + y) * src->width + b.x + x];
    reference(cut.get(), res.get(), dilate);
    for (uint32_t y = 1; y + 1 < b.height; ++y)
        for (uint32_t x = 1; x + 1 < b.width; ++x)
            dst->data[(b.y + y) * dst->width + b.x + x] = res.at(x, y);
}

TEST(Morphology, BoxVariantsMatchCropOperatePaste) {
    using RoiFn = int (*)(const kt_image*, kt_image*, kt_image*, const kt_bbox*);
    const struct {
        RoiFn fn;
        bool dilate;
    } ops[] = {{kt_dilate_image_roi, true}, {kt_erode_image_roi, false}};
    // Boxes wider than the 256-byte column strip of the in-place vertical pass included.
    const kt_bbox boxes[] = {{0, 0, 67, 9}, {5, 1, 3, 3}, {10, 2, 41, 7}, {66, 0, 1, 9},
                             {1, 1, 65, 2}, {0, 3, 1, 1}};
    for (const auto& op : ops) {
        for (uint32_t w : {67u, 300u}) {
            for (const kt_bbox& b0 : boxes) {
                kt_bbox b = b0;
                if (w == 300 && b.width == 67) b.width = 300;
                if (w == 300 && b.width == 65) b.width = 290;
                Image src(w, 9, 1), dst(w, 9, 1), ref(w, 9, 1), scratch(b.width, b.height, 1);
                kttest::fill_random(src.get(), b.x * 7 + b.width + w, true, 0.3);
                kttest::fill_random(dst.get(), 5);
                std::memcpy(ref.get()->data, dst.get()->data, dst.get()->size);
                box_reference(src.get(), ref.get(), b, op.dilate);
                ASSERT_EQ(1, op.fn(src.get(), dst.get(), scratch.get(), &b));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()))
                    << b.x << "," << b.y << " " << b.width << "x" << b.height << " w " << w;

                // In place.
                std::memcpy(ref.get()->data, src.get()->data, src.get()->size);
                box_reference(src.get(), ref.get(), b, op.dilate);
                ASSERT_EQ(1, op.fn(src.get(), src.get(), scratch.get(), &b));
                EXPECT_EQ(-1, kttest::first_difference(ref.get(), src.get()));
            }
        }
        // A null box is the whole image with an image-sized scratch.
        Image src(33, 17, 1), dst(33, 17, 1), ref(33, 17, 1), scratch(33, 17, 1);
        kttest::fill_random(src.get(), 8, true, 0.2);
        reference(src.get(), ref.get(), op.dilate);
        ASSERT_EQ(1, op.fn(src.get(), dst.get(), scratch.get(), nullptr));
        EXPECT_EQ(-1, kttest::first_difference(ref.get(), dst.get()));

        // Refused: box leaving the source, scratch not exactly the box, wrapping coordinates.
        const kt_bbox out_of_range[] = {{30, 0, 4, 3}, {0, 15, 3, 3}, {0xFFFFFFFFu, 0, 2, 3}};
        for (const kt_bbox& b : out_of_range) {
            Image sc(b.width, b.height, 1);
            EXPECT_EQ(0, op.fn(src.get(), dst.get(), sc.get(), &b));
        }
        const kt_bbox b{2, 2, 5, 5};
        Image wrong(5, 6, 1), wide(6, 5, 1);
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), wrong.get(), &b));
        EXPECT_EQ(0, op.fn(src.get(), dst.get(), wide.get(), &b));
    }
}

}  // namespace
