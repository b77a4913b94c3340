// Background model: the fixed-point Gaussian of one pixel, the tables, the model's lifetime, and the
// gray and blue-green-red comparison and update checked pixel by pixel against plain references.
#include "kt_background.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "background_reference.h"
#include "image_test_util.h"
#include "kt_alloc.h"

namespace {

using bgtest::Model;
using bgtest::ref_likelihood;
using kttest::Image;

int32_t ref_sqrt(int32_t v) {
    if (v <= 0) return 0;
    int32_t s = int32_t(std::sqrt(double(v)));
    while (int64_t(s) * s > v) --s;
    while (int64_t(s + 1) * (s + 1) <= v) ++s;
    return s;
}

void ref_update(kt_distribution& d, int x) {
    if (d.fresh) {
        d = kt_distribution{x, x * x, d.min_stdev, d.weight, d.min_var, d.min_stdev, d.scale, 0};
        return;
    }
    const int w = d.weight;
    d.mean = (d.mean * (128 - w) + w * x) >> 7;
    d.mean_sq = (d.mean_sq * (128 - w) + w * x * x) >> 7;
    const int var = d.mean_sq - d.mean * d.mean;
    if (var <= d.min_var) {
        d.stdev = d.min_stdev;
        return;
    }
    const int s = ref_sqrt(var);
    d.scale = d.stdev < 1280 ? (s < 2 ? 1280 : 1280 / s) : 0;
    d.stdev = s;
}

bool same(const kt_distribution& a, const kt_distribution& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<unsigned char> bytes(const kt_image* image) {
    return std::vector<unsigned char>(image->data, image->data + image->size);
}

// Trains the distributions directly on noisy samples around a random scene (so frames smaller than
// the update accepts can be compared), then returns a corner to fresh: a comparison meets fresh
// pixels, pixels whose scale is still 0 and pixels of every spread.
void train(Model& m, std::mt19937& rng) {
    kt_distribution* channels[3] = {m.bg.dist0, m.bg.dist1, m.bg.dist2};
    for (uint32_t i = 0; i < m.pixels(); ++i) {
        const int amplitude = int(rng() % 40);
        for (int c = 0; c < (m.bg.mode == 0 ? 1 : 3); ++c) {
            const int centre = int(rng() % 256);
            for (int f = 0; f < 12; ++f) {
                const int v = centre + (amplitude ? int(rng() % (2 * amplitude + 1)) - amplitude : 0);
                kt_distribution_update(&channels[c][i], std::min(255, std::max(0, v)));
            }
        }
    }
    kt_bbox box{0, 0, std::min(3u, m.bg.width), std::min(2u, m.bg.height)};
    ASSERT_EQ(1, kt_background_reset_region(&m.bg, &box));
}

TEST(BackgroundTables, MatchPlainDefinitions) {
    kt_background_fill_tables();
    for (uint32_t k = 0; k < KT_BG_COMPARE_ENTRIES; ++k)
        EXPECT_EQ(bgtest::ref_table(k), kt_bg_compare_table[k]) << k;  // 255 / z^2 in single precision
    const uint32_t anchors[][2] = {{10, 255}, {11, 210}, {12, 177}, {20, 63}, {50, 10}, {99, 2}, {100, 0}};
    for (const auto& a : anchors) EXPECT_EQ(a[1], kt_bg_compare_table[a[0]]) << a[0];
    const uint32_t divisions[][2] = {{0, 1280}, {1, 1280}, {2, 640}, {10, 128}, {1279, 1}};
    for (const auto& d : divisions) EXPECT_EQ(d[1], kt_bg_division_table[d[0]]) << d[0];
    for (uint32_t k = 0; k < KT_BG_AVERAGE_ENTRIES; ++k) EXPECT_EQ(k / 3, kt_bg_average_table[k]);
    // The square-root table replaces the bitwise root over the whole variance range.
    for (int32_t v = 0; v <= KT_BG_MAX_VARIANCE; ++v) {
        ASSERT_EQ(uint32_t(ref_sqrt(v)), kt_bg_sqrt_table[v]) << v;
        ASSERT_EQ(uint32_t(ref_sqrt(v)), kt_bg_isqrt(v)) << v;
    }
    EXPECT_EQ(0u, kt_bg_isqrt(-5));
    EXPECT_EQ(46340u, kt_bg_isqrt(2147483647));
}

TEST(BackgroundDistribution, LearningAndLikelihoodByDistance) {
    kt_background_fill_tables();
    kt_distribution d{0, 0, 255, 12, 225, 15, 0, 255};
    EXPECT_EQ(255u, kt_distribution_likelihood(&d, 0));  // fresh: always background
    kt_distribution_update(&d, 100);
    EXPECT_TRUE(same(kt_distribution{100, 10000, 15, 12, 225, 15, 0, 0}, d));
    // A constant scene never exceeds the floor: scale stays 0 and every sample is background.
    kt_distribution_update(&d, 100);
    EXPECT_EQ(255u, kt_distribution_likelihood(&d, 255));
    kt_distribution_update(&d, 200);  // weight 12/128: mean 100 -> 109, variance 931: stdev 30
    EXPECT_TRUE(same(kt_distribution{109, 12812, 30, 12, 225, 15, 1280 / 30, 0}, d));

    // stdev 10 (scale 128): a sample d grey levels away is d tenths of a deviation away.
    const kt_distribution s = bgtest::trained(100);
    const struct {
        int x;
        uint32_t likelihood;
    } cases[] = {{110, 255}, {111, 210}, {89, 210}, {112, 177}, {130, 28},
                 {70, 28},   {199, 2},   {200, 0},  {255, 0}};
    for (const auto& c : cases) EXPECT_EQ(c.likelihood, kt_distribution_likelihood(&s, c.x)) << c.x;
}

TEST(BackgroundModel, InitResizeWeightAndDeinit) {
    kt_background bg{};
    EXPECT_EQ(0, kt_background_init(nullptr, 4, 4, 0) | kt_background_init(&bg, 4, 4, 3) |
                     kt_background_init(&bg, 4, 4, -1));
    // Floors per mode: 15 for dist0; 15 (blue-green-red) or 5 (lightness-chroma) for the others.
    for (int32_t mode = KT_BG_MODE_BGR; mode <= KT_BG_MODE_LAB; ++mode) {
        ASSERT_EQ(1, kt_background_init(&bg, 6, 5, mode));
        EXPECT_FLOAT_EQ(0.1f, bg.weight);
        for (uint32_t i = 0; i < 30; ++i) {
            EXPECT_EQ(255, bg.dist0[i].fresh);
            EXPECT_EQ(12, bg.dist2[i].weight);
            EXPECT_EQ(15, bg.dist0[i].min_stdev);
            EXPECT_EQ(mode == KT_BG_MODE_LAB ? 5 : 15, bg.dist1[i].min_stdev);
            EXPECT_FLOAT_EQ(0.1f, bg.edge_avg[i].weight);
        }
    }
    ASSERT_EQ(1, kt_background_set_weight(&bg, 0.01f));
    EXPECT_EQ(1, bg.dist2[29].weight);
    EXPECT_FLOAT_EQ(0.99f, bg.edge_avg[29].keep);
    for (float refused : {1.5f, -0.1f, std::nanf("")}) {  // stored, per-pixel rates unchanged
        ASSERT_EQ(1, kt_background_set_weight(&bg, refused));
        EXPECT_TRUE(std::isnan(refused) || bg.weight == refused);
        EXPECT_EQ(1, bg.dist0[0].weight);
        EXPECT_FLOAT_EQ(0.99f, bg.edge_avg[0].keep);
    }
    ASSERT_EQ(1, kt_background_init(&bg, 3, 3, KT_BG_MODE_GRAY));  // gray drops the colour arrays
    EXPECT_EQ(nullptr, bg.dist1);
    kt_background_deinit(&bg);
    EXPECT_EQ(0u, bg.width);
    EXPECT_EQ(nullptr, bg.dist0);
    EXPECT_EQ(1, bg.initialized);  // kept, so a second deinit is harmless
    kt_background_deinit(&bg);
    EXPECT_EQ(0, kt_background_resize(&bg, 0, 4));
    EXPECT_EQ(0, kt_background_resize(&bg, 70000, 70000));  // more pixels than 32 bits count
}

TEST(BackgroundModel, AllocationFailureLeavesModelReleased) {
    kt_background bg{};
    ASSERT_EQ(1, kt_background_init(&bg, 8, 8, KT_BG_MODE_BGR));
    kt_alloc_fail_after(2);  // dist0 and dist1 succeed, dist2 fails
    EXPECT_EQ(0, kt_background_resize(&bg, 16, 16));
    kt_alloc_fail_after(-1);
    EXPECT_EQ(0u, bg.width);
    EXPECT_EQ(nullptr, bg.dist1);
    EXPECT_EQ(0, kt_background_ready(&bg));
    // The next update builds it again.
    Image colour(16, 16, 4), mask(16, 16, 1);
    EXPECT_EQ(1, kt_background_update(&bg, nullptr, colour.get(), mask.get()));
    EXPECT_EQ(16u, bg.width);
    kt_background_deinit(&bg);
}

TEST(BackgroundModel, ResetRegionMakesExactlyTheBoxBackground) {
    Model m(10, 8, KT_BG_MODE_GRAY);
    Image frame(10, 8, 1), all(10, 8, 1), diff(10, 8, 1);
    all.fill(255);
    for (int f = 0; f < 10; ++f) {  // 0/60 alternating: the spread exceeds the floor
        frame.fill(f % 2 ? 60 : 0);
        ASSERT_EQ(1, kt_background_update(&m.bg, frame.get(), nullptr, all.get()));
    }
    frame.fill(255);
    uint32_t count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, frame.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(80u, count);
    kt_bbox box{2, 3, 4, 2};
    ASSERT_EQ(1, kt_background_reset_region(&m.bg, &box));
    ASSERT_EQ(1, kt_background_compare(&m.bg, frame.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(72u, count);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 10; ++x)
            EXPECT_EQ(x >= 2 && x < 6 && y >= 3 && y < 5, diff.at(x, y) == 0) << x << "," << y;

    const struct {
        kt_bbox box;
        int valid;
    } boxes[] = {{{0, 0, 10, 8}, 1},           {{9, 7, 1, 1}, 1},           {{9, 7, 2, 1}, 0},
                 {{0, 8, 1, 1}, 0},            {{4294967295u, 0, 2, 1}, 0}, {{0, 1, 1, 4294967295u}, 0},
                 {{10, 8, 0, 0}, 1}};
    for (const auto& c : boxes) {
        EXPECT_EQ(c.valid, kt_background_valid_region(&m.bg, &c.box));
        EXPECT_EQ(c.valid, kt_background_reset_region(&m.bg, &c.box));
    }
    EXPECT_EQ(0, kt_background_reset_region(&m.bg, nullptr));
}

// Reference comparison of a whole gray or blue-green-red frame.
std::vector<unsigned char> ref_compare(const kt_background& bg, const kt_image* image,
                                       const kt_image* mask, uint32_t* count) {
    std::vector<unsigned char> out(bg.width * bg.height, 0);
    *count = 0;
    for (uint32_t i = 0; i < out.size(); ++i) {
        if (mask && mask->data[i] == 0) continue;
        const unsigned char* p = image->data + (bg.mode ? 4 * i : i);
        const uint32_t lb = ref_likelihood(bg.dist0[i], p[0]);
        const uint32_t lg = bg.mode ? ref_likelihood(bg.dist1[i], p[1]) : 255;
        const uint32_t lr = bg.mode ? ref_likelihood(bg.dist2[i], p[2]) : 255;
        if (lr < 255 || lg < 255 || lb < 255) {
            out[i] = static_cast<unsigned char>(bg.mode ? 255 - (lr + lg + lb) / 3 : 255 - lb);
            ++*count;
        }
    }
    return out;
}

TEST(BackgroundCompare, GrayAndColourMatchReferenceOnRandomScenes) {
    // Odd sizes go through the eight-pixel loop and its tail; multiples of 8 through the loop alone.
    const uint32_t sizes[][2] = {{13, 7}, {1, 1}, {5, 3}, {31, 9}, {16, 4}, {8, 1}, {40, 25}};
    std::mt19937 rng(23);
    uint32_t changed = 0, compared = 0;
    for (int32_t mode = 0; mode <= 1; ++mode) {
        for (const auto& s : sizes) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " " + std::to_string(s[0]) + "x" +
                         std::to_string(s[1]));
            Model m(s[0], s[1], mode);
            Image image(s[0], s[1], mode ? 4 : 1), mask(s[0], s[1], 1), diff(s[0], s[1], 1);
            // Right after init every pixel matches, whatever the image.
            kttest::fill_random(image.get(), rng());
            diff.fill(7);
            uint32_t fresh_count = 99;
            ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &fresh_count));
            EXPECT_EQ(0u, fresh_count);
            EXPECT_TRUE(diff.all(0));
            train(m, rng);
            for (int round = 0; round < 4; ++round) {
                kttest::fill_random(image.get(), rng());
                kttest::fill_random(mask.get(), rng(), true, 0.6);
                for (const kt_image* gate : {static_cast<const kt_image*>(mask.get()),
                                             static_cast<const kt_image*>(nullptr)}) {
                    diff.fill(0xCC);  // stale content must go
                    uint32_t count = 0, expected_count = 0;
                    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), gate, 0, diff.get(), &count));
                    ASSERT_EQ(ref_compare(m.bg, image.get(), gate, &expected_count), bytes(diff.get()));
                    ASSERT_EQ(expected_count, count);
                    changed += count;
                    compared += diff.img.size;
                }
            }
            // The comparison can fail: the last unmasked result against a model whose scales are one
            // step off differs somewhere.
            if (m.pixels() < 60) continue;
            kt_background skewed = m.bg;
            std::vector<kt_distribution> copy(m.bg.dist0, m.bg.dist0 + m.pixels());
            for (kt_distribution& d : copy) d.scale += 16;
            skewed.dist0 = copy.data();
            uint32_t ignored = 0;
            EXPECT_NE(ref_compare(skewed, image.get(), nullptr, &ignored), bytes(diff.get()));
        }
    }
    // Both outcomes must occur for the comparison to mean something.
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, compared);
}

