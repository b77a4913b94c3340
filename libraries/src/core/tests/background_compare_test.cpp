// Comparison of a frame with the background model: gray, blue-green-red and lightness-chroma (with its
// global-change levels and shadow suppression) against plain references, and the blue-green-red
// shadow map.
#include <algorithm>
#include <cmath>

#include "background_reference.h"
#include "image_test_util.h"

using namespace bgtest;
using kttest::bytes;
using kttest::Image;

TEST(BackgroundCompare, EveryModeMatchesReferenceOnRandomScenes) {
    // Odd sizes go through the eight-pixel loops and their tails, multiples of 8 through the loops
    // alone. Distributions of every spread, some fresh; scenes from calm to a global change.
    const uint32_t sizes[][2] = {{13, 7}, {1, 1}, {5, 3}, {31, 9}, {16, 4}, {8, 1}, {40, 25}, {23, 11}};
    std::mt19937 rng(23);
    uint32_t changed = 0, compared = 0;
    for (int32_t mode = 0; mode <= 2; ++mode)
        for (const auto& s : sizes) {
            SCOPED_TRACE(std::to_string(mode) + ": " + std::to_string(s[0]) + "x" + std::to_string(s[1]));
            Model m(s[0], s[1], mode); const uint32_t n = m.pixels(), planes = mode ? 3 : 1;
            kt_distribution* dist[3] = {m.bg.dist0, m.bg.dist1, m.bg.dist2};
            Image image(s[0], s[1], mode ? 4 : 1), mask(s[0], s[1], 1), diff(s[0], s[1], 1);
            for (uint32_t far_share = 0; far_share <= 100; far_share += 20) {
                kttest::fill_random(image.get(), rng());
                for (uint32_t i = 0; i < n; ++i) {
                    const bool far = rng() % 100 < far_share;
                    for (uint32_t c = 0; c < planes; ++c) {
                        kt_distribution& d = dist[c][i] = trained(int(rng() % 256));
                        d.scale = int(rng() % 300), d.fresh = rng() % 10 == 0 ? 255 : 0;
                        const int v = far ? int(rng() % 256) : d.mean + int(rng() % 9) - 4;
                        image.img.data[image.img.channels * i + c] = uint8_t(std::min(255, std::max(0, v)));
                    }
                }
                kttest::fill_random(mask.get(), rng(), true, 0.7);
                ASSERT_EQ(1, kt_background_sync_view(&m.bg));  // records were written directly
                for (const kt_image* gate : {mask.get(), static_cast<kt_image*>(nullptr)}) {
                    const Expected expected = ref_compare(m.bg, image.get(), gate);
                    uint32_t count = 0; diff.fill(0xCC);  // stale content must go
                    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), gate, 0, diff.get(), &count));
                    ASSERT_TRUE(expected.diff == bytes(diff.get()) && expected.count == count);
                    for (uint32_t i = 0; mode == KT_BG_MODE_LAB && i < n; ++i)
                        ASSERT_TRUE((gate && !gate->data[i]) || expected.floors[i] == dist[1][i].min_stdev);
                    changed += count, compared += n;
                }
            }
        }
    EXPECT_TRUE(changed > 0 && changed < compared);  // both outcomes must occur for the test to mean something
}

TEST(BackgroundCompare, RejectsMismatchedArgumentsWithoutWriting) {
    Model gray(8, 6, 0), colour(8, 6, 1);
    Image g(8, 6, 1), c(8, 6, 4), diff(8, 6, 1), small(8, 5, 1), other(7, 6, 1), empty, tall_diff(1, 48, 1);
    uint32_t n = 5;
    EXPECT_EQ(1, kt_background_compare(&gray.bg, g.get(), nullptr, 0, tall_diff.get(), &n));  // 48 bytes
    kt_image lying{g.img.data, 8, 6, 1, 40};  // the model's shape, but a size that disagrees with it
    kt_background *G = &gray.bg, *C = &colour.bg;
    kt_image *D = diff.get(), *S = small.get(), *I = g.get(); diff.fill(3);
    auto cmp = [&](kt_background* bg, kt_image* im, kt_image* m, kt_image* d, uint32_t* cnt) {
        return kt_background_compare(bg, im, m, 0, d, cnt);
    };
    const int results[] = {cmp(nullptr, I, nullptr, D, &n), cmp(G, nullptr, nullptr, D, &n),
                           cmp(G, I, nullptr, nullptr, &n), cmp(G, I, nullptr, D, nullptr),
                           cmp(G, c.get(), nullptr, D, &n) /* colour into gray */, cmp(C, I, nullptr, D, &n),
                           cmp(G, I, nullptr, S, &n), cmp(G, I, S, D, &n), cmp(G, I, empty.get(), D, &n),
                           cmp(G, other.get(), nullptr, D, &n), cmp(G, &lying, nullptr, D, &n),
                           kt_background_compare_bgr(G, c.get(), nullptr, 0, D, &n)};
    for (size_t i = 0; i < sizeof results / sizeof *results; ++i) EXPECT_EQ(0, results[i]) << i;
    EXPECT_TRUE(diff.all(3));
    gray.bg.mode = 7;
    EXPECT_EQ(0, cmp(G, I, nullptr, D, &n));
    gray.bg.mode = 0;
}

