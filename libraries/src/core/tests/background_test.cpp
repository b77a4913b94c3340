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

#include "image_test_util.h"
#include "kt_alloc.h"

namespace {

using kttest::Image;

// --- Plain references, written from the model's definition -------------------------------------

unsigned char ref_table(uint32_t k) {
    if (k <= 10) return 255;
    if (k == 11) return 210;
    const float z = float(k) / 10.0f;
    return static_cast<unsigned char>(255.0f / (z * z));
}

uint32_t ref_likelihood(const kt_distribution& d, int x) {
    const uint32_t tenths = (uint32_t(d.scale) * uint32_t(std::abs(x - d.mean))) >> 7;
    if (tenths > 99) return uint32_t(d.fresh) & 0xFF;
    return (ref_table(tenths) | uint32_t(d.fresh)) & 0xFF;
}

int32_t ref_sqrt(int32_t v) {
    if (v <= 0) return 0;
    int32_t s = int32_t(std::sqrt(double(v)));
    while (int64_t(s) * s > v) --s;
    while (int64_t(s + 1) * (s + 1) <= v) ++s;
    return s;
}

void ref_update(kt_distribution& d, int x) {
    if (d.fresh) {
        d.mean = x;
        d.mean_sq = x * x;
        d.stdev = d.min_stdev;
        d.fresh = 0;
        return;
    }
    const int w = d.weight;
    const int m = (d.mean * (128 - w) + w * x) >> 7;
    const int q = (d.mean_sq * (128 - w) + w * x * x) >> 7;
    const int var = q - m * m;
    d.mean = m;
    d.mean_sq = q;
    if (var <= d.min_var) {
        d.stdev = d.min_stdev;
        return;
    }
    const int s = ref_sqrt(var);
    d.scale = d.stdev < 1280 ? (s < 2 ? 1280 : 1280 / s) : 0;
    d.stdev = s;
}

bool same(const kt_distribution& a, const kt_distribution& b) {
    return a.mean == b.mean && a.mean_sq == b.mean_sq && a.stdev == b.stdev &&
           a.weight == b.weight && a.min_var == b.min_var && a.min_stdev == b.min_stdev &&
           a.scale == b.scale && a.fresh == b.fresh;
}

// Owns a model for one test.
struct Model {
    kt_background bg{};
    Model(uint32_t w, uint32_t h, int32_t mode) { EXPECT_EQ(1, kt_background_init(&bg, w, h, mode)); }
    ~Model() { kt_background_deinit(&bg); }
    uint32_t pixels() const { return bg.width * bg.height; }
};

// Trains a model's distributions on a few noisy samples around a random scene (directly, so frames
// smaller than the update accepts can be compared), then returns some pixels to fresh: a comparison
// meets fresh pixels, pixels with scale 0 and pixels of every spread.
void train(Model& m, std::mt19937& rng, int frames) {
    kt_distribution* channels[3] = {m.bg.dist0, m.bg.dist1, m.bg.dist2};
    const int used = m.bg.mode == 0 ? 1 : 3;
    for (uint32_t i = 0; i < m.pixels(); ++i) {
        const int amplitude = int(rng() % 40);
        for (int c = 0; c < used; ++c) {
            const int centre = int(rng() % 256);
            for (int f = 0; f < frames; ++f) {
                const int v = centre + (amplitude ? int(rng() % (2 * amplitude + 1)) - amplitude : 0);
                kt_distribution_update(&channels[c][i], std::min(255, std::max(0, v)));
            }
        }
    }
    kt_bbox box{0, 0, std::min(3u, m.bg.width), std::min(2u, m.bg.height)};
    ASSERT_EQ(1, kt_background_reset_region(&m.bg, &box));
}

// --- Tables and one distribution ------------------------------------------------------------------

TEST(BackgroundTables, Values) {
    kt_background_fill_tables();
    for (uint32_t k = 0; k < KT_BG_COMPARE_ENTRIES; ++k)
        EXPECT_EQ(ref_table(k), kt_bg_compare_table[k]) << k;
    EXPECT_EQ(255, kt_bg_compare_table[10]);
    EXPECT_EQ(210, kt_bg_compare_table[11]);
    EXPECT_EQ(177, kt_bg_compare_table[12]);
    EXPECT_EQ(63, kt_bg_compare_table[20]);
    EXPECT_EQ(10, kt_bg_compare_table[50]);
    EXPECT_EQ(2, kt_bg_compare_table[99]);
    EXPECT_EQ(0, kt_bg_compare_table[KT_BG_COMPARE_ENTRIES]);
    EXPECT_EQ(1280, kt_bg_division_table[0]);
    EXPECT_EQ(1280, kt_bg_division_table[1]);
    EXPECT_EQ(640, kt_bg_division_table[2]);
    EXPECT_EQ(128, kt_bg_division_table[10]);
    EXPECT_EQ(1, kt_bg_division_table[1279]);
    for (uint32_t k = 0; k < KT_BG_AVERAGE_ENTRIES; ++k) EXPECT_EQ(k / 3, kt_bg_average_table[k]);
    // The square-root table replaces the bitwise root over the whole variance range.
    for (int32_t v = 0; v <= KT_BG_MAX_VARIANCE; ++v) {
        ASSERT_EQ(uint32_t(ref_sqrt(v)), kt_bg_sqrt_table[v]) << v;
        ASSERT_EQ(uint32_t(ref_sqrt(v)), kt_bg_isqrt(v)) << v;
    }
    EXPECT_EQ(0u, kt_bg_isqrt(-5));
    EXPECT_EQ(46340u, kt_bg_isqrt(2147483647));
    // Filling again changes nothing.
    kt_background_fill_tables();
    EXPECT_EQ(177, kt_bg_compare_table[12]);
}

TEST(BackgroundDistribution, ResetWeightAndFloor) {
    kt_distribution d;
    std::memset(&d, 0x5A, sizeof(d));
    const int32_t scale = d.scale, weight = d.weight;
    ASSERT_EQ(1, kt_distribution_reset(&d));
    EXPECT_EQ(0, d.mean);
    EXPECT_EQ(0, d.mean_sq);
    EXPECT_EQ(255, d.stdev);
    EXPECT_EQ(0, d.min_var);
    EXPECT_EQ(0, d.min_stdev);
    EXPECT_EQ(255, d.fresh);
    EXPECT_EQ(scale, d.scale);
    EXPECT_EQ(weight, d.weight);

    const struct {
        float w;
        int ok;
        int32_t stored;
    } weights[] = {{0.1f, 1, 12}, {0.01f, 1, 1}, {1.0f, 1, 128}, {0.0f, 1, 0},
                   {1.01f, 0, 0}, {-0.1f, 0, 0}, {std::nanf(""), 0, 0}};
    for (const auto& c : weights) {
        d.weight = 0;
        EXPECT_EQ(c.ok, kt_distribution_set_weight(&d, c.w)) << c.w;
        EXPECT_EQ(c.stored, d.weight) << c.w;
    }
    EXPECT_EQ(1, kt_distribution_set_min_stdev(&d, 15));
    EXPECT_EQ(15, d.min_stdev);
    EXPECT_EQ(225, d.min_var);
    EXPECT_EQ(0, kt_distribution_set_min_stdev(&d, 0));
    EXPECT_EQ(0, kt_distribution_set_min_stdev(&d, 46341));
    EXPECT_EQ(15, d.min_stdev);
    EXPECT_EQ(0, kt_distribution_reset(nullptr));
    EXPECT_EQ(0, kt_distribution_set_weight(nullptr, 0.5f));
    EXPECT_EQ(0, kt_distribution_set_min_stdev(nullptr, 5));
}

TEST(BackgroundDistribution, UpdateAndLikelihood) {
    kt_background_fill_tables();
    kt_distribution d;
    kt_distribution_reset(&d);
    d.scale = 0;
    kt_distribution_set_weight(&d, 0.1f);
    kt_distribution_set_min_stdev(&d, 15);
    EXPECT_EQ(255u, kt_distribution_likelihood(&d, 0));  // fresh: always background

    kt_distribution_update(&d, 100);  // first sample
    EXPECT_EQ(100, d.mean);
    EXPECT_EQ(10000, d.mean_sq);
    EXPECT_EQ(15, d.stdev);
    EXPECT_EQ(0, d.fresh);
    EXPECT_EQ(0, d.scale);
    // A constant scene never exceeds the floor, so scale stays 0 and everything is background.
    kt_distribution_update(&d, 100);
    EXPECT_EQ(255u, kt_distribution_likelihood(&d, 255));

    kt_distribution_update(&d, 200);  // weight 12/128: mean 100 -> 109
    EXPECT_EQ(109, d.mean);
    EXPECT_EQ((10000 * 116 + 12 * 40000) >> 7, d.mean_sq);
    const int var = d.mean_sq - 109 * 109;  // 12968 - 11881 = 1087 > 225
    EXPECT_EQ(ref_sqrt(var), d.stdev);
    EXPECT_EQ(1280 / ref_sqrt(var), d.scale);

    // stdev 10 (scale 128): a sample 30 away is 3 deviations away, likelihood 255/9 = 28.
    kt_distribution s{100, 10000, 10, 12, 225, 15, 128, 0};
    EXPECT_EQ(28u, kt_distribution_likelihood(&s, 130));
    EXPECT_EQ(28u, kt_distribution_likelihood(&s, 70));
    EXPECT_EQ(255u, kt_distribution_likelihood(&s, 110));  // 1.0 deviations
    EXPECT_EQ(210u, kt_distribution_likelihood(&s, 111));  // 1.1: 11 tenths
    EXPECT_EQ(210u, kt_distribution_likelihood(&s, 89));
    EXPECT_EQ(177u, kt_distribution_likelihood(&s, 112));
    EXPECT_EQ(2u, kt_distribution_likelihood(&s, 199));    // 9.9 deviations
    EXPECT_EQ(0u, kt_distribution_likelihood(&s, 200));    // 10 deviations
    EXPECT_EQ(0u, kt_distribution_likelihood(&s, 255));
    s.fresh = 255;
    EXPECT_EQ(255u, kt_distribution_likelihood(&s, 255));
}

TEST(BackgroundDistribution, UpdateMatchesReferenceOnRandomSamples) {
    kt_background_fill_tables();
    std::mt19937 rng(17);
    int checked = 0;
    for (int trial = 0; trial < 400; ++trial) {
        kt_distribution d;
        kt_distribution_reset(&d);
        d.scale = 0;
        kt_distribution_set_weight(&d, float(rng() % 129) / 128.0f);
        kt_distribution_set_min_stdev(&d, 1 + int(rng() % 20));
        kt_distribution r = d;
        const int centre = int(rng() % 256), spread = int(rng() % 128);
        for (int i = 0; i < 50; ++i) {
            const int x = std::min(255, std::max(0, centre + int(rng() % (2 * spread + 1)) - spread));
            kt_distribution_update(&d, x);
            ref_update(r, x);
            ASSERT_TRUE(same(d, r)) << "trial " << trial << " sample " << i;
            const int probe = int(rng() % 256);
            ASSERT_EQ(ref_likelihood(r, probe), kt_distribution_likelihood(&d, probe));
            ++checked;
        }
    }
    EXPECT_EQ(20000, checked);
}

// --- Model lifetime --------------------------------------------------------------------------------

TEST(BackgroundModel, InitResizeWeightAndDeinit) {
    kt_background bg{};
    EXPECT_EQ(0, kt_background_init(nullptr, 4, 4, 0));
    EXPECT_EQ(0, kt_background_init(&bg, 4, 4, 3));
    EXPECT_EQ(0, kt_background_init(&bg, 4, 4, -1));
    ASSERT_EQ(1, kt_background_init(&bg, 6, 5, KT_BG_MODE_LAB));
    EXPECT_EQ(6u, bg.width);
    EXPECT_EQ(5u, bg.height);
    EXPECT_FLOAT_EQ(0.1f, bg.weight);
    EXPECT_EQ(0, bg.track_edges);
    EXPECT_EQ(1, bg.initialized);
    ASSERT_NE(nullptr, bg.dist1);
    for (uint32_t i = 0; i < 30; ++i) {
        EXPECT_EQ(255, bg.dist0[i].fresh);
        EXPECT_EQ(12, bg.dist0[i].weight);
        EXPECT_EQ(15, bg.dist0[i].min_stdev);
        EXPECT_EQ(5, bg.dist1[i].min_stdev);
        EXPECT_EQ(5, bg.dist2[i].min_stdev);
        EXPECT_FLOAT_EQ(0.1f, bg.edge_avg[i].weight);
    }
    ASSERT_EQ(1, kt_background_set_weight(&bg, 0.01f));
    EXPECT_EQ(1, bg.dist2[29].weight);
    EXPECT_FLOAT_EQ(0.99f, bg.edge_avg[29].keep);
    // Out of range: stored, per-pixel rates unchanged.
    ASSERT_EQ(1, kt_background_set_weight(&bg, 1.5f));
    EXPECT_FLOAT_EQ(1.5f, bg.weight);
    EXPECT_EQ(1, bg.dist0[0].weight);
    ASSERT_EQ(1, kt_background_set_weight(&bg, 0.1f));

    // Re-init in gray mode drops the colour arrays and uses floor 15.
    ASSERT_EQ(1, kt_background_init(&bg, 3, 3, KT_BG_MODE_BGR));
    EXPECT_EQ(15, bg.dist1[8].min_stdev);
    ASSERT_EQ(1, kt_background_init(&bg, 3, 3, KT_BG_MODE_GRAY));
    EXPECT_EQ(nullptr, bg.dist1);
    EXPECT_EQ(nullptr, bg.dist2);

    kt_background_deinit(&bg);
    EXPECT_EQ(0u, bg.width);
    EXPECT_EQ(nullptr, bg.dist0);
    EXPECT_EQ(1, bg.initialized);  // kept, so a second deinit is harmless
    kt_background_deinit(&bg);
    EXPECT_EQ(0, kt_background_ready(&bg));
    EXPECT_EQ(0, kt_background_resize(&bg, 0, 4));
    EXPECT_EQ(0, kt_background_resize(&bg, 70000, 70000));
    EXPECT_EQ(0, kt_background_set_weight(nullptr, 0.1f));
}

TEST(BackgroundModel, AllocationFailureLeavesModelReleased) {
    kt_background bg{};
    ASSERT_EQ(1, kt_background_init(&bg, 8, 8, KT_BG_MODE_BGR));
    kt_alloc_fail_after(2);  // dist0 and dist1 succeed, dist2 fails
    EXPECT_EQ(0, kt_background_resize(&bg, 16, 16));
    kt_alloc_fail_after(-1);
    EXPECT_EQ(0u, bg.width);
    EXPECT_EQ(nullptr, bg.dist0);
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
    std::memset(all.img.data, 255, all.img.size);
    // Train on 0/60 alternating so the spread exceeds the floor and scale is set.
    for (int f = 0; f < 10; ++f) {
        std::memset(frame.img.data, f % 2 ? 60 : 0, frame.img.size);
        ASSERT_EQ(1, kt_background_update(&m.bg, frame.get(), nullptr, all.get()));
    }
    std::memset(frame.img.data, 255, frame.img.size);
    uint32_t count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, frame.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(80u, count);

    kt_bbox box{2, 3, 4, 2};
    ASSERT_EQ(1, kt_background_reset_region(&m.bg, &box));
    ASSERT_EQ(1, kt_background_compare(&m.bg, frame.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(72u, count);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
            EXPECT_EQ(inside, diff.at(x, y) == 0) << x << "," << y;
        }

    const struct {
        kt_bbox box;
        int valid;
    } boxes[] = {{{0, 0, 10, 8}, 1}, {{9, 7, 1, 1}, 1}, {{9, 7, 2, 1}, 0}, {{0, 8, 1, 1}, 0},
                 {{4294967295u, 0, 2, 1}, 0}, {{0, 1, 1, 4294967295u}, 0}, {{10, 8, 0, 0}, 1}};
    for (const auto& c : boxes) {
        EXPECT_EQ(c.valid, kt_background_valid_region(&m.bg, &c.box));
        EXPECT_EQ(c.valid, kt_background_reset_region(&m.bg, &c.box));
    }
    EXPECT_EQ(0, kt_background_reset_region(&m.bg, nullptr));
    EXPECT_EQ(0, kt_background_valid_region(nullptr, &box));
}

// --- Comparison ------------------------------------------------------------------------------------

TEST(BackgroundCompare, FreshModelMatchesEverything) {
    for (int32_t mode = 0; mode <= 2; ++mode) {
        Model m(9, 7, mode);
        Image image(9, 7, mode ? 4 : 1), diff(9, 7, 1);
        kttest::fill_random(image.get(), 4);
        std::memset(diff.img.data, 7, diff.img.size);
        uint32_t count = 99;
        ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
        EXPECT_EQ(0u, count) << mode;
        EXPECT_EQ(std::vector<unsigned char>(63, 0),
                  std::vector<unsigned char>(diff.img.data, diff.img.data + 63));
    }
}

// Reference comparison of a whole gray or blue-green-red frame.
std::vector<unsigned char> ref_compare(const kt_background& bg, const kt_image* image,
                                       const kt_image* mask, uint32_t* count) {
    std::vector<unsigned char> out(bg.width * bg.height, 0);
    *count = 0;
    for (uint32_t i = 0; i < out.size(); ++i) {
        if (mask && mask->data[i] == 0) continue;
        if (bg.mode == 0) {
            const uint32_t l = ref_likelihood(bg.dist0[i], image->data[i]);
            out[i] = static_cast<unsigned char>(255 - l);
            *count += l < 255;
        } else {
            const unsigned char* p = image->data + 4 * i;
            const uint32_t lr = ref_likelihood(bg.dist2[i], p[2]);
            const uint32_t lg = ref_likelihood(bg.dist1[i], p[1]);
            const uint32_t lb = ref_likelihood(bg.dist0[i], p[0]);
            if (lr < 255 || lg < 255 || lb < 255) {
                out[i] = static_cast<unsigned char>(255 - (lr + lg + lb) / 3);
                ++*count;
            }
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
            train(m, rng, 12);
            Image image(s[0], s[1], mode ? 4 : 1), mask(s[0], s[1], 1), diff(s[0], s[1], 1);
            for (int round = 0; round < 4; ++round) {
                kttest::fill_random(image.get(), rng());
                kttest::fill_random(mask.get(), rng(), true, 0.6);
                for (const kt_image* gate : {static_cast<const kt_image*>(nullptr),
                                             static_cast<const kt_image*>(mask.get())}) {
                    std::memset(diff.img.data, 0xCC, diff.img.size);  // stale content must go
                    uint32_t count = 0, expected_count = 0;
                    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), gate, 0, diff.get(),
                                                       &count));
                    const std::vector<unsigned char> expected =
                        ref_compare(m.bg, image.get(), gate, &expected_count);
                    ASSERT_EQ(expected, std::vector<unsigned char>(diff.img.data,
                                                                   diff.img.data + diff.img.size));
                    ASSERT_EQ(expected_count, count);
                    changed += count;
                    compared += diff.img.size;
                }
            }
        }
    }
    // Both outcomes must occur for the comparison to mean something.
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, compared);
}

