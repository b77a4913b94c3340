/* kt_running_avg: exponentially weighted running average of a float signal. */
#pragma once

#include <cstdint>

typedef struct kt_running_avg {
    float value;    /* current average */
    float weight;   /* share of a new sample, 0..1 */
    float keep;     /* 1 - weight */
    uint32_t count; /* samples seen */
} kt_running_avg;

/* Sets weight = w and keep = 1 - w. Returns 1; 0 (record untouched) for null or w outside 0..1. */
int kt_running_avg_set_weight(kt_running_avg* avg, float w);

/* value = 0, count = 0, then kt_running_avg_set_weight(w). Returns that result; the value and count are
 * cleared even when w is refused. Null: 0. */
int kt_running_avg_reset(kt_running_avg* avg, float w);

/* Folds a sample in: the first sample (count 0) becomes the value and count 1; later ones give
 * value = sample x weight + value x keep. Null ignored. */
void kt_running_avg_add(kt_running_avg* avg, float sample);
