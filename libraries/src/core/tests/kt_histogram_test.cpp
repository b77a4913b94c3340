// Behaviour of the 64-bin colour histograms: building over boxes and masks, arithmetic, comparison.
#include "kt_histogram.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A test-owned image record over a vector, so the histogram code is tested on its own.
struct TestImage {
    std::vector<unsigned char> pixels;
    kt_image img{};
    TestImage(uint32_t w, uint32_t h, uint32_t ch) : pixels(size_t(w) * h * ch, 0) {
        img.data = pixels.data();
        img.width = w;
        img.height = h;
        img.channels = ch;
        img.size = w * h * ch;
    }
    void bgr(uint32_t x, uint32_t y, unsigned char b, unsigned char g, unsigned char r) {
        unsigned char* p = &pixels[4 * (size_t(y) * img.width + x)];
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    void fill(unsigned char b, unsigned char g, unsigned char r) {
        for (uint32_t y = 0; y < img.height; ++y)
            for (uint32_t x = 0; x < img.width; ++x) bgr(x, y, b, g, r);
    }
};

kt_histogram withBins(std::initializer_list<std::pair<int, uint32_t>> entries) {
    kt_histogram h;
    kt_histogram_reset(&h);
    for (auto& e : entries) {
        h.bins[e.first] = e.second;
        h.total += e.second;
    }
    return h;
}

}  // namespace

TEST(KtHistogram, BinIndexAndRepresentativeColour) {
    EXPECT_EQ(kt_histogram_index(0, 0, 0), 0u);
    EXPECT_EQ(kt_histogram_index(255, 0, 0), 3u);
    EXPECT_EQ(kt_histogram_index(0, 255, 0), 12u);
    EXPECT_EQ(kt_histogram_index(0, 0, 255), 48u);
    EXPECT_EQ(kt_histogram_index(63, 64, 128), 0u + 4u + 32u);
    // red level 3, green 0, blue 1: 224, 32, 96
    EXPECT_EQ(kt_histogram_bin_to_rgb(3 + 16), 224u | (32u << 8) | (96u << 16));
    EXPECT_EQ(kt_histogram_bin_to_rgb(0), 32u | (32u << 8) | (32u << 16));
    // Every bin maps back to itself through its representative colour.
    for (uint32_t bin = 0; bin < 64; ++bin) {
        uint32_t rgb = kt_histogram_bin_to_rgb(bin);
        EXPECT_EQ(kt_histogram_index(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF), bin);
    }
}

TEST(KtHistogram, SetCountsBoxPixelsWithRelativePositions) {
    TestImage img(8, 6, 4);
    img.bgr(3, 2, 0, 0, 200);   // red, at box-relative (1, 1) for a box at (2, 1)
    img.bgr(4, 3, 0, 0, 255);   // same bin at (2, 2)
    img.bgr(2, 1, 200, 0, 0);   // blue at (0, 0)
    img.bgr(7, 5, 255, 255, 255);  // outside the box
    kt_bbox box{2, 1, 4, 3};
    kt_histogram h;
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &box), 1);
    EXPECT_EQ(h.total, 3u);
    uint32_t red = kt_histogram_index(255, 0, 0), blue = kt_histogram_index(0, 0, 255);
    EXPECT_EQ(h.bins[red], 2u);
    EXPECT_EQ(h.sum_x[red], 3u);
    EXPECT_EQ(h.sum_y[red], 3u);
    EXPECT_EQ(h.bins[blue], 1u);
    uint32_t x = 99, y = 99;
    ASSERT_EQ(kt_histogram_xy(&h, red, &x, &y), 1);
    EXPECT_EQ(x, 1u);  // 3 / 2
    EXPECT_EQ(y, 1u);
    EXPECT_EQ(kt_histogram_xy(&h, 5, &x, &y), 0);  // empty bin: outputs untouched
    EXPECT_EQ(x, 1u);
    EXPECT_EQ(kt_histogram_xy(&h, 64, &x, &y), 0);
    EXPECT_EQ(kt_histogram_xy(&h, red, nullptr, &y), 0);
}