TEST(BackgroundLab, GlobalChangeLevels) {
    // 10 x 10 pixels, lightness mean 150, chroma 127/127. `changed` pixels get lightness 150 + d
    // (d tenths of a deviation), the rest match. The floor of dist1 shows the level: 5, 10 or 20.
    // {changed, d, floor}; d 16: diff 156, 15: 142, 20: 192, 19: 185, 14: 125, 13: 105.
    const struct { uint32_t changed; int d; int32_t floor; } cases[] = {
        {70, 16, 20}, {69, 16, 10}, {70, 15, 10},  // 70 % and mean 153
        {50, 20, 20}, {49, 20, 10}, {50, 19, 10},  // 50 % and mean 191
        {20, 14, 10}, {19, 14, 5},  {20, 13, 5},  {0, 0, 5}};  // 20 % and mean 114
    for (const auto& c : cases) {
        Model m(10, 10, KT_BG_MODE_LAB); Image image(10, 10, 4), diff(10, 10, 1);
        for (uint32_t i = 0; i < 100; ++i) {
            m.bg.dist0[i] = trained(150), m.bg.dist1[i] = m.bg.dist2[i] = trained(127);
            image.img.data[4 * i] = static_cast<unsigned char>(150 + (i < c.changed ? c.d : 0));
            image.img.data[4 * i + 1] = image.img.data[4 * i + 2] = 127;
        }
        ASSERT_EQ(1, kt_background_sync_view(&m.bg));
        const Expected expected = ref_lab(m.bg, image.get(), nullptr); uint32_t count = 0;
        ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
        EXPECT_TRUE(m.bg.dist1[99].min_stdev == c.floor && m.bg.dist2[0].min_var == c.floor * c.floor &&
                    c.changed == count && expected.diff == bytes(diff.get()))
            << c.changed << " pixels at " << c.d;
    }
}

TEST(BackgroundLab, ShadowsAreBackground) {
    // Background lightness 200. With scale 128 a pixel at 170 is 3 deviations darker; with scale
    // 1280 (deviation 1) even 198 is far off.
    const struct { const char* name; unsigned char l, a, b; int chroma, scale; bool counted; } cases[] = {
        {"shadow: darker, same coloured chroma", 170, 140, 140, 140, 128, false},
        {"neutral chroma", 170, 127, 127, 127, 128, true}, {"chroma moved too far", 170, 145, 140, 140, 128, true},
        {"too dark", 135, 140, 140, 140, 128, true}, {"ratio 0.99", 198, 140, 140, 140, 1280, true},
        {"ratio 0.985 is a shadow", 197, 140, 140, 140, 1280, false}, {"brighter", 230, 140, 140, 140, 128, true}};
    for (const auto& c : cases) {
        Model m(1, 1, KT_BG_MODE_LAB); Image image(1, 1, 4), diff(1, 1, 1);
        m.bg.dist0[0] = trained(200), m.bg.dist0[0].scale = c.scale;
        m.bg.dist1[0] = m.bg.dist2[0] = trained(c.chroma);
        image.at(0, 0, 0) = c.l, image.at(0, 0, 1) = c.a, image.at(0, 0, 2) = c.b;
        ASSERT_EQ(1, kt_background_sync_view(&m.bg));
        const Expected expected = ref_lab(m.bg, image.get(), nullptr); uint32_t count = 0;
        ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
        EXPECT_TRUE(count == uint32_t(c.counted) && expected.count == count && expected.diff[0] == diff.at(0, 0))
            << c.name;
    }
}

TEST(BackgroundShadows, MatchesReferenceAndChecksArguments) {
    std::mt19937 rng(43); Model m(13, 9, KT_BG_MODE_BGR); const uint32_t n = 13 * 9;
    Image image(13, 9, 4), mask(13, 9, 1), out(13, 9, 1);
    for (uint32_t i = 0; i < n; ++i) {
        // Mostly darker by a similar ratio, so every branch of the map is taken.
        const float ratio = 0.5f + float(rng() % 50) / 100.0f;
        kt_distribution* d[3] = {&m.bg.dist0[i], &m.bg.dist1[i], &m.bg.dist2[i]};
        for (int c = 0; c < 3; ++c) {
            *d[c] = trained(20 + int(rng() % 230));
            image.img.data[4 * i + c] = static_cast<unsigned char>(d[c]->mean * ratio - rng() % 4);
        }
    }
    kttest::fill_random(mask.get(), 5, true, 0.7);
    ASSERT_EQ(1, kt_background_sync_view(&m.bg));
    ASSERT_EQ(1, kt_background_compare_shadows(&m.bg, image.get(), mask.get(), out.get()));
    uint32_t graded = 0; for (uint32_t i = 0; i < n; ++i) {
        const uint8_t expected = mask.img.data[i] ? uint8_t(ref_shadow(m.bg, image.img.data + 4 * i, i)) : 255;
        ASSERT_EQ(expected, out.img.data[i]) << i;
        graded += expected != 255;
    }
    EXPECT_GT(graded, 0u);

    Model gray(13, 9, KT_BG_MODE_GRAY), lab(13, 9, KT_BG_MODE_LAB);
    Image small(13, 8, 1), gray_image(13, 9, 1);
    const kt_image *I = image.get(), *S = small.get();
    kt_image *O = out.get(), *Sm = small.get();
    auto sh = [](const kt_background* b, const kt_image* c, const kt_image* m, kt_image* o) {
        return kt_background_compare_shadows(b, c, m, o);
    };
    EXPECT_EQ(0, sh(&gray.bg, I, nullptr, O) | sh(&lab.bg, I, nullptr, O) | sh(&m.bg, gray_image.get(), nullptr, O) |
                     sh(&m.bg, I, S, O) | sh(&m.bg, I, nullptr, Sm) | sh(nullptr, I, nullptr, O));
}
