/* kt_histogram: building, blending and comparing the 64-bin colour histograms of the blob tracker. */
#include "kt_histogram.h"

#include <cstdio>
#include <cstring>

/* Pixels whose blue, green and red are all at or below this level are taken as black background
 * (unlit or masked-out frame areas) and never counted. */
#define KT_HISTOGRAM_DARK_LEVEL 16

uint32_t kt_histogram_index(uint32_t r, uint32_t g, uint32_t b) {
    /* Values above 255 would address past the 64 bins; keep the two level bits of each channel. */
    return ((r / 64) & 3) + 4 * ((g / 64) & 3) + 16 * ((b / 64) & 3);
}

uint32_t kt_histogram_bin_to_rgb(uint32_t bin) {
    uint32_t r = (bin & 3) * 64 + 32;
    uint32_t g = ((bin >> 2) & 3) * 64 + 32;
    uint32_t b = ((bin >> 4) & 3) * 64 + 32;
    return r | (g << 8) | (b << 16);
}

static void histogram_clear(kt_histogram* hist) { memset(hist, 0, sizeof(*hist)); }

int kt_histogram_set(kt_histogram* hist, const kt_image* image, const kt_image* mask,
                     const kt_bbox* box) {
    if (!hist) return 0;
    if (!kt_image_consistent(image) || image->channels != 4) return 0;
    histogram_clear(hist);
    if (mask && (!kt_image_consistent(mask) || mask->channels != 1 || mask->width != image->width ||
                 mask->height != image->height))
        return 0;
    if (!box) return 0;
    if (box->x >= image->width || box->y >= image->height) return 1;

    /* Clip to the image; widths are compared as differences so nothing wraps. */
    uint32_t w = box->width, h = box->height;
    if (w > image->width - box->x) w = image->width - box->x;
    if (h > image->height - box->y) h = image->height - box->y;

    for (uint32_t r = 0; r < h; ++r) {
        const uint32_t row = box->y + r;
        const unsigned char* px = image->data + 4 * ((size_t)row * image->width + box->x);
        const unsigned char* mk = mask ? mask->data + (size_t)row * mask->width + box->x : NULL;
        for (uint32_t c = 0; c < w; ++c, px += 4) {
            if (px[0] <= KT_HISTOGRAM_DARK_LEVEL && px[1] <= KT_HISTOGRAM_DARK_LEVEL &&
                px[2] <= KT_HISTOGRAM_DARK_LEVEL)
                continue;
            const uint32_t bin = kt_histogram_index(px[2], px[1], px[0]);
            if (mk && (mk[c] == 0 || bin == 0)) continue;
            hist->bins[bin] += 1;
            hist->sum_x[bin] += c;
            hist->sum_y[bin] += r;
            hist->total += 1;
        }
    }
    return 1;
}

int kt_histogram_reset(kt_histogram* hist) {
    if (!hist) return 0;
    histogram_clear(hist);
    return 1;
}

int kt_histogram_cpy(kt_histogram* dst, const kt_histogram* src) {
    if (!dst || !src) return 0;
    if (dst != src) memcpy(dst, src, sizeof(*dst));
    return 1;
}

static uint32_t sat_add(uint32_t a, uint32_t b) { return a > 0xFFFFFFFFu - b ? 0xFFFFFFFFu : a + b; }
static uint32_t floor_sub(uint32_t a, uint32_t b) { return a > b ? a - b : 0; }

int kt_histogram_add(kt_histogram* dst, const kt_histogram* src) {
    if (!dst || !src) return 0;
    if (src->total == 0) return 1;
    for (int i = 0; i < KT_HISTOGRAM_BINS; ++i) {
        dst->bins[i] = sat_add(dst->bins[i], src->bins[i]);
        dst->sum_x[i] = sat_add(dst->sum_x[i], src->sum_x[i]);
        dst->sum_y[i] = sat_add(dst->sum_y[i], src->sum_y[i]);
    }
    dst->total = sat_add(dst->total, src->total);
    return 1;
}

int kt_histogram_sub(kt_histogram* dst, const kt_histogram* src) {
    if (!dst || !src) return 0;
    if (src->total == 0) return 1;
    uint32_t total = 0;
    for (int i = 0; i < KT_HISTOGRAM_BINS; ++i) {
        dst->bins[i] = floor_sub(dst->bins[i], src->bins[i]);
        dst->sum_x[i] = floor_sub(dst->sum_x[i], src->sum_x[i]);
        dst->sum_y[i] = floor_sub(dst->sum_y[i], src->sum_y[i]);
        total = sat_add(total, dst->bins[i]);
    }
    dst->total = total;
    return 1;
}

/* truncate(v x f) for 0 <= f <= 1: never above v, so it always fits in 32 bits. Double precision keeps
 * large position sums exact where a float would round them. */