TEST(BackgroundCompare, OneChannelOffCountsInColour) {
    Model m(1, 1, KT_BG_MODE_BGR);
    m.bg.dist0[0] = m.bg.dist1[0] = m.bg.dist2[0] = bgtest::trained(100);
    Image image(1, 1, 4), diff(1, 1, 1);
    image.fill(100);
    image.at(0, 0, 1) = 130;  // green 3 deviations off: likelihood 28
    uint32_t count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(255 - (255 + 255 + 28) / 3, diff.at(0, 0));
}

TEST(BackgroundCompare, RejectsMismatchedArguments) {
    Model gray(8, 6, 0), colour(8, 6, 1);
    Image g(8, 6, 1), c(8, 6, 4), diff(8, 6, 1), small(8, 5, 1), other(7, 6, 1), empty;
    Image tall_diff(1, 48, 1);  // the same byte count is accepted
    uint32_t count = 5;
    EXPECT_EQ(1, kt_background_compare(&gray.bg, g.get(), nullptr, 0, tall_diff.get(), &count));
    kt_image lying = g.img;  // the model's shape, but a size that disagrees with it
    lying.size = 40;
    const struct {
        const char* name;
        kt_background* model;
        kt_image* image;
        kt_image* mask;
        kt_image* diff;
        uint32_t* count;
    } cases[] = {
        {"null model", nullptr, g.get(), nullptr, diff.get(), &count},
        {"null image", &gray.bg, nullptr, nullptr, diff.get(), &count},
        {"null diff", &gray.bg, g.get(), nullptr, nullptr, &count},
        {"null count", &gray.bg, g.get(), nullptr, diff.get(), nullptr},
        {"colour into gray", &gray.bg, c.get(), nullptr, diff.get(), &count},
        {"gray into colour", &colour.bg, g.get(), nullptr, diff.get(), &count},
        {"small diff", &gray.bg, g.get(), nullptr, small.get(), &count},
        {"small mask", &gray.bg, g.get(), small.get(), diff.get(), &count},
        {"mask without data", &gray.bg, g.get(), empty.get(), diff.get(), &count},
        {"image of another size", &gray.bg, other.get(), nullptr, diff.get(), &count},
        {"size unlike the shape", &gray.bg, &lying, nullptr, diff.get(), &count},
    };
    for (const auto& t : cases) {
        diff.fill(3);
        EXPECT_EQ(0, kt_background_compare(t.model, t.image, t.mask, 0, t.diff, t.count)) << t.name;
        EXPECT_TRUE(diff.all(3)) << t.name;
    }
    EXPECT_EQ(0, kt_background_compare_bgr(&gray.bg, c.get(), nullptr, 0, diff.get(), &count));
    gray.bg.mode = 7;
    EXPECT_EQ(0, kt_background_compare(&gray.bg, g.get(), nullptr, 0, diff.get(), &count));
    gray.bg.mode = 0;
}

