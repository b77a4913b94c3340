/* kt_distribution: one pixel's Gaussian for one channel, in fixed point, with the per-sample
 * comparison and update that the background model runs over every pixel. */
#pragma once

#include <cstdint>

#include "kt_background_tables.h"

/* Likelihood of a sample that matches the background. */
#define KT_BG_BACKGROUND 255

/* Learning rates are stored in 1/128 units: w = 0.1 becomes 12. */
#define KT_BG_WEIGHT_ONE 128

typedef struct kt_distribution {
    int32_t mean;      /* running mean of the samples, 0..255 */
    int32_t mean_sq;   /* running mean of the squared samples */
    int32_t stdev;     /* current standard deviation */
    int32_t weight;    /* learning rate in 1/128 units */
    int32_t min_var;   /* variance floor, min_stdev squared */
    int32_t min_stdev; /* standard-deviation floor */
    int32_t scale;     /* 1280 / stdev through the division table; 0 until first computed */
    int32_t fresh;     /* 255 while no sample was taken (every comparison says background), else 0 */
} kt_distribution;

/* mean 0, mean_sq 0, stdev 255, min_var 0, min_stdev 0, fresh 255; weight and scale are kept.
 * Returns 1; 0 for null. */
int kt_distribution_reset(kt_distribution* d);

/* min_stdev = s, min_var = s x s. Returns 1; 0 (untouched) for null, s = 0 or |s| > 46340 (the
 * square would overflow). */
int kt_distribution_set_min_stdev(kt_distribution* d, int32_t s);

/* weight = floor(w x 128) (0.1 gives 12, 0.01 gives 1). Returns 1; 0 (untouched) for null or w
 * outside 0..1. */
int kt_distribution_set_weight(kt_distribution* d, float w);

/* Likelihood 0..255 that sample x belongs to d: ten times the distance in standard deviations,
 * d = (scale x |x - mean|) >> 7, looked up in the likelihood table (0 from 10 deviations on), ORed
 * with fresh. A scale of 0 therefore always gives 255. Tables must be filled. */
inline uint32_t kt_distribution_likelihood(const kt_distribution* d, int32_t x) {
    uint32_t distance = static_cast<uint32_t>(x > d->mean ? x - d->mean : d->mean - x);
    uint32_t tenths = (static_cast<uint32_t>(d->scale) * distance) >> 7;
    if (tenths > KT_BG_COMPARE_ENTRIES) tenths = KT_BG_COMPARE_ENTRIES;
    return (kt_bg_compare_table[tenths] | static_cast<uint32_t>(d->fresh)) & 0xFFu;
}

/* Pixels ahead whose records the colour loops request while working on the current pixel: three
 * streams of 32-byte records outrun the hardware prefetcher, and 32 pixels (16 cache lines per
 * stream) cover the memory latency. */
#define KT_BG_PREFETCH_AHEAD 32u

/* Cache hint for the records of pixel i + KT_BG_PREFETCH_AHEAD in the three channel arrays, when
 * that pixel is below pixels; Write says they will be written. Changes no result. */
template <int Write>
inline void kt_distribution_prefetch(const kt_distribution* d0, const kt_distribution* d1,
                                     const kt_distribution* d2, uint32_t i, uint32_t pixels) {
#if defined(__GNUC__)
    // Near the end the current pixel is requested again, which keeps every address inside the arrays.
    const uint32_t ahead = i + KT_BG_PREFETCH_AHEAD < pixels ? i + KT_BG_PREFETCH_AHEAD : i;
    __builtin_prefetch(d0 + ahead, Write);
    __builtin_prefetch(d1 + ahead, Write);
    __builtin_prefetch(d2 + ahead, Write);
#else
    (void)d0, (void)d1, (void)d2, (void)i, (void)pixels;
#endif
}

/* Folds sample x into d. A fresh distribution takes x as its mean with the floor as its deviation;
 * otherwise mean and mean of squares move by weight/128 towards x, and the deviation becomes the
 * integer square root of the variance, or the floor when the variance does not exceed the floor's
 * (then scale keeps its value). Tables must be filled. */
inline void kt_distribution_update(kt_distribution* d, int32_t x) {
    if (d->fresh != 0) {
        d->mean = x;
        d->mean_sq = x * x;
        d->stdev = d->min_stdev;
        d->fresh = 0;
        return;
    }
    const int32_t w = d->weight;
    // Fixed point in 1/128 steps: the shift drops the fraction (the products are never negative).
    const int32_t m = (d->mean * (KT_BG_WEIGHT_ONE - w) + w * x) >> 7;
    const int32_t q = (d->mean_sq * (KT_BG_WEIGHT_ONE - w) + w * x * x) >> 7;
    const int32_t var = q - m * m;
    d->mean = m;
    d->mean_sq = q;
    if (var <= d->min_var) {
        d->stdev = d->min_stdev;
        return;
    }
    const uint32_t s = var <= KT_BG_MAX_VARIANCE ? kt_bg_sqrt_table[var] : kt_bg_isqrt(var);
    if (d->stdev < static_cast<int32_t>(KT_BG_DIVISION_ENTRIES))
        d->scale = s < KT_BG_DIVISION_ENTRIES ? kt_bg_division_table[s]
                                              : static_cast<int32_t>(KT_BG_DIVISION_ENTRIES / s);
    else
        d->scale = 0;
    d->stdev = static_cast<int32_t>(s);
}
