// Lightness-chroma comparison (global-change levels, shadow suppression) and the blue-green-red
// shadow map, each against a plain reference and on hand-made pixels.
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

namespace {

using bgtest::Model;
using bgtest::ref_likelihood;
using bgtest::trained;
using kttest::Image;

struct LabResult {
    std::vector<unsigned char> diff;
    uint32_t count = 0;
    std::vector<int32_t> floors;  // dist1 floor per pixel after the comparison
};

// Plain lightness-chroma comparison on copies of the distributions.
LabResult ref_lab(const kt_background& bg, const kt_image* image, const kt_image* mask) {
    const uint32_t n = bg.width * bg.height;
    std::vector<kt_distribution> d0(bg.dist0, bg.dist0 + n), d1(bg.dist1, bg.dist1 + n),
        d2(bg.dist2, bg.dist2 + n);
    LabResult r;
    r.diff.assign(n, 0);
    std::vector<uint32_t> light(n, 0);
    uint64_t sum = 0;
    uint32_t changed = 0, strong = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (mask && !mask->data[i]) continue;
        light[i] = ref_likelihood(d0[i], image->data[4 * i]);
        if (light[i] < 255) {
            sum += 255 - light[i];
            ++changed;
            if (255 - light[i] >= 64) ++strong;
        }
    }
    const uint64_t avg = changed ? sum / changed : 0;
    const float frac = float(strong) / float(n);
    int level = 0;
    if ((frac >= 0.7f && avg >= 153) || (frac >= 0.5f && avg >= 191))
        level = 2;
    else if (frac >= 0.2f && avg >= 114)
        level = 1;
    const int floors[3] = {5, 10, 20};
    const float wl = level == 2 ? 0.1f : 0.2f, wc = level == 2 ? 0.9f : 0.8f;
    for (uint32_t i = 0; i < n; ++i) {
        if (mask && !mask->data[i]) continue;
        const int floor = (level || (d0[i].mean >= 115 && d0[i].mean <= 236)) ? floors[level] : 10;
        d1[i].min_stdev = d2[i].min_stdev = floor;
        const unsigned char* p = image->data + 4 * i;
        const uint32_t lb = ref_likelihood(d2[i], p[2]), la = ref_likelihood(d1[i], p[1]);
        const float l = p[0];
        const float ratio = l / float(std::max(1, d0[i].mean));
        const int db = p[2] - d2[i].mean, da = p[1] - d1[i].mean;
        const bool shadow = l > 135.0f && l < 231.98f && ratio > 0.35f && ratio < 0.99f &&
                            float(db * db + da * da) < 73.916664f - 68.333336f * ratio &&
                            (std::abs(p[1] - 127) >= 11 || std::abs(p[2] - 127) >= 11);
        if (!shadow && (lb & light[i] & la) < 255) {
            r.diff[i] = static_cast<unsigned char>(
                255.0f - (float(std::min(la, lb)) * wc + float(light[i]) * wl));
            ++r.count;
        }
    }
    for (uint32_t i = 0; i < n; ++i) r.floors.push_back(d1[i].min_stdev);
    return r;
}

TEST(BackgroundLab, GlobalChangeLevels) {
    // 10 x 10 pixels, lightness mean 150, chroma 127/127. `changed` pixels get lightness 150 + d
    // (d tenths of a deviation), the rest match. The floor of dist1 shows the level: 5, 10 or 20.
    struct Case {
        uint32_t changed;
        int d;          // 16: diff 156; 15: 142; 20: 192; 19: 185; 14: 125; 13: 105
        int32_t floor;  // level 0: 5, level 1: 10, level 2: 20
    };
    const Case cases[] = {
        {70, 16, 20}, {69, 16, 10}, {70, 15, 10},  // 70 % and mean 153
        {75, 16, 20},                              // the 75 % frame of mean 156
        {50, 20, 20}, {49, 20, 10}, {50, 19, 10},  // 50 % and mean 191
        {20, 14, 10}, {19, 14, 5},  {20, 13, 5},   // 20 % and mean 114
        {0, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.changed) + " pixels at " + std::to_string(c.d));
        Model m(10, 10, KT_BG_MODE_LAB);
        Image image(10, 10, 4), diff(10, 10, 1);
        for (uint32_t i = 0; i < 100; ++i) {
            m.bg.dist0[i] = trained(150);
            m.bg.dist1[i] = m.bg.dist2[i] = trained(127);
            image.img.data[4 * i] = static_cast<unsigned char>(150 + (i < c.changed ? c.d : 0));
            image.img.data[4 * i + 1] = image.img.data[4 * i + 2] = 127;
        }
        const LabResult expected = ref_lab(m.bg, image.get(), nullptr);
        uint32_t count = 0;
        ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
        EXPECT_EQ(c.floor, m.bg.dist1[99].min_stdev);
        EXPECT_EQ(c.floor, m.bg.dist2[0].min_stdev);
        EXPECT_EQ(c.floor * c.floor, m.bg.dist2[0].min_var);
        EXPECT_EQ(c.changed, count);
        EXPECT_EQ(expected.diff, std::vector<unsigned char>(diff.img.data, diff.img.data + 100));
        if (c.changed) {
            // Chroma matches (255): diff = 255 - (255 wC + LL wL); weights 0.9/0.1 at level 2.
            const float wl = c.floor == 20 ? 0.1f : 0.2f, wc = 1.0f - wl;
            const float ll = bgtest::ref_table(uint32_t(c.d));
            EXPECT_EQ(static_cast<unsigned char>(255.0f - (255.0f * wc + ll * wl)), diff.at(0, 0));
        }
    }
}

