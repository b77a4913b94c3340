#include "kt_background_view.h"

#include "kt_background_model.h"

namespace {

// Pixels of a model whose arrays are present; 0 otherwise.
uint32_t view_pixels(const kt_background* model) {
    return kt_background_ready(model) ? model->width * model->height : 0;
}

}  // namespace

kt_bg_view1* kt_bg_view_gray(const kt_background* model) {
    if (!model || !model->dist0) return nullptr;
    return reinterpret_cast<kt_bg_view1*>(model->dist0 + model->width * model->height);
}

kt_bg_view3* kt_bg_view_colour(const kt_background* model) {
    if (!model || !model->dist0) return nullptr;
    return reinterpret_cast<kt_bg_view3*>(model->dist0 + model->width * model->height);
}

int kt_background_sync_view(kt_background* model) {
    const uint32_t pixels = view_pixels(model);
    if (pixels == 0) return 0;
    bool exact = true;
    if (model->mode == 0) {
        kt_bg_view1* v = kt_bg_view_gray(model);
        for (uint32_t i = 0; i < pixels; ++i) {
            exact = exact && kt_bg_view_representable(&model->dist0[i]);
            kt_bg_view_set1(&v[i], &model->dist0[i]);
        }
    } else {
        kt_bg_view3* v = kt_bg_view_colour(model);
        for (uint32_t i = 0; i < pixels; ++i) {
            exact = exact && kt_bg_view_representable(&model->dist0[i]) &&
                    kt_bg_view_representable(&model->dist1[i]) &&
                    kt_bg_view_representable(&model->dist2[i]);
            kt_bg_view_set3(v, i, &model->dist0[i], &model->dist1[i], &model->dist2[i]);
        }
    }
    return exact ? 1 : 0;
}

int kt_background_check_view(const kt_background* model) {
    const uint32_t pixels = view_pixels(model);
    if (pixels == 0) return 0;
    if (model->mode == 0) {
        const kt_bg_view1* v = kt_bg_view_gray(model);
        for (uint32_t i = 0; i < pixels; ++i) {
            const kt_distribution* d = &model->dist0[i];
            if (!kt_bg_view_representable(d) || v[i].scale != kt_bg_view_scale(d) ||
                v[i].mean != d->mean)
                return 0;
        }
        return 1;
    }
    const kt_bg_view3* v = kt_bg_view_colour(model);
    for (uint32_t i = 0; i < pixels; ++i) {
        const kt_bg_view3& t = v[i / KT_BG_TILE_PIXELS];
        const uint32_t k = i % KT_BG_TILE_PIXELS;
        const kt_distribution* d[3] = {&model->dist0[i], &model->dist1[i], &model->dist2[i]};
        for (int c = 0; c < 3; ++c)
            if (!kt_bg_view_representable(d[c]) || t.scale[c][k] != kt_bg_view_scale(d[c]) ||
                t.mean[c][k] != d[c]->mean || t.floor[c][k] != kt_bg_view_floor(d[c]))
                return 0;
    }
    return 1;
}
