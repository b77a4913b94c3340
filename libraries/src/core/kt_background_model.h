/* kt_background: the adaptive per-pixel background model (one Gaussian per pixel and channel) and its
 * lifetime: creation, resizing, learning rate, and returning regions to the untrained state. */
#pragma once

#include <cstdint>

#include "kt_background_distribution.h"
#include "kt_bbox.h"
#include "kt_running_avg.h"

/* Modes: which channels the model keeps. */
enum {
    KT_BG_MODE_GRAY = 0, /* one channel: a one-channel image */
    KT_BG_MODE_BGR = 1,  /* blue, green, red: bytes 0, 1, 2 of a four-channel image */
    KT_BG_MODE_LAB = 2   /* lightness, two chroma (neutral 127): bytes 0, 1, 2 of a four-channel image */
};

/* Learning rate after kt_background_init: each update moves the mean a tenth towards the sample. */
#define KT_BG_DEFAULT_WEIGHT 0.1f
/* Standard-deviation floors in grey levels: the smallest deviation a channel may claim, so sensor
 * noise in a perfectly still scene does not make every flicker foreground. */
#define KT_BG_MIN_STDEV 15
#define KT_BG_MIN_STDEV_CHROMA 5

/* The comparisons read a compact copy of the records (kt_background_view.h) that every operation here
 * keeps in step; code that writes distributions directly calls kt_background_sync_view afterwards. */
typedef struct kt_background {
    kt_running_avg* edge_avg; /* per pixel: running edge orientation, degrees 1..360, 0 = no edge */
    kt_distribution* dist0;   /* per pixel: gray, blue or lightness */
    kt_distribution* dist1;   /* per pixel, mode > 0 only: green or first chroma */
    kt_distribution* dist2;   /* per pixel, mode > 0 only: red or second chroma */
    uint32_t* edge_time;      /* per pixel: kt_tickcount of the last strong edge */
    uint32_t width;           /* model size in pixels */
    uint32_t height;
    float weight;             /* learning rate 0..1 */
    int32_t track_edges;      /* non-zero: updates also learn edge orientations (needs gray) */
    uint16_t initialized;     /* arrays were allocated at least once */
    int32_t mode;             /* KT_BG_MODE_* */
} kt_background;

/* Fills the process-wide tables, releases a previous model, sets every field to 0 except weight 0.1
 * and mode, and allocates the arrays for width x height with every pixel untrained.
 * The record must be zeroed or initialised. Returns 1; 0 for a null model or a mode other than
 * 0, 1, 2 (model untouched), or when kt_background_resize fails. */
int kt_background_init(kt_background* model, uint32_t width, uint32_t height, int32_t mode);

/* Releases the arrays, stores the new size and allocates zeroed arrays for it (dist1 and dist2 only
 * when mode > 0; dist0's block also holds the compact view, kt_background_view.h), every distribution
 * reset to untrained, then applies the current weight and floors (kt_background_set_weight). Returns that result; 0 for a null model, a zero size, a pixel count
 * that does not fit 32 bits, or an allocation failure (the model is then left released, 0 x 0). */
int kt_background_resize(kt_background* model, uint32_t width, uint32_t height);

/* width and height become 0; the arrays are freed and nulled. The initialized flag is kept, so a
 * second call is harmless. Null ignored. */
void kt_background_deinit(kt_background* model);

/* Sets the learning rate w of every distribution and edge average, and the floors: 15 for dist0;
 * 15 (mode 1) or 5 (mode 2) for dist1 and dist2. A rate outside 0..1 leaves the per-pixel rates as
 * they are but is still stored in weight. Returns 1; 0 for a null model. */
int kt_background_set_weight(kt_background* model, float w);

/* Returns the pixels of box to the untrained state (all channels), so they take their next sample as
 * their mean and compare as background until then. Returns 1; 0 for null arguments, a model without
 * arrays, or a box not inside the model. */
int kt_background_reset_region(kt_background* model, const kt_bbox* box);

/* 1 when x + width <= model width and y + height <= model height (no wrap-around); 0 otherwise or for
 * nulls. */
int kt_background_valid_region(const kt_background* model, const kt_bbox* box);

/* 1 when the model's arrays for its mode are present and its size is non-zero. */
int kt_background_ready(const kt_background* model);