TEST(BackgroundLab, ChromaFloorDependsOnLightness) {
    // In a calm frame only pixels of lightness mean 115..236 get the level's floor (5); others 10.
    const int means[] = {114, 115, 236, 237}, floors[] = {10, 5, 5, 10};
    Model m(4, 1, KT_BG_MODE_LAB);
    Image image(4, 1, 4), diff(4, 1, 1);
    image.fill(127);
    for (uint32_t i = 0; i < 4; ++i) {
        m.bg.dist0[i] = trained(means[i]);
        m.bg.dist1[i] = m.bg.dist2[i] = trained(127);
        image.at(i, 0, 0) = static_cast<unsigned char>(means[i]);
    }
    uint32_t count = 0;
    ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(floors[i], m.bg.dist1[i].min_stdev) << means[i];
}

TEST(BackgroundLab, ShadowsAreBackground) {
    // Background lightness 200. With scale 128 a pixel at 170 is 3 deviations darker; with scale
    // 1280 (deviation 1) even 198 is far off.
    struct Case {
        const char* name;
        unsigned char l, a, b;
        int chroma_mean, light_scale;
        bool counted;
    };
    const Case cases[] = {
        {"shadow: darker, same coloured chroma", 170, 140, 140, 140, 128, false},
        {"neutral chroma is not a shadow", 170, 127, 127, 127, 128, true},
        {"chroma moved too far", 170, 145, 140, 140, 128, true},
        {"too dark for a shadow", 135, 140, 140, 140, 128, true},
        {"ratio 0.99 is not a shadow", 198, 140, 140, 140, 1280, true},
        {"ratio 0.985 is a shadow", 197, 140, 140, 140, 1280, false},
        {"brighter is not a shadow", 230, 140, 140, 140, 128, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Model m(1, 1, KT_BG_MODE_LAB);
        m.bg.dist0[0] = trained(200);
        m.bg.dist0[0].scale = c.light_scale;
        m.bg.dist1[0] = m.bg.dist2[0] = trained(c.chroma_mean);
        Image image(1, 1, 4), diff(1, 1, 1);
        image.at(0, 0, 0) = c.l;
        image.at(0, 0, 1) = c.a;
        image.at(0, 0, 2) = c.b;
        const LabResult expected = ref_lab(m.bg, image.get(), nullptr);
        uint32_t count = 0;
        ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), nullptr, 0, diff.get(), &count));
        EXPECT_EQ(c.counted ? 1u : 0u, count);
        EXPECT_EQ(expected.count, count);
        EXPECT_EQ(expected.diff[0], diff.at(0, 0));
        EXPECT_EQ(c.counted, diff.at(0, 0) != 0);
    }
}

TEST(BackgroundLab, MatchesReferenceOnRandomScenes) {
    std::mt19937 rng(41);
    const uint32_t sizes[][2] = {{9, 7}, {16, 8}, {1, 1}, {23, 11}};
    uint32_t counted = 0, pixels = 0;
    for (const auto& s : sizes) {
        Model m(s[0], s[1], KT_BG_MODE_LAB);
        const uint32_t n = s[0] * s[1];
        for (int round = 0; round < 6; ++round) {
            // Scenes from calm to a global change: the share of pixels far from the model grows.
            const uint32_t far_share = uint32_t(round) * 20;
            for (uint32_t i = 0; i < n; ++i) {
                kt_distribution* ds[3] = {&m.bg.dist0[i], &m.bg.dist1[i], &m.bg.dist2[i]};
                for (kt_distribution* d : ds) {
                    const int mean = int(rng() % 256);
                    *d = trained(mean);
                    d->scale = int(rng() % 300);
                    d->fresh = rng() % 10 == 0 ? 255 : 0;
                }
            }
            Image image(s[0], s[1], 4), mask(s[0], s[1], 1), diff(s[0], s[1], 1);
            for (uint32_t i = 0; i < n; ++i) {
                const bool far = rng() % 100 < far_share;
                for (int c = 0; c < 3; ++c) {
                    const kt_distribution* d = (c == 0 ? m.bg.dist0 : c == 1 ? m.bg.dist1 : m.bg.dist2) + i;
                    const int v = far ? int(rng() % 256) : d->mean + int(rng() % 9) - 4;
                    image.img.data[4 * i + c] = static_cast<unsigned char>(std::min(255, std::max(0, v)));
                }
            }
            kttest::fill_random(mask.get(), rng(), true, 0.8);
            for (const kt_image* gate : {static_cast<const kt_image*>(nullptr),
                                         static_cast<const kt_image*>(mask.get())}) {
                const LabResult expected = ref_lab(m.bg, image.get(), gate);
                uint32_t count = 0;
                std::memset(diff.img.data, 0xAA, n);
                ASSERT_EQ(1, kt_background_compare(&m.bg, image.get(), gate, 0, diff.get(), &count));
                ASSERT_EQ(expected.diff, std::vector<unsigned char>(diff.img.data, diff.img.data + n));
                ASSERT_EQ(expected.count, count);
                for (uint32_t i = 0; i < n; ++i)
                    if (!gate || gate->data[i]) {
                        ASSERT_EQ(expected.floors[i], m.bg.dist1[i].min_stdev);
                    }
                counted += count;
                pixels += n;
            }
        }
    }
    EXPECT_GT(counted, 0u);
    EXPECT_LT(counted, pixels);
}

