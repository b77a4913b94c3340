#include "kt_background_compare.h"

#include <cstring>

#include "kt_background_args.h"

namespace {

// 255 - likelihood and whether the pixel counts, for one gray pixel.
inline uint32_t gray_diff(const kt_distribution* d, uint32_t sample) {
    return KT_BG_BACKGROUND - kt_distribution_likelihood(d, static_cast<int32_t>(sample));
}

void compare_gray(const kt_background* model, const kt_image* image, const kt_image* mask,
                  unsigned char* out, uint32_t* count) {
    const kt_distribution* dist = model->dist0;
    const unsigned char* in = image->data;
    const uint32_t pixels = image->width * image->height;
    uint32_t changed = 0;
    uint32_t i = 0;
    if (!mask) {
        // Eight independent pixels per step keep several table lookups in flight.
        for (; i + 8 <= pixels; i += 8) {
            const uint32_t d0 = gray_diff(&dist[i + 0], in[i + 0]);
            const uint32_t d1 = gray_diff(&dist[i + 1], in[i + 1]);
            const uint32_t d2 = gray_diff(&dist[i + 2], in[i + 2]);
            const uint32_t d3 = gray_diff(&dist[i + 3], in[i + 3]);
            const uint32_t d4 = gray_diff(&dist[i + 4], in[i + 4]);
            const uint32_t d5 = gray_diff(&dist[i + 5], in[i + 5]);
            const uint32_t d6 = gray_diff(&dist[i + 6], in[i + 6]);
            const uint32_t d7 = gray_diff(&dist[i + 7], in[i + 7]);
            out[i + 0] = static_cast<unsigned char>(d0);
            out[i + 1] = static_cast<unsigned char>(d1);
            out[i + 2] = static_cast<unsigned char>(d2);
            out[i + 3] = static_cast<unsigned char>(d3);
            out[i + 4] = static_cast<unsigned char>(d4);
            out[i + 5] = static_cast<unsigned char>(d5);
            out[i + 6] = static_cast<unsigned char>(d6);
            out[i + 7] = static_cast<unsigned char>(d7);
            changed += (d0 != 0) + (d1 != 0) + (d2 != 0) + (d3 != 0) + (d4 != 0) + (d5 != 0) +
                       (d6 != 0) + (d7 != 0);
        }
        for (; i < pixels; ++i) {
            const uint32_t d = gray_diff(&dist[i], in[i]);
            out[i] = static_cast<unsigned char>(d);
            changed += d != 0;
        }
    } else {
        const unsigned char* gate = mask->data;
        for (; i < pixels; ++i) {
            if (gate[i] == 0) continue;
            const uint32_t d = gray_diff(&dist[i], in[i]);
            out[i] = static_cast<unsigned char>(d);
            changed += d != 0;
        }
    }
    *count += changed;
}

}  // namespace

int kt_background_compare_bgr(kt_background* model, const kt_image* image, const kt_image* mask,
                              uint32_t reserved, kt_image* diff, uint32_t* count) {
    (void)reserved;
    if (!kt_bg_compare_args_ok(model, image, mask, diff, count) || model->mode <= 0) return 0;
    const kt_distribution* d0 = model->dist0;
    const kt_distribution* d1 = model->dist1;
    const kt_distribution* d2 = model->dist2;
    const unsigned char* in = image->data;
    const unsigned char* gate = mask ? mask->data : nullptr;
    unsigned char* out = diff->data;
    const uint32_t pixels = image->width * image->height;
    uint32_t changed = 0;
    for (uint32_t i = 0; i < pixels; ++i, in += 4) {
        if (gate && gate[i] == 0) {
            out[i] = 0;
            continue;
        }
        kt_distribution_prefetch<0>(d0, d1, d2, i, pixels);
        const uint32_t lr = kt_distribution_likelihood(&d2[i], in[2]);
        const uint32_t lg = kt_distribution_likelihood(&d1[i], in[1]);
        const uint32_t lb = kt_distribution_likelihood(&d0[i], in[0]);
        if ((lr & lg & lb) < KT_BG_BACKGROUND) {
            out[i] = static_cast<unsigned char>(KT_BG_BACKGROUND - kt_bg_average_table[lr + lg + lb]);
            ++changed;
        } else {
            out[i] = 0;
        }
    }
    *count += changed;
    return 1;
}

int kt_background_compare(kt_background* model, const kt_image* image, const kt_image* mask,
                          uint32_t reserved, kt_image* diff, uint32_t* count) {
    if (!kt_bg_compare_args_ok(model, image, mask, diff, count)) return 0;
    switch (model->mode) {
        case KT_BG_MODE_GRAY:
            *count = 0;
            // Without a mask every pixel is written anyway.
            if (mask) std::memset(diff->data, 0, diff->size);
            compare_gray(model, image, mask, diff->data, count);
            return 1;
        case KT_BG_MODE_BGR:
            *count = 0;
            return kt_background_compare_bgr(model, image, mask, reserved, diff, count);
        case KT_BG_MODE_LAB:
            return kt_background_compare_lab(model, image, mask, reserved, diff, count);
        default:
            return 0;
    }
}