TEST(BackgroundUpdate, MatchesReferenceUnderMasks) {
    std::mt19937 rng(31);
    for (int32_t mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const uint32_t w = 11, h = 9, channels = mode ? 4 : 1;
        Model m(w, h, mode);
        const float rates[] = {0.1f, 0.45f, 0.02f};  // the floors differ by mode: 15/15, 15/15, 15/5
        ASSERT_EQ(1, kt_background_set_weight(&m.bg, rates[mode]));
        // Reference distributions of channel c live at r[c][pixel].
        std::vector<kt_distribution> r[3];
        kt_distribution* arrays[3] = {m.bg.dist0, m.bg.dist1, m.bg.dist2};
        for (int c = 0; c < (mode ? 3 : 1); ++c) r[c].assign(arrays[c], arrays[c] + w * h);
        Image frame(w, h, channels), mask(w, h, 1), scene(w, h, channels);
        kttest::fill_random(scene.get(), rng());
        for (int f = 0; f < 40; ++f) {
            for (uint32_t i = 0; i < frame.img.size; ++i)
                frame.img.data[i] = static_cast<unsigned char>(scene.img.data[i] + rng() % 50);
            kttest::fill_random(mask.get(), rng(), true, 0.7);
            ASSERT_EQ(1, kt_background_update(&m.bg, mode ? nullptr : frame.get(),
                                              mode ? frame.get() : nullptr, mask.get()));
            for (uint32_t i = 0; i < w * h; ++i)
                for (int c = 0; c < (mode ? 3 : 1); ++c) {
                    if (mask.img.data[i]) ref_update(r[c][i], frame.img.data[channels * i + c]);
                    ASSERT_TRUE(same(r[c][i], arrays[c][i])) << "frame " << f << " pixel " << i;
                }
        }
        // The comparison of whole models can fail: one more reference step breaks it.
        ref_update(r[0][0], 255);
        EXPECT_FALSE(same(r[0][0], m.bg.dist0[0]));
    }
}