TEST(BackgroundCompare, ReferenceComparisonCanFail) {
    // A model whose scale is off by one step must give different differences somewhere.
    std::mt19937 rng(29);
    Model m(13, 7, 0);
    train(m, rng, 12);
    Image image(13, 7, 1), diff(13, 7, 1);
    kttest::fill_random(image.get(), 3);
    uint32_t count = 0, expected_count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
    kt_background skewed = m.bg;
    std::vector<kt_distribution> copy(m.bg.dist0, m.bg.dist0 + m.pixels());
    for (kt_distribution& d : copy) d.scale += 16;
    skewed.dist0 = copy.data();
    EXPECT_NE(ref_compare(skewed, image.get(), nullptr, &expected_count),
              std::vector<unsigned char>(diff.img.data, diff.img.data + diff.img.size));
}

TEST(BackgroundCompare, OneChannelOffCountsInColour) {
    Model m(1, 1, KT_BG_MODE_BGR);
    kt_distribution trained{100, 10000, 10, 12, 225, 15, 128, 0};
    m.bg.dist0[0] = m.bg.dist1[0] = m.bg.dist2[0] = trained;
    Image image(1, 1, 4), diff(1, 1, 1);
    image.at(0, 0, 0) = 100;
    image.at(0, 0, 1) = 130;  // green 3 deviations off: likelihood 28
    image.at(0, 0, 2) = 100;
    uint32_t count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(255 - (255 + 255 + 28) / 3, diff.at(0, 0));
    image.at(0, 0, 1) = 100;
    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, diff.at(0, 0));
}

