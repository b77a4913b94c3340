/* kt_background_view: the compact per-pixel copy of what the comparisons read (mean and scale, with
 * the untrained state folded into the scale; in colour also the floors), so a frame's comparison
 * streams 4 bytes per gray pixel and 12 per colour pixel instead of 32 per pixel and channel. The
 * full records stay the model's truth; every model operation that changes a mean, scale, fresh flag
 * or colour floor refreshes the view. */
#pragma once

#include <cstddef>
#include <cstdint>

#include "kt_background_distribution.h"

struct kt_background;

/* Gray pixel: scale 0 compares as background (untrained, or no deviation learnt yet). */
typedef struct kt_bg_view1 {
    uint16_t scale; /* kt_bg_view_scale of the record */
    uint8_t mean;   /* record mean */
    uint8_t spare;
} kt_bg_view1;

/* Colour pixels in tiles of eight: each channel's scales and means lie side by side, so the
 * comparison loads eight pixels of a channel with one read, and a pixel's three channels share one
 * 96-byte tile. Index c is dist<c>; pixel i is lane i % 8 of tile i / 8. */
#define KT_BG_TILE_PIXELS 8u
typedef struct kt_bg_view3 {
    uint16_t scale[3][KT_BG_TILE_PIXELS];
    uint8_t mean[3][KT_BG_TILE_PIXELS];
    uint8_t floor[3][KT_BG_TILE_PIXELS]; /* min_stdev of dist<c> when 1..255, else 0 (then only the
                                            record knows) */
} kt_bg_view3;

/* The view's copy of a deviation floor. */
inline uint8_t kt_bg_view_floor(const kt_distribution* d) {
    return d->min_stdev >= 1 && d->min_stdev <= 255 ? static_cast<uint8_t>(d->min_stdev) : 0;
}

/* Bytes of view a model of this mode keeps per pixel (a last, partly used tile aside). */
inline size_t kt_bg_view_bytes_per_pixel(int32_t mode) {
    return mode == 0 ? sizeof(kt_bg_view1) : sizeof(kt_bg_view3) / KT_BG_TILE_PIXELS;
}

/* Pixels' worth of records the block must hold beyond the model's pixels, so the last tile fits. */
inline size_t kt_bg_view_extra_pixels(int32_t mode) { return mode == 0 ? 0 : KT_BG_TILE_PIXELS - 1; }

/* The view lives in the tail of dist0's block (allocated by kt_background_resize), so it shares the
 * block's owner and lifetime without a field in the model record. Null when dist0 is null. */
kt_bg_view1* kt_bg_view_gray(const kt_background* model);
kt_bg_view3* kt_bg_view_colour(const kt_background* model);

/* Largest record scale whose comparison the view reproduces: beyond it the record's own 32-bit
 * product of scale and distance can wrap. */
#define KT_BG_VIEW_EXACT_SCALE (0xFFFFFFFFu / 255u)

/* Whether a record can be held by the view exactly: mean 0..255, scale 0..KT_BG_VIEW_EXACT_SCALE,
 * fresh 0 or 255. Every record the model's operations produce can. */
inline bool kt_bg_view_representable(const kt_distribution* d) {
    return d->mean >= 0 && d->mean <= 255 && d->scale >= 0 &&
           static_cast<uint32_t>(d->scale) <= KT_BG_VIEW_EXACT_SCALE &&
           (d->fresh == 0 || d->fresh == 255);
}

/* Largest scale the view keeps: from it on, every sample off the mean by one grey level or more is
 * beyond the likelihood table, as with any larger scale, so clamping changes no result. It also lets
 * the vector comparison multiply in 16-bit lanes (4 x scale and 128 x distance both fit). */
#define KT_BG_VIEW_SCALE_MAX ((KT_BG_COMPARE_ENTRIES + 1u) * 128u)

/* The view's scale of a record: its scale (clamped), or 0 while fresh (a scale of 0 also gives
 * likelihood 255). */
inline uint16_t kt_bg_view_scale(const kt_distribution* d) {
    if (d->fresh != 0) return 0;
    return static_cast<uint16_t>(static_cast<uint32_t>(d->scale) > KT_BG_VIEW_SCALE_MAX
                                     ? KT_BG_VIEW_SCALE_MAX
                                     : static_cast<uint32_t>(d->scale));
}

/* Refreshes pixel i of the view from its records. */
inline void kt_bg_view_set1(kt_bg_view1* v, const kt_distribution* d0) {
    v->scale = kt_bg_view_scale(d0);
    v->mean = static_cast<uint8_t>(d0->mean);
}
inline void kt_bg_view_set3(kt_bg_view3* view, uint32_t i, const kt_distribution* d0,
                            const kt_distribution* d1, const kt_distribution* d2) {
    kt_bg_view3& t = view[i / KT_BG_TILE_PIXELS];
    const uint32_t k = i % KT_BG_TILE_PIXELS;
    const kt_distribution* d[3] = {d0, d1, d2};
    for (int c = 0; c < 3; ++c) {
        t.scale[c][k] = kt_bg_view_scale(d[c]);
        t.mean[c][k] = static_cast<uint8_t>(d[c]->mean);
        t.floor[c][k] = kt_bg_view_floor(d[c]);
    }
}

/* The part of kt_bg_view_set3 that learning can change (means and scales; an update leaves the
 * floors alone), for the update loop, where every store counts. */
inline void kt_bg_view_learn3(kt_bg_view3* view, uint32_t i, const kt_distribution* d0,
                              const kt_distribution* d1, const kt_distribution* d2) {
    kt_bg_view3& t = view[i / KT_BG_TILE_PIXELS];
    const uint32_t k = i % KT_BG_TILE_PIXELS;
    t.scale[0][k] = kt_bg_view_scale(d0);
    t.scale[1][k] = kt_bg_view_scale(d1);
    t.scale[2][k] = kt_bg_view_scale(d2);
    t.mean[0][k] = static_cast<uint8_t>(d0->mean);
    t.mean[1][k] = static_cast<uint8_t>(d1->mean);
    t.mean[2][k] = static_cast<uint8_t>(d2->mean);
}

/* Likelihood 0..255 of sample x against one channel of the view; the same value
 * kt_distribution_likelihood gives for the record the entry was taken from. */
inline uint32_t kt_bg_view_likelihood(uint32_t scale, uint32_t mean, uint32_t x) {
    const uint32_t distance = x > mean ? x - mean : mean - x;
    uint32_t tenths = (scale * distance) >> 7;
    if (tenths > KT_BG_COMPARE_ENTRIES) tenths = KT_BG_COMPARE_ENTRIES;
    return kt_bg_compare_table[tenths];
}

/* Rebuilds the whole view from the records, for a caller that wrote records directly. Returns 1; 0 for
 * a model without arrays, or when some record cannot be held exactly (kt_bg_view_representable; that
 * pixel's entry is then only approximate). */
int kt_background_sync_view(kt_background* model);

/* Verification hook: 1 when every view entry equals what its records give (and every record is
 * representable), 0 otherwise or for a model without arrays. Reads the whole model. */
int kt_background_check_view(const kt_background* model);
