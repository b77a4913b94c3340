#include "kt_background_shadows.h"

#include <cstring>

#include "kt_background_args.h"
#include "kt_background_view.h"

namespace {

/* Tolerance of the ratio differences, as a share of the mean ratio. */
const float kShadowTolerance = 0.1f;

inline float absolute(float v) { return v < 0.0f ? -v : v; }

}  // namespace

int kt_background_compare_shadows(const kt_background* model, const kt_image* colour,
                                  const kt_image* mask, kt_image* output) {
    if (!kt_background_ready(model) || model->mode != KT_BG_MODE_BGR) return 0;
    if (!kt_image_consistent(colour) || colour->channels != 4) return 0;
    if (colour->width != model->width || colour->height != model->height) return 0;
    if (!kt_bg_is_plane(output, colour->width, colour->height)) return 0;
    if (mask && !kt_bg_is_plane(mask, colour->width, colour->height)) return 0;

    const uint32_t pixels = colour->width * colour->height;
    std::memset(output->data, 255, pixels);
    const unsigned char* in = colour->data;
    const kt_bg_view3* view = kt_bg_view_colour(model);
    for (uint32_t i = 0; i < pixels; ++i, in += 4) {
        if (mask && mask->data[i] == 0) continue;
        const int32_t r = in[2], g = in[1], b = in[0];
        const kt_bg_view3& tile = view[i / KT_BG_TILE_PIXELS];
        const uint32_t k = i % KT_BG_TILE_PIXELS;
        const int32_t mr = tile.mean[2][k], mg = tile.mean[1][k], mb = tile.mean[0][k];
        if (r <= KT_BG_SHADOW_MIN_LEVEL || g <= KT_BG_SHADOW_MIN_LEVEL ||
            b <= KT_BG_SHADOW_MIN_LEVEL)
            continue;
        if (r >= mr || g >= mg || b >= mb) continue;
        const float rr = static_cast<float>(r) / static_cast<float>(mr);
        const float rg = static_cast<float>(g) / static_cast<float>(mg);
        const float rb = static_cast<float>(b) / static_cast<float>(mb);
        const float t = (rr + rg + rb) / 3.0f * kShadowTolerance;
        const float drg = absolute(rr - rg), dgb = absolute(rg - rb);
        float value;
        if (drg >= dgb && drg < t)
            value = (1.0f - drg / t) * 255.0f;
        else if (dgb < t)
            value = (1.0f - dgb / t) * 255.0f;
        else
            continue;
        output->data[i] = static_cast<unsigned char>(value);
    }
    return 1;
}