TEST(BackgroundCompare, RejectsMismatchedArguments) {
    Model gray(8, 6, 0), colour(8, 6, 1);
    Image g(8, 6, 1), c(8, 6, 4), diff(8, 6, 1), mask(8, 6, 1), small(8, 5, 1), other(7, 6, 1);
    Image tall_diff(1, 48, 1);  // same byte count: accepted
    uint32_t count = 5;
    EXPECT_EQ(1, kt_background_compare(&gray.bg, g.get(), mask.get(), 0, tall_diff.get(), &count));
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
        {"image of another size", &gray.bg, other.get(), nullptr, diff.get(), &count},
    };
    for (const auto& t : cases) {
        std::memset(diff.img.data, 3, diff.img.size);
        EXPECT_EQ(0, kt_background_compare(t.model, t.image, t.mask, 0, t.diff, t.count)) << t.name;
        EXPECT_EQ(3, diff.img.data[0]) << t.name;
    }
    Image empty_mask;
    EXPECT_EQ(0, kt_background_compare(&gray.bg, g.get(), empty_mask.get(), 0, diff.get(), &count));
    kt_image lying = g.img;
    lying.width = 80;  // claims more than its buffer
    lying.height = 60;
    EXPECT_EQ(0, kt_background_compare(&gray.bg, &lying, nullptr, 0, diff.get(), &count));
    EXPECT_EQ(0, kt_background_compare_bgr(&gray.bg, c.get(), nullptr, 0, diff.get(), &count));
    gray.bg.mode = 7;
    EXPECT_EQ(0, kt_background_compare(&gray.bg, g.get(), nullptr, 0, diff.get(), &count));
    gray.bg.mode = 0;
}

