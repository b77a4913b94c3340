#include "kt_image_copy.h"

#include <cstring>

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
    // 64-bit sums: x + width must not wrap past the check.
    if (uint64_t(box->x) + box->width > source->width ||
        uint64_t(box->y) + box->height > source->height)
        return 0;
    if (source == destination) return 1;
    if (!kt_ensure_image(destination, source->width, source->height, source->channels)) return 0;
    const uint32_t ch = source->channels;
    const uint32_t row_bytes = box->width * ch;
    if (row_bytes == 0) return 1;
    for (uint32_t y = box->y; y < box->y + box->height; ++y) {
        const uint32_t off = kt_image_index(source, box->x, y);
        std::memmove(destination->data + off, source->data + off, row_bytes);
    }
    return 1;
}

int kt_crop_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != destination->channels) return 0;
    if (uint64_t(x) + destination->width > source->width ||
        uint64_t(y) + destination->height > source->height)
        return 0;
    if (source->data == destination->data) return 0;
    const uint32_t row_bytes = destination->width * destination->channels;
    for (uint32_t r = 0; r < destination->height; ++r) {
        std::memcpy(destination->data + size_t(r) * row_bytes,
                    source->data + kt_image_index(source, x, y + r), row_bytes);
    }
    return 1;
}

int kt_paste_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != destination->channels) return 0;
    if (uint64_t(x) + source->width > destination->width ||
        uint64_t(y) + source->height > destination->height)
        return 0;
    if (source->data == destination->data) return source->width == destination->width ? 1 : 0;
    const uint32_t row_bytes = source->width * source->channels;
    for (uint32_t r = 0; r < source->height; ++r) {
        std::memcpy(destination->data + kt_image_index(destination, x, y + r),
                    source->data + size_t(r) * row_bytes, row_bytes);
    }
    return 1;
}
