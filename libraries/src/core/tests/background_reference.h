// Helpers shared by the background-model tests: the likelihood written plainly from the model's
// definition, a model owned for one test, and a hand-trained distribution.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kt_background.h"

namespace bgtest {

// 255 within 1.1 deviations, 210 up to 1.2, then 255 / z^2 in single precision (k tenths).
inline unsigned char ref_table(uint32_t k) {
    if (k <= 10) return 255;
    if (k == 11) return 210;
    const float z = float(k) / 10.0f;
    return static_cast<unsigned char>(255.0f / (z * z));
}

inline uint32_t ref_likelihood(const kt_distribution& d, int x) {
    const uint32_t tenths = (uint32_t(d.scale) * uint32_t(std::abs(x - d.mean))) >> 7;
    if (tenths > 99) return uint32_t(d.fresh) & 0xFF;
    return (ref_table(tenths) | uint32_t(d.fresh)) & 0xFF;
}

struct Model {
    kt_background bg{};
    Model(uint32_t w, uint32_t h, int32_t mode) { EXPECT_EQ(1, kt_background_init(&bg, w, h, mode)); }
    ~Model() { kt_background_deinit(&bg); }
    uint32_t pixels() const { return bg.width * bg.height; }
};

// A trained distribution of the given mean with deviation 10 (scale 128): a sample d grey levels
// from the mean is d tenths of a deviation away.
inline kt_distribution trained(int mean) { return kt_distribution{mean, mean * mean, 10, 12, 25, 5, 128, 0}; }

struct Expected {
    explicit Expected(size_t n) : diff(n, 0) {}
    std::vector<unsigned char> diff; uint32_t count = 0;
    std::vector<int32_t> floors;  // dist1 floor per pixel after the comparison (lightness-chroma)
};

// Plain gray or blue-green-red comparison.
inline Expected ref_plain(const kt_background& bg, const kt_image* image, const kt_image* mask) {
    Expected r(bg.width * bg.height);
    for (uint32_t i = 0; i < r.diff.size(); ++i) {
        if (mask && mask->data[i] == 0) continue;
        const unsigned char* p = image->data + (bg.mode ? 4 * i : i);
        const uint32_t lb = ref_likelihood(bg.dist0[i], p[0]);
        const uint32_t lg = bg.mode ? ref_likelihood(bg.dist1[i], p[1]) : 255,
                       lr = bg.mode ? ref_likelihood(bg.dist2[i], p[2]) : 255;
        if (lr < 255 || lg < 255 || lb < 255)
            r.diff[i] = static_cast<unsigned char>(bg.mode ? 255 - (lr + lg + lb) / 3 : 255 - lb), ++r.count;
    }
    return r;
}

// Plain lightness-chroma comparison on copies of the distributions.
inline Expected ref_lab(const kt_background& bg, const kt_image* image, const kt_image* mask) {
    const uint32_t n = bg.width * bg.height;
    std::vector<kt_distribution> d0(bg.dist0, bg.dist0 + n), d1(bg.dist1, bg.dist1 + n),
        d2(bg.dist2, bg.dist2 + n);
    Expected r(n);
    std::vector<uint32_t> light(n, 0);
    uint64_t sum = 0, changed = 0, strong = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (mask && !mask->data[i]) continue;
        light[i] = ref_likelihood(d0[i], image->data[4 * i]);
        if (light[i] < 255) sum += 255 - light[i], ++changed, strong += 255 - light[i] >= 64;
    }
    const uint64_t avg = changed ? sum / changed : 0;
    const float frac = float(strong) / float(n);
    const int level = ((frac >= 0.7f && avg >= 153) || (frac >= 0.5f && avg >= 191)) ? 2
                      : (frac >= 0.2f && avg >= 114)                                 ? 1 : 0;
    const int floors[3] = {5, 10, 20};
    const float wl = level == 2 ? 0.1f : 0.2f, wc = level == 2 ? 0.9f : 0.8f;
    for (uint32_t i = 0; i < n; ++i) {
        if (mask && !mask->data[i]) continue;
        const int floor = (level || (d0[i].mean >= 115 && d0[i].mean <= 236)) ? floors[level] : 10;
        d1[i].min_stdev = d2[i].min_stdev = floor;
        const unsigned char* p = image->data + 4 * i;
        const uint32_t lb = ref_likelihood(d2[i], p[2]), la = ref_likelihood(d1[i], p[1]);
        const float l = p[0], ratio = l / float(std::max(1, d0[i].mean));
        const int db = p[2] - d2[i].mean, da = p[1] - d1[i].mean;
        const bool shadow = l > 135.0f && l < 231.98f && ratio > 0.35f && ratio < 0.99f &&
                            float(db * db + da * da) < 73.916664f - 68.333336f * ratio &&
                            (std::abs(p[1] - 127) >= 11 || std::abs(p[2] - 127) >= 11);
        if (!shadow && (lb & light[i] & la) < 255)
            r.diff[i] = static_cast<unsigned char>(255.0f - (float(std::min(la, lb)) * wc + float(light[i]) * wl)),
            ++r.count;
    }
    for (uint32_t i = 0; i < n; ++i) r.floors.push_back(d1[i].min_stdev);
    return r;
}

inline Expected ref_compare(const kt_background& bg, const kt_image* image, const kt_image* mask) {
    return bg.mode == KT_BG_MODE_LAB ? ref_lab(bg, image, mask) : ref_plain(bg, image, mask);
}

// Shadow likeness of blue-green-red pixel p against pixel i's means, 255 where it is not judged.
inline float ref_shadow(const kt_background& bg, const unsigned char* p, uint32_t i) {
    const int r = p[2], g = p[1], b = p[0], mr = bg.dist2[i].mean, mg = bg.dist1[i].mean, mb = bg.dist0[i].mean;
    if (r <= 16 || g <= 16 || b <= 16 || r >= mr || g >= mg || b >= mb) return 255.0f;
    const float rr = float(r) / float(mr), rg = float(g) / float(mg), rb = float(b) / float(mb);
    const float t = (rr + rg + rb) / 3.0f * 0.1f, drg = std::fabs(rr - rg), dgb = std::fabs(rg - rb);
    if (drg >= dgb && drg < t) return (1.0f - drg / t) * 255.0f;
    if (dgb < t) return (1.0f - dgb / t) * 255.0f;
    return 255.0f;
}

}  // namespace bgtest