TEST(KtHistogram, DarkPixelsAndMaskRules) {
    TestImage img(4, 4, 4);
    img.fill(0, 0, 0);
    kt_bbox box{0, 0, 4, 4};
    kt_histogram h;
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &box), 1);
    EXPECT_EQ(h.total, 0u);  // pure black is not counted
    EXPECT_EQ(kt_histogram_compare(&h, &h), 0.0f);

    // Threshold 16: (16,16,16) is dark, (17,16,16) and (20,20,20) count, in bin 0.
    img.bgr(0, 0, 16, 16, 16);
    img.bgr(1, 0, 17, 16, 16);
    img.bgr(2, 0, 20, 20, 20);
    img.bgr(3, 0, 0, 0, 255);
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &box), 1);
    EXPECT_EQ(h.bins[0], 2u);
    EXPECT_EQ(h.total, 3u);

    // With a mask: only where the mask is set, and never bin 0.
    TestImage mask(4, 4, 1);
    mask.pixels[1] = 255;  // (1,0), bin 0
    mask.pixels[3] = 255;  // (3,0), red
    ASSERT_EQ(kt_histogram_set(&h, &img.img, &mask.img, &box), 1);
    EXPECT_EQ(h.bins[0], 0u);
    EXPECT_EQ(h.total, 1u);
    EXPECT_EQ(h.bins[kt_histogram_index(255, 0, 0)], 1u);
}

TEST(KtHistogram, SetRefusesBadInputsAndClipsTheBox) {
    TestImage img(4, 4, 4);
    img.fill(0, 0, 255);
    TestImage gray(4, 4, 1);
    TestImage smallMask(3, 4, 1);
    kt_bbox box{0, 0, 4, 4};
    kt_histogram h = withBins({{5, 7}});

    EXPECT_EQ(kt_histogram_set(nullptr, &img.img, nullptr, &box), 0);
    EXPECT_EQ(kt_histogram_set(&h, &gray.img, nullptr, &box), 0);
    EXPECT_EQ(h.total, 7u);  // untouched for a wrong image
    EXPECT_EQ(kt_histogram_set(&h, nullptr, nullptr, &box), 0);
    EXPECT_EQ(h.total, 7u);

    EXPECT_EQ(kt_histogram_set(&h, &img.img, &img.img, &box), 0);  // four-channel mask
    EXPECT_EQ(h.total, 0u);
    h = withBins({{5, 7}});
    EXPECT_EQ(kt_histogram_set(&h, &img.img, &smallMask.img, &box), 0);  // mask of another size
    EXPECT_EQ(h.total, 0u);
    h = withBins({{5, 7}});
    EXPECT_EQ(kt_histogram_set(&h, &img.img, nullptr, nullptr), 0);
    EXPECT_EQ(h.total, 0u);

    // An inconsistent record (size disagreeing with the shape) is refused, not walked.
    TestImage liar(4, 4, 4);
    liar.img.height = 400;
    EXPECT_EQ(kt_histogram_set(&h, &liar.img, nullptr, &box), 0);

    // A box reaching past the image counts only the pixels that exist.
    kt_bbox past{2, 3, 100, 100};
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &past), 1);
    EXPECT_EQ(h.total, 2u);
    kt_bbox outside{4, 0, 2, 2};
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &outside), 1);
    EXPECT_EQ(h.total, 0u);
    kt_bbox huge{1, 1, 0xFFFFFFFFu, 0xFFFFFFFFu};
    ASSERT_EQ(kt_histogram_set(&h, &img.img, nullptr, &huge), 1);
    EXPECT_EQ(h.total, 9u);
}

