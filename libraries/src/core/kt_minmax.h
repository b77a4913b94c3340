/* kt_minmax: integer and float min/max/clamp helpers, inline because they sit in per-pixel loops. */
#pragma once

#include <cstdint>

/* low when value < low, high when value > high, else value. */
inline int32_t kt_clamp(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : (value > high ? high : value);
}
inline int32_t kt_min(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t kt_max(int32_t a, int32_t b) { return a > b ? a : b; }
inline float kt_fmin(float a, float b) { return a < b ? a : b; }
inline float kt_fsquare(float a) { return a * a; }
