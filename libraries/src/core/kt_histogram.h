/* kt_histogram: coarse 64-bin colour histograms of image boxes (4 levels per channel), each bin also
 * summing the box-relative positions of its pixels. The blob tracker describes every blob and every
 * tracked object by these, compares them by a chi-square similarity and blends them over time.
 * Plain functions over a plain record: none throws, none allocates. */
#pragma once

#include <cstdint>

#include "kt_image.h"
#include "kt_bbox.h"

#define KT_HISTOGRAM_BINS 64

typedef struct kt_histogram {
    uint32_t bins[KT_HISTOGRAM_BINS];  /* pixel count per bin */
    uint32_t sum_x[KT_HISTOGRAM_BINS]; /* sum of the box-relative column of each counted pixel */
    uint32_t sum_y[KT_HISTOGRAM_BINS]; /* sum of the box-relative row of each counted pixel */
    uint32_t total;                    /* pixels counted */
} kt_histogram;

/* Bin of a colour: r/64 + 4 x (g/64) + 16 x (b/64). Always 0..63. */
uint32_t kt_histogram_index(uint32_t r, uint32_t g, uint32_t b);

/* Representative colour of a bin (each level x 64 + 32), packed red in bits 0..7, green in 8..15,
 * blue in 16..23. Bits above 5 of bin are ignored. */
uint32_t kt_histogram_bin_to_rgb(uint32_t bin);

/* Builds the histogram of box over a four-channel (blue, green, red, fourth) image. Pixels whose three
 * colour bytes are all 16 or less are never counted. With a mask (one channel, the image's width and
 * height; read at the same frame position) only pixels under a non-zero mask byte count, and bin 0 is
 * never counted. The part of the box outside the image is ignored; positions stay relative to the box.
 * Returns 1 on success. Returns 0 for a null histogram or an image that is not a consistent
 * four-channel image (histogram untouched); for a mask that is not a consistent one-channel image of
 * the image's size, or a null box, after the histogram was cleared. */
int kt_histogram_set(kt_histogram* hist, const kt_image* image, const kt_image* mask,
                     const kt_bbox* box);

/* Zeroes every field. 0 for null, else 1. */
int kt_histogram_reset(kt_histogram* hist);

/* Copies every field of src into dst. 0 when either is null. */
int kt_histogram_cpy(kt_histogram* dst, const kt_histogram* src);

/* When src->total is non-zero adds bins, sums and totals bin by bin, each saturating at 0xFFFFFFFF.
 * An empty src leaves dst as it is. 0 when either is null, else 1. */
int kt_histogram_add(kt_histogram* dst, const kt_histogram* src);

/* When src->total is non-zero subtracts bins and sums bin by bin, each floored at 0, and sets total
 * to the sum of the new bins. An empty src leaves dst as it is. 0 when either is null, else 1. */
int kt_histogram_sub(kt_histogram* dst, const kt_histogram* src);

/* Blends next into hist with weight w (0..1, the share of next): every entry of the three arrays
 * becomes truncate(old x (1 - w)) + truncate(new x w), total the sum of the new bins. An empty hist
 * becomes a copy of next. Returns 0, hist untouched, when either is null, next is empty, or w is not
 * within 0..1. */
int kt_histogram_avg(kt_histogram* hist, const kt_histogram* next, float w);

/* Chi-square similarity 1 - 0.5 x sum((pa - pb)^2 / (pa + pb)) over the bins where either share is
 * non-zero (pa = a->bins[i] / a->total). 1 for identical shapes, 0 for disjoint ones; 0 when either
 * is null or empty. */
float kt_histogram_compare(const kt_histogram* a, const kt_histogram* b);

/* 1 - kt_histogram_compare; 1.0 when either is null or empty. */
float kt_histogram_distance(const kt_histogram* a, const kt_histogram* b);

/* Sum over the bins of min(pa, pb); 0 when either is null or empty. */
float kt_histogram_overlap(const kt_histogram* a, const kt_histogram* b);

/* Share bins[bin] / total of one bin. The fast path: the caller passes a non-empty histogram and a bin
 * below 64; anything else gives 0 rather than reading out of bounds or dividing by zero. */
float kt_histogram_get_bin(const kt_histogram* hist, uint32_t bin);

/* The same share, or -1.0 for a null or empty histogram or a bin above 63. */
float kt_histogram_bin_pct(const kt_histogram* hist, uint32_t bin);

/* Index of the first bin holding the largest count (ties keep the lower index; all zero gives 0),
 * with that count stored through count when it is not null. 0xFFFFFFFF for a null histogram. */
uint32_t kt_histogram_max_bin(const kt_histogram* hist, uint32_t* count);

/* Mean box-relative position of a bin's pixels (sum_x / bins, sum_y / bins, integer division) into
 * *x and *y. 0, outputs untouched, for a null histogram or output, a bin above 63 or an empty bin. */
int kt_histogram_xy(const kt_histogram* hist, uint32_t bin, uint32_t* x, uint32_t* y);

/* Debug output: writes path (mode "w") as CSV, "Index,Color,Pct,Value" then one line per bin with
 * the representative colour as #rrggbb, the share (-1.0 when empty) and the count. 0 for a null path
 * or histogram or a file that cannot be written, else 1. */
int kt_histogram_print(const char* path, const kt_histogram* hist);
