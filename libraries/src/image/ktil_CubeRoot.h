// ktil::CubeRoot: t^(1/3) of a float in [2^-7, 2) by linear interpolation between 2049 nodes (16 KiB),
// with a stated error bound, so a caller can tell when a result built on it might round differently
// from the double-precision pow it stands in for.
#pragma once

#include <cstdint>
#include <cstring>

namespace ktil {

class CubeRoot {
public:
    static constexpr float kLow = 0.0078125f;  // 2^-7: the lightness-chroma switch point 0.008856 is above
    static constexpr float kHigh = 2.0f;       // sums of byte terms pass 1 by a hair at most

    // Bound on |(*this)(t) - exact(t)| over [kLow, kHigh). Chord error h^2/8 x max|f''| peaks in
    // [1, 2) (h = 2^-8, |f''| <= 2/9) at 4.24e-7; add half an ulp (6e-8) each for the rounded node,
    // the rounded interpolation and the rounded exact value. tools/lab_exhaustive_check measures it
    // on every float of the range.
    static constexpr float kMaxError = 6.2e-7f;

    CubeRoot();  // exact() at every node: 2049 pow calls

    // What the lightness-chroma formula defines: pow in double precision of the float 1/3, as a float.
    static float exact(float t);

    static constexpr uint32_t kIntervals = 8u << 8;  // eight binades of 256 intervals

    // The interval [node(i), node(i + 1)) holding t, 0..kIntervals - 1; the caller ensures
    // kLow <= t < kHigh, as for every member below.
    static uint32_t interval(float t) { return (bits_of(t) - kLowBits) >> kFracBits; }

    // The left end of interval i; node(kIntervals) is kHigh.
    static float node(uint32_t i) {
        const uint32_t bits = kLowBits + (i << kFracBits);
        float t;
        std::memcpy(&t, &bits, sizeof t);
        return t;
    }

    float operator()(float t) const {
        const uint32_t bits = bits_of(t), i = (bits - kLowBits) >> kFracBits;
        const float frac = float(bits & kFracMask) * kFracScale;
        return segment_[i].root + segment_[i].rise * frac;
    }

private:
    static constexpr int kFracBits = 23 - 8;  // mantissa bits below the interval number
    static constexpr uint32_t kFracMask = (1u << kFracBits) - 1;
    static constexpr float kFracScale = 1.0f / float(1u << kFracBits);
    static constexpr uint32_t kLowBits = 120u << 23;  // bit pattern of 2^-7

    static uint32_t bits_of(float t) {
        uint32_t bits;
        std::memcpy(&bits, &t, sizeof bits);
        return bits;
    }

    // exact() at node(i) and its rise to node(i + 1), side by side for one cache line per lookup; the
    // rise is exact (two floats within a factor of two).
    struct Segment {
        float root, rise;
    };
    Segment segment_[kIntervals];
};

}  // namespace ktil