TEST(KtHistogram, AddSubAndCopy) {
    kt_histogram a = withBins({{1, 10}, {2, 5}});
    a.sum_x[1] = 100;
    kt_histogram b = withBins({{1, 4}, {3, 2}});
    b.sum_x[1] = 150;
    ASSERT_EQ(kt_histogram_add(&a, &b), 1);
    EXPECT_EQ(a.bins[1], 14u);
    EXPECT_EQ(a.bins[3], 2u);
    EXPECT_EQ(a.sum_x[1], 250u);
    EXPECT_EQ(a.total, 21u);

    kt_histogram big = withBins({{1, 20}});
    big.sum_x[1] = 1000;
    ASSERT_EQ(kt_histogram_sub(&a, &big), 1);
    EXPECT_EQ(a.bins[1], 0u);  // floored, not wrapped
    EXPECT_EQ(a.sum_x[1], 0u);
    EXPECT_EQ(a.bins[2], 5u);
    EXPECT_EQ(a.total, 7u);  // sum of the remaining bins

    // An empty source changes nothing.
    kt_histogram empty;
    kt_histogram_reset(&empty);
    kt_histogram before = a;
    EXPECT_EQ(kt_histogram_add(&a, &empty), 1);
    EXPECT_EQ(kt_histogram_sub(&a, &empty), 1);
    EXPECT_EQ(std::memcmp(&a, &before, sizeof a), 0);

    // Additions saturate instead of wrapping.
    kt_histogram full = withBins({{0, 0xFFFFFFF0u}});
    kt_histogram more = withBins({{0, 0x100}});
    kt_histogram_add(&full, &more);
    EXPECT_EQ(full.bins[0], 0xFFFFFFFFu);
    EXPECT_EQ(full.total, 0xFFFFFFFFu);

    kt_histogram c;
    ASSERT_EQ(kt_histogram_cpy(&c, &a), 1);
    EXPECT_EQ(std::memcmp(&c, &a, sizeof a), 0);
    EXPECT_EQ(kt_histogram_cpy(nullptr, &a), 0);
    EXPECT_EQ(kt_histogram_add(&a, nullptr), 0);
    EXPECT_EQ(kt_histogram_sub(nullptr, &a), 0);
    EXPECT_EQ(kt_histogram_reset(nullptr), 0);
}

TEST(KtHistogram, AverageTruncatesEachProduct) {
    kt_histogram old = withBins({{4, 100}});
    old.sum_x[4] = 1000;
    kt_histogram next = withBins({{4, 200}, {9, 40}});
    next.sum_x[4] = 3000;
    ASSERT_EQ(kt_histogram_avg(&old, &next, 0.025f), 1);
    EXPECT_EQ(old.bins[4], 102u);  // 97 + 5
    EXPECT_EQ(old.bins[9], 1u);    // 0 + truncate(40 x 0.025)
    EXPECT_EQ(old.sum_x[4], 975u + 75u);
    EXPECT_EQ(old.total, 103u);

    // An empty histogram becomes a copy of the new one.
    kt_histogram empty;
    kt_histogram_reset(&empty);
    ASSERT_EQ(kt_histogram_avg(&empty, &next, 0.5f), 1);
    EXPECT_EQ(std::memcmp(&empty, &next, sizeof next), 0);

    // Refusals leave the histogram alone: empty new one, null, weight outside 0..1.
    kt_histogram none;
    kt_histogram_reset(&none);
    kt_histogram keep = old;
    EXPECT_EQ(kt_histogram_avg(&old, &none, 0.5f), 0);
    EXPECT_EQ(kt_histogram_avg(&old, nullptr, 0.5f), 0);
    EXPECT_EQ(kt_histogram_avg(nullptr, &next, 0.5f), 0);
    EXPECT_EQ(kt_histogram_avg(&old, &next, -0.1f), 0);
    EXPECT_EQ(kt_histogram_avg(&old, &next, 1.5f), 0);
    EXPECT_EQ(std::memcmp(&old, &keep, sizeof old), 0);

    // Weight 1 takes the new one over.
    ASSERT_EQ(kt_histogram_avg(&old, &next, 1.0f), 1);
    EXPECT_EQ(old.bins[4], 200u);
    EXPECT_EQ(old.total, 240u);
}