float ref_shadow(int r, int g, int b, int mr, int mg, int mb) {
    if (r <= 16 || g <= 16 || b <= 16 || r >= mr || g >= mg || b >= mb) return 255.0f;
    const float rr = float(r) / float(mr), rg = float(g) / float(mg), rb = float(b) / float(mb);
    const float t = (rr + rg + rb) / 3.0f * 0.1f;
    const float drg = std::fabs(rr - rg), dgb = std::fabs(rg - rb);
    if (drg >= dgb && drg < t) return (1.0f - drg / t) * 255.0f;
    if (dgb < t) return (1.0f - dgb / t) * 255.0f;
    return 255.0f;
}

TEST(BackgroundShadows, MatchesReferenceAndChecksArguments) {
    std::mt19937 rng(43);
    Model m(13, 9, KT_BG_MODE_BGR);
    const uint32_t n = 13 * 9;
    Image image(13, 9, 4), mask(13, 9, 1), out(13, 9, 1);
    for (uint32_t i = 0; i < n; ++i) {
        m.bg.dist0[i] = trained(20 + int(rng() % 230));
        m.bg.dist1[i] = trained(20 + int(rng() % 230));
        m.bg.dist2[i] = trained(20 + int(rng() % 230));
        // Mostly darker by a similar ratio, so every branch of the map is taken.
        const float ratio = 0.5f + float(rng() % 50) / 100.0f;
        image.img.data[4 * i] = static_cast<unsigned char>(m.bg.dist0[i].mean * ratio - rng() % 4);
        image.img.data[4 * i + 1] = static_cast<unsigned char>(m.bg.dist1[i].mean * ratio - rng() % 4);
        image.img.data[4 * i + 2] = static_cast<unsigned char>(m.bg.dist2[i].mean * ratio - rng() % 4);
    }
    kttest::fill_random(mask.get(), 5, true, 0.7);
    // Hand-made pixels against means of 100: equal ratios are fully shadow-like (255); green a little
    // darker gives (1 - 0.02 / 0.0793) x 255 = 190; ratios too far apart, channels at 16 or one channel
    // brighter than its mean are not judged (255).
    const unsigned char hand[][4] = {{80, 80, 80, 255}, {80, 78, 80, 190}, {80, 40, 80, 255},
                                     {16, 16, 16, 255}, {80, 80, 100, 255}};  // b, g, r, expected
    for (uint32_t i = 0; i < 5; ++i) {
        m.bg.dist0[i] = m.bg.dist1[i] = m.bg.dist2[i] = trained(100);
        std::memcpy(image.img.data + 4 * i, hand[i], 3);
        mask.img.data[i] = 255;
    }
    ASSERT_EQ(1, kt_background_compare_shadows(&m.bg, image.get(), mask.get(), out.get()));
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(hand[i][3], out.img.data[i]) << i;
    uint32_t graded = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const unsigned char* p = image.img.data + 4 * i;
        const unsigned char expected =
            mask.img.data[i] ? static_cast<unsigned char>(ref_shadow(p[2], p[1], p[0], m.bg.dist2[i].mean,
                                                                     m.bg.dist1[i].mean, m.bg.dist0[i].mean))
                             : 255;
        ASSERT_EQ(expected, out.img.data[i]) << i;
        graded += expected != 255;
    }
    EXPECT_GT(graded, 0u);

    Model gray(13, 9, KT_BG_MODE_GRAY), lab(13, 9, KT_BG_MODE_LAB);
    Image small(13, 8, 1), gray_image(13, 9, 1);
    EXPECT_EQ(0, kt_background_compare_shadows(&gray.bg, image.get(), nullptr, out.get()));
    EXPECT_EQ(0, kt_background_compare_shadows(&lab.bg, image.get(), nullptr, out.get()));
    EXPECT_EQ(0, kt_background_compare_shadows(&m.bg, gray_image.get(), nullptr, out.get()));
    EXPECT_EQ(0, kt_background_compare_shadows(&m.bg, image.get(), small.get(), out.get()));
    EXPECT_EQ(0, kt_background_compare_shadows(&m.bg, image.get(), nullptr, small.get()));
    EXPECT_EQ(0, kt_background_compare_shadows(nullptr, image.get(), nullptr, out.get()));
}

}  // namespace
