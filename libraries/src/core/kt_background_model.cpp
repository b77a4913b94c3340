#include "kt_background_model.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_background_view.h"

namespace {

// Floor of the two chroma channels (dist1, dist2) in a mode.
int32_t chroma_floor(int32_t mode) {
    return mode == KT_BG_MODE_LAB ? KT_BG_MIN_STDEV_CHROMA : KT_BG_MIN_STDEV;
}

void free_arrays(kt_background* model) {
    std::free(model->edge_avg);
    std::free(model->dist0);
    std::free(model->dist1);
    std::free(model->dist2);
    std::free(model->edge_time);
    model->edge_avg = nullptr;
    model->dist0 = nullptr;
    model->dist1 = nullptr;
    model->dist2 = nullptr;
    model->edge_time = nullptr;
}

// Records for every pixel, followed in the same block by zeroed room for the compact view when
// view_mode is a mode (for extra pixels too, so the view's last tile fits); -1: records only.
kt_distribution* new_distributions(uint32_t pixels, int32_t view_mode = -1) {
    size_t per_pixel = sizeof(kt_distribution);
    uint64_t count = pixels;
    if (view_mode >= 0) {
        per_pixel += kt_bg_view_bytes_per_pixel(view_mode);
        count += kt_bg_view_extra_pixels(view_mode);
    }
    if (count > SIZE_MAX) return nullptr;  // a 32-bit size_t
    kt_distribution* d =
        static_cast<kt_distribution*>(kt_calloc(static_cast<size_t>(count), per_pixel));
    if (d)
        for (uint32_t i = 0; i < pixels; ++i) kt_distribution_reset(&d[i]);
    return d;
}

}  // namespace

int kt_background_init(kt_background* model, uint32_t width, uint32_t height, int32_t mode) {
    if (!model || mode < KT_BG_MODE_GRAY || mode > KT_BG_MODE_LAB) return 0;
    if (model->initialized) kt_background_deinit(model);
    kt_background_fill_tables();
    std::memset(model, 0, sizeof(*model));
    model->weight = KT_BG_DEFAULT_WEIGHT;
    model->mode = mode;
    if (!kt_background_resize(model, width, height)) return 0;
    model->initialized = 1;
    return 1;
}

int kt_background_resize(kt_background* model, uint32_t width, uint32_t height) {
    if (!model) return 0;
    kt_background_fill_tables();
    if (model->initialized) kt_background_deinit(model);
    const uint64_t pixels64 = static_cast<uint64_t>(width) * height;
    if (pixels64 == 0 || pixels64 > UINT32_MAX) return 0;
    const uint32_t pixels = static_cast<uint32_t>(pixels64);

    model->width = width;
    model->height = height;
    // dist0's block also holds the compact view; zeroed, it already says "mean 0, untrained".
    bool ok = (model->dist0 = new_distributions(pixels, model->mode)) != nullptr;
    if (ok && model->mode > 0) {
        ok = (model->dist1 = new_distributions(pixels)) != nullptr &&
             (model->dist2 = new_distributions(pixels)) != nullptr;
    }
    ok = ok &&
         (model->edge_avg =
              static_cast<kt_running_avg*>(kt_calloc(pixels, sizeof(kt_running_avg)))) != nullptr &&
         (model->edge_time = static_cast<uint32_t*>(kt_calloc(pixels, sizeof(uint32_t)))) != nullptr;
    if (!ok) {
        free_arrays(model);
        model->width = 0;
        model->height = 0;
        return 0;
    }
    model->initialized = 1;
    return kt_background_set_weight(model, model->weight);
}

void kt_background_deinit(kt_background* model) {
    if (!model) return;
    model->width = 0;
    model->height = 0;
    free_arrays(model);
}

int kt_background_set_weight(kt_background* model, float w) {
    if (!model) return 0;
    if (model->initialized && model->dist0 && model->edge_avg) {
        const uint32_t pixels = model->width * model->height;
        for (uint32_t i = 0; i < pixels; ++i) {
            kt_running_avg_set_weight(&model->edge_avg[i], w);
            kt_distribution_set_weight(&model->dist0[i], w);
            kt_distribution_set_min_stdev(&model->dist0[i], KT_BG_MIN_STDEV);
        }
        if (model->mode > 0 && model->dist1 && model->dist2) {
            const int32_t floor = chroma_floor(model->mode);
            kt_bg_view3* view = kt_bg_view_colour(model);
            for (uint32_t i = 0; i < pixels; ++i) {
                kt_distribution_set_weight(&model->dist1[i], w);
                kt_distribution_set_min_stdev(&model->dist1[i], floor);
                kt_distribution_set_weight(&model->dist2[i], w);
                kt_distribution_set_min_stdev(&model->dist2[i], floor);
                kt_bg_view_set3(view, i, &model->dist0[i], &model->dist1[i], &model->dist2[i]);
            }
        }
    }
    model->weight = w;
    return 1;
}

int kt_background_valid_region(const kt_background* model, const kt_bbox* box) {
    if (!model || !box) return 0;
    return static_cast<uint64_t>(box->x) + box->width <= model->width &&
                   static_cast<uint64_t>(box->y) + box->height <= model->height
               ? 1
               : 0;
}

int kt_background_ready(const kt_background* model) {
    if (!model || !model->dist0 || !model->edge_avg || !model->edge_time) return 0;
    if (model->width == 0 || model->height == 0) return 0;
    if (model->mode > 0 && (!model->dist1 || !model->dist2)) return 0;
    return 1;
}

int kt_background_reset_region(kt_background* model, const kt_bbox* box) {
    if (!kt_background_ready(model) || !kt_background_valid_region(model, box)) return 0;
    kt_bg_view1* gray = kt_bg_view_gray(model);
    kt_bg_view3* colour = kt_bg_view_colour(model);
    for (uint32_t y = box->y; y < box->y + box->height; ++y) {
        const uint32_t row = y * model->width;
        for (uint32_t x = box->x; x < box->x + box->width; ++x) {
            model->dist0[row + x].fresh = 255;
            if (model->mode > 0) {
                model->dist1[row + x].fresh = 255;
                model->dist2[row + x].fresh = 255;
                kt_bg_view_set3(colour, row + x, &model->dist0[row + x], &model->dist1[row + x],
                                &model->dist2[row + x]);
            } else {
                kt_bg_view_set1(&gray[row + x], &model->dist0[row + x]);
            }
        }
    }
    return 1;
}
