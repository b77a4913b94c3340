#include "kt_image_copy.h"

#include <cstring>

namespace {

// Copies a width x height block of pixels from (sx, sy) of src to (dx, dy) of dst, row by row. Both
// have the same channel count and the caller has checked that the block lies inside both. memmove:
// the box copy may run within one buffer.
void copy_block(const kt_image* src, uint32_t sx, uint32_t sy, kt_image* dst, uint32_t dx, uint32_t dy,
                uint32_t width, uint32_t height) {
    const size_t row_bytes = size_t(width) * src->channels;
    if (row_bytes == 0) return;
    for (uint32_t r = 0; r < height; ++r)
        std::memmove(dst->data + kt_image_index(dst, dx, dy + r), src->data + kt_image_index(src, sx, sy + r),
                     row_bytes);
}

}  // namespace

int kt_copy_image(const kt_image* source, kt_image* destination) {
    if (!destination || !kt_image_consistent(source)) return 0;
    if (source == destination) return 1;
    if (destination->size != source->size || !destination->data) {
        kt_free_image(destination);
        if (!kt_init_image(destination, source->width, source->height, source->channels)) return 0;
    }
    destination->width = source->width;
    destination->height = source->height;
    destination->channels = source->channels;
    std::memcpy(destination->data, source->data, source->size);
    return 1;
}

int kt_copy_image_roi(const kt_image* source, const kt_bbox* box, kt_image* destination) {
    if (!box || !destination || !kt_image_consistent(source)) return 0;
    if (!kt_bbox_inside(box, source->width, source->height)) return 0;
    if (source == destination) return 1;
    if (!kt_ensure_image(destination, source->width, source->height, source->channels)) return 0;
    copy_block(source, box->x, box->y, destination, box->x, box->y, box->width, box->height);
    return 1;
}

int kt_crop_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != destination->channels) return 0;
    const kt_bbox region = {x, y, destination->width, destination->height};
    if (!kt_bbox_inside(&region, source->width, source->height)) return 0;
    if (source->data == destination->data) return 0;
    copy_block(source, x, y, destination, 0, 0, destination->width, destination->height);
    return 1;
}

int kt_paste_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != destination->channels) return 0;
    const kt_bbox region = {x, y, source->width, source->height};
    if (!kt_bbox_inside(&region, destination->width, destination->height)) return 0;
    if (source->data == destination->data) return source->width == destination->width ? 1 : 0;
    copy_block(source, 0, 0, destination, x, y, source->width, source->height);
    return 1;
}