TEST(BackgroundUpdate, ArgumentRulesAndResize) {
    Model gray(8, 8, 0), colour(8, 8, 1);
    Image g(8, 8, 1), c(8, 8, 4), mask(8, 8, 1), g9(9, 8, 1), c9(9, 8, 4), mask9(9, 8, 1);
    Image tiny(3, 3, 1), tiny_mask(3, 3, 1), small_mask(8, 7, 1);
    mask.fill(255);
    const struct {
        const char* name;
        kt_background* model;
        kt_image* gray;
        kt_image* colour;
        kt_image* mask;
        int result;
    } cases[] = {
        {"gray ok", &gray.bg, g.get(), nullptr, mask.get(), 1},
        {"gray mode needs gray", &gray.bg, nullptr, c.get(), mask.get(), 0},
        {"colour ok", &colour.bg, nullptr, c.get(), mask.get(), 1},
        {"colour with gray ok", &colour.bg, g.get(), c.get(), mask.get(), 1},
        {"colour mode needs colour", &colour.bg, g.get(), nullptr, mask.get(), 0},
        {"sizes differ", &colour.bg, g9.get(), c.get(), mask.get(), 0},
        {"null mask", &gray.bg, g.get(), nullptr, nullptr, 0},
        {"mask of another size", &gray.bg, g.get(), nullptr, small_mask.get(), 0},
        {"3x3 is too small", &gray.bg, tiny.get(), nullptr, tiny_mask.get(), 0},
        {"null model", nullptr, g.get(), nullptr, mask.get(), 0},
    };
    for (const auto& t : cases)
        EXPECT_EQ(t.result, kt_background_update(t.model, t.gray, t.colour, t.mask)) << t.name;

    // A frame of another size re-creates the model: untrained, then learning at the new size.
    EXPECT_EQ(0, gray.bg.dist0[0].fresh);
    ASSERT_EQ(1, kt_background_update(&gray.bg, g9.get(), nullptr, mask9.get()));
    EXPECT_EQ(9u, gray.bg.width);
    EXPECT_EQ(255, gray.bg.dist0[0].fresh);  // mask9 is all 0: nothing learnt yet
    EXPECT_EQ(12, gray.bg.dist0[0].weight);
    // Edge tracking needs the gray image.
    colour.bg.track_edges = 1;
    EXPECT_EQ(0, kt_background_update(&colour.bg, nullptr, c9.get(), mask9.get()));
    EXPECT_EQ(1, kt_background_update(&colour.bg, g9.get(), c9.get(), mask9.get()));
    EXPECT_EQ(9u, colour.bg.width);
}

}  // namespace
