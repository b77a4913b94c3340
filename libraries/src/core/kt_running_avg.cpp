#include "kt_running_avg.h"

int kt_running_avg_set_weight(kt_running_avg* avg, float w) {
    if (!avg || !(w >= 0.0f && w <= 1.0f)) return 0;  // NaN fails too
    avg->weight = w;
    avg->keep = 1.0f - w;
    return 1;
}

int kt_running_avg_reset(kt_running_avg* avg, float w) {
    if (!avg) return 0;
    avg->value = 0.0f;
    avg->count = 0;
    return kt_running_avg_set_weight(avg, w);
}

void kt_running_avg_add(kt_running_avg* avg, float sample) {
    if (!avg) return;
    if (avg->count == 0) {
        avg->value = sample;
        avg->count = 1;
        return;
    }
    avg->value = sample * avg->weight + avg->value * avg->keep;
    if (avg->count != UINT32_MAX) ++avg->count;
}
