#include "kt_background_update.h"

#include <cmath>
#include <cstdlib>

#include "kt_alloc.h"
#include "kt_background_args.h"
#include "kt_background_edges.h"
#include "kt_background_view.h"
#include "kt_sobel.h"
#include "kt_tick.h"

namespace {

/* Smallest frame side the model learns from: the gradient needs an interior. */
const uint32_t kMinSide = 4;

void update_gray(kt_background* model, const unsigned char* in, const unsigned char* gate,
                 uint32_t pixels) {
    kt_distribution* d0 = model->dist0;
    kt_bg_view1* view = kt_bg_view_gray(model);
    for (uint32_t i = 0; i < pixels; ++i) {
        if (gate[i] == 0) continue;
        kt_distribution_update(&d0[i], in[i]);
        kt_bg_view_set1(&view[i], &d0[i]);
    }
}

void update_colour(kt_background* model, const unsigned char* in, const unsigned char* gate,
                   uint32_t pixels) {
    kt_distribution* d0 = model->dist0;
    kt_distribution* d1 = model->dist1;
    kt_distribution* d2 = model->dist2;
    kt_bg_view3* view = kt_bg_view_colour(model);
    for (uint32_t i = 0; i < pixels; ++i, in += 4) {
        kt_distribution_prefetch<1>(d0, d1, d2, i, pixels);
        if (gate[i] == 0) continue;
        kt_distribution_update(&d2[i], in[2]);
        kt_distribution_update(&d1[i], in[1]);
        kt_distribution_update(&d0[i], in[0]);
        kt_bg_view_learn3(view, i, &d0[i], &d1[i], &d2[i]);
    }
}

}  // namespace

int kt_background_update_edges(kt_background* model, const kt_image* gray, const kt_image* mask) {
    if (!kt_background_ready(model) || model->width < 3 || model->height < 3) return 0;
    if (!kt_bg_is_plane(gray, model->width, model->height)) return 0;
    if (!kt_bg_is_plane(mask, model->width, model->height)) return 0;
    const uint32_t pixels = model->width * model->height;
    int32_t* gradient = static_cast<int32_t*>(kt_calloc(pixels, 2 * sizeof(int32_t)));
    if (!gradient) return 0;
    if (!kt_sobel_image(gray, gradient, pixels)) {
        std::free(gradient);
        return 0;
    }
    const uint32_t now = kt_tickcount();
    const uint32_t stale_before = now - KT_BG_EDGE_TIMEOUT_MS;  // wraps on purpose below 2000
    for (uint32_t i = 0; i < pixels; ++i) {
        if (mask->data[i] == 0) continue;
        const int32_t gx = gradient[2 * i], gy = gradient[2 * i + 1];
        kt_running_avg* avg = &model->edge_avg[i];
        if (std::abs(gx) + std::abs(gy) <= KT_BG_EDGE_STRENGTH) {
            if (model->edge_time[i] < stale_before) avg->value = 0.0f;
            continue;
        }
        const float angle = static_cast<float>(kt_bg_edge_angle(gx, gy));
        if (avg->value == 0.0f) {
            avg->value = angle;
        } else if (avg->count == 0) {
            avg->value = angle;
            avg->count = 1;
        } else {
            avg->value = angle * avg->weight + avg->value * avg->keep;
        }
        model->edge_time[i] = now;
    }
    std::free(gradient);
    return 1;
}

int kt_background_update(kt_background* model, const kt_image* gray, const kt_image* colour,
                         const kt_image* mask) {
    if (!model || !mask) return 0;
    const bool has_gray = gray && gray->data && gray->channels == 1;
    const bool has_colour = colour && colour->data && colour->channels == 4;
    if (has_gray && !kt_image_consistent(gray)) return 0;
    if (has_colour && !kt_image_consistent(colour)) return 0;
    if (model->track_edges && !has_gray) return 0;
    if (model->mode > 0 && !has_colour) return 0;
    if (model->mode == 0 && !has_gray) return 0;
    if (kt_bg_mode_channels(model->mode) == 0) return 0;
    if (model->mode > 0 && has_gray &&
        (gray->width != colour->width || gray->height != colour->height))
        return 0;
    const kt_image* shape = has_gray ? gray : colour;
    const uint32_t width = shape->width, height = shape->height;
    if (width < kMinSide || height < kMinSide) return 0;
    if (!kt_bg_is_plane(mask, width, height)) return 0;

    if (width != model->width || height != model->height || !kt_background_ready(model)) {
        if (!kt_background_resize(model, width, height)) return 0;
    }
    if (model->track_edges && !kt_background_update_edges(model, gray, mask)) return 0;

    const uint32_t pixels = width * height;
    if (model->mode == 0)
        update_gray(model, gray->data, mask->data, pixels);
    else
        update_colour(model, colour->data, mask->data, pixels);
    return 1;
}
