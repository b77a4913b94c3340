// Helpers shared by the background-model tests: the likelihood written plainly from the model's
// definition, a model owned for one test, and a hand-trained distribution.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

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

}  // namespace bgtest
