#include "kt_image_count.h"

float kt_image_count(const kt_bbox* box, const kt_image* image, unsigned char threshold,
                     uint32_t* count) {
    if (!box || !count || !kt_image_consistent(image) || image->channels != 1) return -1.0f;
    if (box->width == 0 || box->height == 0) return -1.0f;
    if (!kt_bbox_inside(box, image->width, image->height)) return -1.0f;
    uint32_t n = 0;
    for (uint32_t y = 0; y < box->height; ++y) {
        const unsigned char* row = image->data + kt_image_index(image, box->x, box->y + y);
        for (uint32_t x = 0; x < box->width; ++x) n += row[x] >= threshold ? 1u : 0u;
    }
    *count = n;
    return float(n) / float(uint64_t(box->width) * box->height);
}
