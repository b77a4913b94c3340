// 3x3 dilation and erosion: the word-wide passes, whole image and in a box, against a plain per-pixel
// reference, in place and not, and refused inputs.
#include <gtest/gtest.h>

#include <iterator>

#include "image_test_util.h"
#include "kt_morphology.h"

using kttest::Image;

namespace {

// Plain reference: OR/AND of the 3x3 neighbourhood for the interior pixels of box; the box's first
// and last rows and columns (and boxes shorter than 3 rows) keep the destination's previous value.
void reference(const kt_image* src, kt_image* dst, bool dilate, const kt_bbox& b) {
    for (uint32_t y = b.y + 1; y + 1 < b.y + b.height; ++y)
        for (uint32_t x = b.x + 1; x + 1 < b.x + b.width; ++x) {
            unsigned v = dilate ? 0u : 0xFFu;
            for (uint32_t sy = y - 1; sy <= y + 1; ++sy)
                for (uint32_t sx = x - 1; sx <= x + 1; ++sx) {
                    const unsigned p = src->data[sy * src->width + sx];
                    v = dilate ? (v | p) : (v & p);
                }
            dst->data[y * dst->width + x] = static_cast<unsigned char>(v);
        }
}

using MorphFn = int (*)(const kt_image*, kt_image*, kt_image*);
using RoiFn = int (*)(const kt_image*, kt_image*, kt_image*, const kt_bbox*);
const struct { const char* name; MorphFn fn; RoiFn roi; bool dilate; } kOps[] = {
    {"dilate", kt_dilate_image, kt_dilate_image_roi, true},
    {"erode", kt_erode_image, kt_erode_image_roi, false}};

TEST(Morphology, MatchesPerPixelReferenceOnOddSizesAndBoxes) {
    // Widths around multiples of the 4-byte word, short and narrow images; boxes wider than the
    // 256-byte column strip of the in-place vertical pass in the 300 wide image. A null box is the
    // whole image through the box variant.
    const uint32_t shapes[][2] = {{1, 1}, {3, 5}, {33, 17}, {67, 9}, {4, 4}, {8, 3},
                                  {64, 11}, {5, 2}, {2, 7}, {3, 3}, {129, 33}, {300, 9}};
    const kt_bbox boxes[] = {{0, 0, 67, 9}, {5, 1, 3, 3}, {10, 2, 41, 7}, {66, 0, 1, 9},
                             {1, 1, 65, 2}, {0, 3, 1, 1}, {0, 0, 300, 9}, {3, 1, 290, 8}};
    for (const auto& op : kOps)
        for (const auto& s : shapes)
            for (int kind = 0; kind < 3; ++kind)  // any bytes (bitwise OR/AND), sparse and dense masks
                for (int variant = -2; variant < int(std::size(boxes)); ++variant) {  // whole, null, box
                    const kt_bbox* box = variant >= 0 ? &boxes[variant] : nullptr;
                    if (box && (s[1] != 9 || box->x + box->width > s[0] || kind == 0)) continue;
                    const kt_bbox b = box ? *box : kt_bbox{0, 0, s[0], s[1]};
                    Image src(s[0], s[1], 1), dst(s[0], s[1], 1), ref(s[0], s[1], 1);
                    Image scratch(b.width, b.height, 1);
                    const uint32_t seed = s[0] * 1000 + s[1] * 10 + kind;
                    kttest::fill_random(src.get(), seed, kind > 0, kind == 1 ? 0.1 : 0.9);
                    kttest::fill_random(dst.get(), kind + 7);  // what lies outside the interior must stay
                    auto run = [&](kt_image* d) {
                        return variant == -2 ? op.fn(src.get(), d, scratch.get())
                                             : op.roi(src.get(), d, scratch.get(), box);
                    };
                    for (bool in_place : {false, true}) {
                        kt_image* d = in_place ? src.get() : dst.get();
                        std::memcpy(ref.img.data, d->data, d->size);
                        reference(src.get(), ref.get(), op.dilate, b);
                        ASSERT_EQ(1, run(d));
                        ASSERT_EQ(-1, kttest::first_difference(ref.get(), d))
                            << op.name << " " << s[0] << "x" << s[1] << " box " << variant << " " << in_place;
                    }
                }
    // The comparison can fail: a single flipped reference pixel is found.
    Image src(33, 17, 1), dst(33, 17, 1), ref(33, 17, 1), scratch(33, 17, 1);
    kttest::fill_random(src.get(), 99, true, 0.05);
    reference(src.get(), ref.get(), true, kt_bbox{0, 0, 33, 17});
    ASSERT_EQ(1, kt_dilate_image(src.get(), dst.get(), scratch.get()));
    ref.at(16, 8) ^= 0xFF;
    EXPECT_EQ(long(16 + 33 * 8), kttest::first_difference(ref.get(), dst.get()));
}

TEST(Morphology, RefusesBadInputsWithoutWriting) {
    for (const auto& op : kOps) {
        Image src(8, 8, 1), dst(8, 8, 1), sc(8, 8, 1), short_sc(8, 7, 1), small(8, 7, 1), color(8, 8, 3);
        Image tall(5, 6, 1), wide(6, 5, 1), sc3(3, 3, 1), sc4(4, 3, 1), sc2(2, 3, 1), empty;
        dst.fill(0x42);
        src.at(4, 4) = 255;
        kt_image *S = src.get(), *D = dst.get();
        // A short scratch would be overrun by the vertical pass; the scratch is written while source and
        // destination are read, so it may be neither. Box variants: a box leaving the source (or
        // wrapping), a scratch not exactly the box.
        const kt_bbox b{2, 2, 5, 5}, right{30, 0, 4, 3}, below{0, 7, 3, 3}, wrap{0xFFFFFFFFu, 0, 2, 3};
        const int results[] = {op.fn(nullptr, D, sc.get()),       op.fn(S, D, nullptr),
                               op.fn(S, small.get(), sc.get()),   op.fn(S, D, short_sc.get()),
                               op.fn(color.get(), D, sc.get()),   op.fn(empty.get(), D, sc.get()),
                               op.fn(S, D, S),                    op.fn(S, D, D),
                               op.roi(S, D, sc4.get(), &right),   op.roi(S, D, sc3.get(), &below),
                               op.roi(S, D, sc2.get(), &wrap),    op.roi(S, D, tall.get(), &b),
                               op.roi(S, D, wide.get(), &b)};
        for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(0, results[i]) << op.name << i;
        EXPECT_TRUE(dst.all(0x42)) << op.name;
    }
}

}  // namespace