// --- Update ----------------------------------------------------------------------------------------

TEST(BackgroundUpdate, MatchesReferenceUnderMasks) {
    std::mt19937 rng(31);
    for (int32_t mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const uint32_t w = 11, h = 9, channels = mode ? 4 : 1;
        Model m(w, h, mode);
        std::vector<kt_distribution> r0(m.bg.dist0, m.bg.dist0 + m.pixels()), r1, r2;
        if (mode) {
            r1.assign(m.bg.dist1, m.bg.dist1 + m.pixels());
            r2.assign(m.bg.dist2, m.bg.dist2 + m.pixels());
        }
        Image frame(w, h, channels), mask(w, h, 1), scene(w, h, channels);
        kttest::fill_random(scene.get(), rng());
        for (int f = 0; f < 40; ++f) {
            for (uint32_t i = 0; i < frame.img.size; ++i)
                frame.img.data[i] = static_cast<unsigned char>(scene.img.data[i] + rng() % 50);
            kttest::fill_random(mask.get(), rng(), true, 0.7);
            ASSERT_EQ(1, kt_background_update(&m.bg, mode ? nullptr : frame.get(),
                                              mode ? frame.get() : nullptr, mask.get()));
            for (uint32_t i = 0; i < w * h; ++i) {
                if (!mask.img.data[i]) continue;
                if (mode == 0) {
                    ref_update(r0[i], frame.img.data[i]);
                } else {
                    ref_update(r2[i], frame.img.data[4 * i + 2]);
                    ref_update(r1[i], frame.img.data[4 * i + 1]);
                    ref_update(r0[i], frame.img.data[4 * i]);
                }
            }
            for (uint32_t i = 0; i < w * h; ++i) {
                ASSERT_TRUE(same(r0[i], m.bg.dist0[i])) << "frame " << f << " pixel " << i;
                if (mode) {
                    ASSERT_TRUE(same(r1[i], m.bg.dist1[i])) << "frame " << f << " pixel " << i;
                    ASSERT_TRUE(same(r2[i], m.bg.dist2[i])) << "frame " << f << " pixel " << i;
                }
            }
        }
        // The comparison of whole models can fail: one more reference step breaks it.
        ref_update(r0[0], 255);
        EXPECT_FALSE(same(r0[0], m.bg.dist0[0]));
    }
}

