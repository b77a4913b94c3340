#include "kt_background_args.h"

namespace {

// Data present and exactly width x height bytes (any width/height split of them is accepted, as the
// comparison walks the buffers linearly).
int has_bytes(const kt_image* image, uint32_t width, uint32_t height) {
    return kt_image_valid(image) && image->size == static_cast<uint64_t>(width) * height ? 1 : 0;
}

}  // namespace

uint32_t kt_bg_mode_channels(int32_t mode) {
    switch (mode) {
        case KT_BG_MODE_GRAY: return 1;
        case KT_BG_MODE_BGR:
        case KT_BG_MODE_LAB: return 4;
        default: return 0;
    }
}

int kt_bg_is_plane(const kt_image* image, uint32_t width, uint32_t height) {
    return kt_image_consistent(image) && image->channels == 1 && image->width == width &&
                   image->height == height
               ? 1
               : 0;
}

int kt_bg_compare_args_ok(const kt_background* model, const kt_image* image, const kt_image* mask,
                          const kt_image* diff, const uint32_t* count) {
    if (!kt_background_ready(model) || !diff || !count) return 0;
    if (!kt_image_consistent(image) || image->channels != kt_bg_mode_channels(model->mode)) return 0;
    if (image->width != model->width || image->height != model->height) return 0;
    if (!has_bytes(diff, image->width, image->height)) return 0;
    if (mask && !has_bytes(mask, image->width, image->height)) return 0;
    return 1;
}