static uint32_t scale_trunc(uint32_t v, double f) { return (uint32_t)((double)v * f); }

int kt_histogram_avg(kt_histogram* hist, const kt_histogram* next, float w) {
    if (!hist || !next || next->total == 0) return 0;
    if (!(w >= 0.0f && w <= 1.0f)) return 0; /* also refuses NaN */
    if (hist->total == 0) return kt_histogram_cpy(hist, next);
    const double keep = (double)(1.0f - w);
    const double take = (double)w;
    uint32_t total = 0;
    for (int i = 0; i < KT_HISTOGRAM_BINS; ++i) {
        hist->bins[i] = sat_add(scale_trunc(hist->bins[i], keep), scale_trunc(next->bins[i], take));
        hist->sum_x[i] = sat_add(scale_trunc(hist->sum_x[i], keep), scale_trunc(next->sum_x[i], take));
        hist->sum_y[i] = sat_add(scale_trunc(hist->sum_y[i], keep), scale_trunc(next->sum_y[i], take));
        total = sat_add(total, hist->bins[i]);
    }
    hist->total = total;
    return 1;
}

float kt_histogram_compare(const kt_histogram* a, const kt_histogram* b) {
    if (!a || !b || a->total == 0 || b->total == 0) return 0.0f;
    const float ta = (float)a->total, tb = (float)b->total;
    float chi = 0.0f;
    for (int i = 0; i < KT_HISTOGRAM_BINS; ++i) {
        if (a->bins[i] == 0 && b->bins[i] == 0) continue;
        const float pa = (float)a->bins[i] / ta;
        const float pb = (float)b->bins[i] / tb;
        const float d = pa - pb;
        chi += d * d / (pa + pb);
    }
    return 1.0f - 0.5f * chi;
}

float kt_histogram_distance(const kt_histogram* a, const kt_histogram* b) {
    if (!a || !b || a->total == 0 || b->total == 0) return 1.0f;
    return 1.0f - kt_histogram_compare(a, b);
}

float kt_histogram_overlap(const kt_histogram* a, const kt_histogram* b) {
    if (!a || !b || a->total == 0 || b->total == 0) return 0.0f;
    const float ta = (float)a->total, tb = (float)b->total;
    float sum = 0.0f;
    for (int i = 0; i < KT_HISTOGRAM_BINS; ++i) {
        const float pa = (float)a->bins[i] / ta;
        const float pb = (float)b->bins[i] / tb;
        sum += pa < pb ? pa : pb;
    }
    return sum;
}

/* bins[bin] / total, or refused for a null or empty histogram or a bin past the last. */
static float bin_share(const kt_histogram* hist, uint32_t bin, float refused) {
    if (!hist || hist->total == 0 || bin >= KT_HISTOGRAM_BINS) return refused;
    return (float)hist->bins[bin] / (float)hist->total;
}

float kt_histogram_get_bin(const kt_histogram* hist, uint32_t bin) { return bin_share(hist, bin, 0.0f); }

float kt_histogram_bin_pct(const kt_histogram* hist, uint32_t bin) { return bin_share(hist, bin, -1.0f); }

uint32_t kt_histogram_max_bin(const kt_histogram* hist, uint32_t* count) {
    if (!hist) return 0xFFFFFFFFu;
    uint32_t best = 0;
    for (uint32_t i = 1; i < KT_HISTOGRAM_BINS; ++i)
        if (hist->bins[i] > hist->bins[best]) best = i;
    if (count) *count = hist->bins[best];
    return best;
}

int kt_histogram_xy(const kt_histogram* hist, uint32_t bin, uint32_t* x, uint32_t* y) {
    if (!hist || !x || !y || bin >= KT_HISTOGRAM_BINS || hist->bins[bin] == 0) return 0;
    *x = hist->sum_x[bin] / hist->bins[bin];
    *y = hist->sum_y[bin] / hist->bins[bin];
    return 1;
}

int kt_histogram_print(const char* path, const kt_histogram* hist) {
    if (!path || !hist) return 0;
    FILE* f = fopen(path, "w");
    if (!f) return 0;
    int ok = fputs("Index,Color,Pct,Value\n", f) >= 0;
    for (uint32_t i = 0; i < KT_HISTOGRAM_BINS && ok; ++i) {
        const uint32_t rgb = kt_histogram_bin_to_rgb(i);
        const double pct = hist->total ? (double)hist->bins[i] / (double)hist->total : -1.0;
        ok = fprintf(f, "%d,#%02x%02x%02x,%f,%d\n", (int)i, rgb & 0xFF, (rgb >> 8) & 0xFF,
                     (rgb >> 16) & 0xFF, pct, (int)hist->bins[i]) > 0;
    }
    if (fclose(f) != 0) ok = 0;
    return ok ? 1 : 0;
}