TEST(BackgroundUpdate, ArgumentRulesAndResize) {
    Model gray(8, 8, 0), colour(8, 8, 1);
    Image g(8, 8, 1), c(8, 8, 4), mask(8, 8, 1), g9(9, 8, 1), c9(9, 8, 4), mask9(9, 8, 1);
    Image tiny(3, 3, 1), tiny_mask(3, 3, 1), small_mask(8, 7, 1);
    std::memset(mask.img.data, 255, mask.img.size);
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
    for (const auto& t : cases) EXPECT_EQ(t.result, kt_background_update(t.model, t.gray, t.colour, t.mask)) << t.name;
    EXPECT_EQ(8u, gray.bg.width);

    // A frame of another size re-creates the model: untrained, then learning at the new size.
    EXPECT_EQ(0, gray.bg.dist0[0].fresh);
    ASSERT_EQ(1, kt_background_update(&gray.bg, g9.get(), nullptr, mask9.get()));
    EXPECT_EQ(9u, gray.bg.width);
    EXPECT_EQ(255, gray.bg.dist0[0].fresh);  // mask9 is all 0: nothing learnt yet
    EXPECT_EQ(12, gray.bg.dist0[0].weight);
    ASSERT_EQ(1, kt_background_update(&colour.bg, nullptr, c9.get(), mask9.get()));
    EXPECT_EQ(9u, colour.bg.width);

    // Edge tracking needs the gray image.
    colour.bg.track_edges = 1;
    EXPECT_EQ(0, kt_background_update(&colour.bg, nullptr, c9.get(), mask9.get()));
    EXPECT_EQ(1, kt_background_update(&colour.bg, g9.get(), c9.get(), mask9.get()));
}

}  // namespace
