// The 64-bin colour histograms: building over boxes and masks, arithmetic, comparison, CSV output.
#include <cstdio>
#include <fstream>

#include "image_test_util.h"
#include "kt_histogram.h"

using kttest::Image;

static kt_histogram withBins(std::initializer_list<std::pair<int, uint32_t>> entries) {
    kt_histogram h;
    kt_histogram_reset(&h);
    for (auto& e : entries) h.total += h.bins[e.first] = e.second;
    return h;
}

static bool same(const kt_histogram& a, const kt_histogram& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(KtHistogram, BinIndexAndRepresentativeColour) {
    EXPECT_EQ(3u + 4u * 1 + 16u * 2, kt_histogram_index(255, 64, 128));
    EXPECT_EQ(224u | (32u << 8) | (96u << 16), kt_histogram_bin_to_rgb(3 + 16));  // levels 3, 0, 1
    for (uint32_t bin = 0; bin < 64; ++bin) {  // every bin maps back to itself through its colour
        const uint32_t rgb = kt_histogram_bin_to_rgb(bin);
        EXPECT_EQ(bin, kt_histogram_index(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
    }
}

TEST(KtHistogram, SetCountsBoxPixelsWithRelativePositionsDarkAndMaskRules) {
    Image img(8, 6, 4);
    const unsigned pixels[][5] = {
        {3, 2, 0, 0, 200},  // x, y, b, g, r: red, at box-relative (1, 1) for a box at (2, 1)
        {4, 3, 0, 0, 255},  // same bin at (2, 2)
        {2, 1, 200, 0, 0},  // blue at (0, 0)
        {5, 1, 16, 16, 16},  // dark: never counted
        {3, 1, 17, 16, 16},  // just above dark: bin 0
        {4, 1, 20, 20, 20},  // bin 0
        {7, 5, 255, 255, 255}};  // outside the box; the rest of the box is black: not counted
    for (const auto& p : pixels)
        for (int c = 0; c < 3; ++c) img.at(p[0], p[1], c) = static_cast<unsigned char>(p[2 + c]);
    const kt_bbox box{2, 1, 4, 3};
    kt_histogram h;
    ASSERT_EQ(1, kt_histogram_set(&h, img.get(), nullptr, &box));
    const uint32_t red = kt_histogram_index(255, 0, 0), blue = kt_histogram_index(0, 0, 255);
    EXPECT_TRUE(h.total == 5 && h.bins[0] == 2 && h.bins[blue] == 1);
    EXPECT_TRUE(h.bins[red] == 2 && h.sum_x[red] == 3 && h.sum_y[red] == 3);
    uint32_t x = 99, y = 99;
    ASSERT_EQ(1, kt_histogram_xy(&h, red, &x, &y));
    EXPECT_TRUE(x == 1 && y == 1);  // 3 / 2
    EXPECT_EQ(0, kt_histogram_xy(&h, 5, &x, &y) | kt_histogram_xy(&h, 64, &x, &y));
    EXPECT_EQ(1u, x);  // outputs untouched
    Image mask(8, 6, 1);  // with a mask: only where the mask is set, and never bin 0
    mask.at(3, 1) = mask.at(3, 2) = 255;  // a bin 0 pixel and a red one
    ASSERT_EQ(1, kt_histogram_set(&h, img.get(), mask.get(), &box));
    EXPECT_TRUE(h.total == 1 && h.bins[red] == 1 && h.bins[0] == 0);
}

TEST(KtHistogram, SetRefusesBadInputsAndClipsTheBox) {
    Image img(4, 4, 4), gray(4, 4, 1), small_mask(3, 4, 1), liar(4, 4, 4);
    for (uint32_t i = 0; i < 16; ++i) img.img.data[4 * i + 2] = 255;  // red
    liar.img.height = 400;  // an inconsistent record is refused, not walked
    const kt_bbox box{0, 0, 4, 4};
    kt_histogram h = withBins({{5, 7}});
    EXPECT_EQ(0, kt_histogram_set(&h, gray.get(), nullptr, &box) |
                     kt_histogram_set(&h, liar.get(), nullptr, &box));
    EXPECT_EQ(7u, h.total);  // untouched for a wrong image; cleared first for a wrong mask
    for (Image* mask : {&img, &small_mask}) {
        h = withBins({{5, 7}});
        EXPECT_TRUE(kt_histogram_set(&h, img.get(), mask->get(), &box) == 0 && h.total == 0u);
    }
    // A box reaching past the image counts only the pixels that exist.
    const std::pair<kt_bbox, uint32_t> clips[] = {
        {{2, 3, 100, 100}, 2}, {{4, 0, 2, 2}, 0}, {{1, 1, 0xFFFFFFFFu, 0xFFFFFFFFu}, 9}};
    for (const auto& c : clips)
        EXPECT_TRUE(kt_histogram_set(&h, img.get(), nullptr, &c.first) == 1 && h.total == c.second)
            << c.second;
}

TEST(KtHistogram, AddSubAndAverage) {
    kt_histogram a = withBins({{1, 10}, {2, 5}}), b = withBins({{1, 4}, {3, 2}}), big = withBins({{1, 20}});
    a.sum_x[1] = 100, b.sum_x[1] = 150, big.sum_x[1] = 1000;
    ASSERT_EQ(1, kt_histogram_add(&a, &b));
    EXPECT_TRUE(a.bins[1] == 14 && a.bins[3] == 2 && a.sum_x[1] == 250 && a.total == 21);
    ASSERT_EQ(1, kt_histogram_sub(&a, &big));
    EXPECT_TRUE(a.bins[1] == 0 && a.sum_x[1] == 0 && a.bins[2] == 5 && a.total == 7u);  // floored
    kt_histogram empty = withBins({}), before = a;                     // an empty source changes nothing
    kt_histogram_add(&a, &empty);
    kt_histogram_sub(&a, &empty);
    EXPECT_TRUE(same(a, before));
    kt_histogram full = withBins({{0, 0xFFFFFFF0u}}), more = withBins({{0, 0x100}});
    kt_histogram_add(&full, &more);  // saturates instead of wrapping
    EXPECT_TRUE(full.bins[0] == 0xFFFFFFFFu && full.total == 0xFFFFFFFFu);

    kt_histogram old = withBins({{4, 100}}), next = withBins({{4, 200}, {9, 40}});
    old.sum_x[4] = 1000, next.sum_x[4] = 3000;
    ASSERT_EQ(1, kt_histogram_avg(&old, &next, 0.025f));
    // bin 4: 97 + 5, each product truncated on its own; bin 9: 0 + truncate(40 x 0.025)
    EXPECT_TRUE(old.bins[4] == 102u && old.bins[9] == 1u && old.sum_x[4] == 975 + 75 && old.total == 103);
    ASSERT_EQ(1, kt_histogram_avg(&empty, &next, 0.5f));  // an empty one becomes a copy
    EXPECT_TRUE(same(empty, next));
    const kt_histogram keep = old, none = withBins({});
    EXPECT_EQ(0, kt_histogram_avg(&old, &none, 0.5f) | kt_histogram_avg(&old, &next, -0.1f) |
                     kt_histogram_avg(&old, &next, 1.5f));
    EXPECT_TRUE(same(old, keep));
}

TEST(KtHistogram, CompareDistanceOverlapAndShares) {
    const kt_histogram a = withBins({{1, 30}, {2, 10}}), a2 = withBins({{1, 3}, {2, 1}});  // same shape
    const kt_histogram d = withBins({{5, 8}}), half = withBins({{1, 1}, {5, 1}}), empty = withBins({});
    EXPECT_TRUE(kt_histogram_compare(&a, &a2) == 1.0f && kt_histogram_compare(&a, &d) == 0.0f &&
                kt_histogram_distance(&a, &d) == 1.0f);
    // half vs d: bin1 (0.5-0)^2/0.5 = 0.5, bin5 (0.5-1)^2/1.5 = 1/6: 1 - 0.5 x (2/3)
    EXPECT_NEAR(1.0 - 0.5 * (0.5 + 1.0 / 6.0), kt_histogram_compare(&half, &d), 1e-6);
    EXPECT_NEAR(0.5, kt_histogram_overlap(&half, &d), 1e-6);
    EXPECT_NEAR(1.0, kt_histogram_overlap(&a, &a2), 1e-6);
    EXPECT_TRUE(kt_histogram_compare(&a, &empty) == 0.0f && kt_histogram_distance(&empty, &a) == 1.0f &&
                kt_histogram_overlap(&a, &empty) == 0.0f);

    const kt_histogram h = withBins({{3, 6}, {7, 6}, {9, 3}});
    EXPECT_TRUE(kt_histogram_get_bin(&h, 3) == 0.4f && kt_histogram_bin_pct(&h, 9) == 0.2f);
    EXPECT_TRUE(kt_histogram_bin_pct(&h, 64) == -1.0f && kt_histogram_bin_pct(&empty, 3) == -1.0f);
    EXPECT_EQ(0.0f, kt_histogram_get_bin(&h, 64));  // no read past the bins
    uint32_t count = 0;
    EXPECT_TRUE(kt_histogram_max_bin(&h, &count) == 3u && count == 6u);  // tie with 7 keeps the lower index
    EXPECT_TRUE(kt_histogram_max_bin(&empty, &count) == 0 && kt_histogram_max_bin(nullptr, &count) == ~0u);
}

TEST(KtHistogram, PrintWritesOneCsvLinePerBin) {
    const std::string path = std::string(KT_BINARY_DIR) + "/kt_histogram_print_test.csv";
    const kt_histogram filled = withBins({{3, 1}, {0, 3}});
    for (const kt_histogram& h : {filled, withBins({})}) {
        ASSERT_EQ(1, kt_histogram_print(path.c_str(), &h));
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        ASSERT_TRUE(lines.size() == 65u && lines[0] == "Index,Color,Pct,Value");
        EXPECT_EQ(h.total ? "3,#e02020,0.250000,1" : "3,#e02020,-1.000000,0", lines[4]);
        EXPECT_EQ(h.total ? "63,#e0e0e0,0.000000,0" : "63,#e0e0e0,-1.000000,0", lines[64]);
    }
    std::remove(path.c_str());
    EXPECT_EQ(0, kt_histogram_print("/nonexistent-dir/x.csv", &filled));
}