TEST(KtHistogram, CompareDistanceOverlap) {
    kt_histogram a = withBins({{1, 30}, {2, 10}});
    kt_histogram a2 = withBins({{1, 3}, {2, 1}});  // same shape, other scale
    kt_histogram d = withBins({{5, 8}});
    kt_histogram half = withBins({{1, 1}, {5, 1}});
    kt_histogram empty;
    kt_histogram_reset(&empty);

    EXPECT_FLOAT_EQ(kt_histogram_compare(&a, &a), 1.0f);
    EXPECT_FLOAT_EQ(kt_histogram_compare(&a, &a2), 1.0f);
    EXPECT_FLOAT_EQ(kt_histogram_compare(&a, &d), 0.0f);
    EXPECT_FLOAT_EQ(kt_histogram_distance(&a, &d), 1.0f);
    EXPECT_FLOAT_EQ(kt_histogram_distance(&a, &a), 0.0f);
    // half vs d: bin1 (0.5-0)^2/0.5 = 0.5, bin5 (0.5-1)^2/1.5 = 1/6: 1 - 0.5 x (2/3)
    EXPECT_NEAR(kt_histogram_compare(&half, &d), 1.0 - 0.5 * (0.5 + 1.0 / 6.0), 1e-6);
    EXPECT_NEAR(kt_histogram_overlap(&half, &d), 0.5, 1e-6);
    EXPECT_NEAR(kt_histogram_overlap(&a, &a2), 1.0, 1e-6);

    EXPECT_EQ(kt_histogram_compare(&a, &empty), 0.0f);
    EXPECT_EQ(kt_histogram_compare(nullptr, &a), 0.0f);
    EXPECT_EQ(kt_histogram_distance(&empty, &a), 1.0f);
    EXPECT_EQ(kt_histogram_distance(&a, nullptr), 1.0f);
    EXPECT_EQ(kt_histogram_overlap(&a, &empty), 0.0f);
}

TEST(KtHistogram, BinShareAndMaximum) {
    kt_histogram h = withBins({{3, 6}, {7, 6}, {9, 3}});
    EXPECT_FLOAT_EQ(kt_histogram_get_bin(&h, 3), 0.4f);
    EXPECT_FLOAT_EQ(kt_histogram_bin_pct(&h, 9), 0.2f);
    EXPECT_FLOAT_EQ(kt_histogram_bin_pct(&h, 63), 0.0f);
    EXPECT_EQ(kt_histogram_bin_pct(&h, 64), -1.0f);
    EXPECT_EQ(kt_histogram_bin_pct(nullptr, 3), -1.0f);
    EXPECT_EQ(kt_histogram_get_bin(&h, 64), 0.0f);  // no read past the bins
    kt_histogram empty;
    kt_histogram_reset(&empty);
    EXPECT_EQ(kt_histogram_bin_pct(&empty, 3), -1.0f);
    EXPECT_EQ(kt_histogram_get_bin(&empty, 3), 0.0f);

    uint32_t count = 0;
    EXPECT_EQ(kt_histogram_max_bin(&h, &count), 3u);  // tie with 7 keeps the lower index
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(kt_histogram_max_bin(&h, nullptr), 3u);
    EXPECT_EQ(kt_histogram_max_bin(&empty, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(kt_histogram_max_bin(nullptr, &count), 0xFFFFFFFFu);
}

TEST(KtHistogram, PrintWritesOneCsvLinePerBin) {
    std::string path = std::string(KT_BINARY_DIR) + "/kt_histogram_print_test.csv";
    kt_histogram h = withBins({{3, 1}, {0, 3}});
    ASSERT_EQ(kt_histogram_print(path.c_str(), &h), 1);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 65u);
    EXPECT_EQ(lines[0], "Index,Color,Pct,Value");
    EXPECT_EQ(lines[1], "0,#202020,0.750000,3");
    EXPECT_EQ(lines[4], "3,#e02020,0.250000,1");
    EXPECT_EQ(lines[64], "63,#e0e0e0,0.000000,0");

    kt_histogram empty;
    kt_histogram_reset(&empty);
    ASSERT_EQ(kt_histogram_print(path.c_str(), &empty), 1);
    std::ifstream again(path);
    std::string header, first;
    std::getline(again, header);
    std::getline(again, first);
    EXPECT_EQ(first, "0,#202020,-1.000000,0");
    std::remove(path.c_str());

    EXPECT_EQ(kt_histogram_print(nullptr, &h), 0);
    EXPECT_EQ(kt_histogram_print(path.c_str(), nullptr), 0);
    EXPECT_EQ(kt_histogram_print("/nonexistent-dir/x.csv", &h), 0);
}
