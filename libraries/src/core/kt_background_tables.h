/* kt_background_tables: the process-wide lookup tables of the background model, so the per-pixel
 * comparison and update need no division, square root or floating point. */
#pragma once

#include <cstdint>

/* Entries of the likelihood table, indexed by ten times the distance from the mean in standard
 * deviations (truncated); a distance of 10 standard deviations or more means likelihood 0. */
#define KT_BG_COMPARE_ENTRIES 100u

/* Entries of the division table 1280 / k: k is a standard deviation, 1280 = 10 x 128 so that
 * (scale x distance) >> 7 gives ten times the distance in standard deviations. */
#define KT_BG_DIVISION_ENTRIES 1280u

/* Entries of the average table k / 3, for the sum of three likelihoods (3 x 255 = 765). */
#define KT_BG_AVERAGE_ENTRIES 766u

/* Largest variance of byte samples: 255 x 255. */
#define KT_BG_MAX_VARIANCE 65025

/* Likelihood per tenth of a standard deviation: 255 within 1.1, 210 up to 1.2, then 255 / z^2.
 * Entry KT_BG_COMPARE_ENTRIES is an extra 0 so a clamped index replaces the "beyond 10" branch. */
extern unsigned char kt_bg_compare_table[KT_BG_COMPARE_ENTRIES + 1];
/* 1280 / k, with entries 0 and 1 at 1280. */
extern uint16_t kt_bg_division_table[KT_BG_DIVISION_ENTRIES];
/* k / 3. */
extern uint16_t kt_bg_average_table[KT_BG_AVERAGE_ENTRIES];
/* Integer square root of every possible variance, equal to kt_bg_isqrt. */
extern unsigned char kt_bg_sqrt_table[KT_BG_MAX_VARIANCE + 1];

/* Fills the tables once per process (later calls return at once; thread-safe). Every function that
 * reads them (the model's init among them) calls this first. */
void kt_background_fill_tables(void);

/* Integer square root by the bitwise method: the largest s with s x s <= v; 0 for v <= 0. */
uint32_t kt_bg_isqrt(int32_t v);
