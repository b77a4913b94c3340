#include "kt_background_distribution.h"

int kt_distribution_reset(kt_distribution* d) {
    if (!d) return 0;
    d->mean = 0;
    d->mean_sq = 0;
    d->stdev = 255;
    d->min_var = 0;
    d->min_stdev = 0;
    d->fresh = 255;
    return 1;
}

int kt_distribution_set_min_stdev(kt_distribution* d, int32_t s) {
    // Beyond 46340 the square no longer fits the signed 32-bit floor.
    if (!d || s == 0 || s > 46340 || s < -46340) return 0;
    d->min_stdev = s;
    d->min_var = s * s;
    return 1;
}

int kt_distribution_set_weight(kt_distribution* d, float w) {
    // The negated test also refuses NaN.
    if (!d || !(w >= 0.0f && w <= 1.0f)) return 0;
    d->weight = static_cast<int32_t>(w * 128.0f);
    return 1;
}
