#include "kt_channels.h"

#include <cstring>

int kt_inflate_image(const kt_image* source, kt_image* destination) {
    if (!destination || !kt_image_consistent(source) || source->channels != 3) return 0;
    if (source->data == destination->data) return 0;
    uint32_t bytes = 0;
    if (!kt_image_bytes(source->width, source->height, 4, &bytes)) return 0;
    if (!kt_ensure_image(destination, source->width, source->height, 4)) return 0;
    const unsigned char* in = source->data;
    unsigned char* out = destination->data;
    const uint32_t n = source->width * source->height;
    for (uint32_t i = 0; i < n; ++i, in += 3, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0;
    }
    return 1;
}

int kt_add_alpha(const kt_image* source, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != 1 || destination->channels != 4) return 0;
    if (source->width != destination->width || source->height != destination->height) return 0;
    const unsigned char* in = source->data;
    unsigned char* out = destination->data + 3;
    for (uint32_t i = 0; i < source->size; ++i, out += 4) *out = in[i];
    return 1;
}

int kt_extract_channel(const kt_image* source, kt_image* destination, uint32_t channel,
                       unsigned char threshold) {
    if (!destination || !kt_image_consistent(source) || source->channels != 4 || channel > 3)
        return 0;
    if (source->data == destination->data) return 0;
    if (!kt_ensure_image(destination, source->width, source->height, 1)) return 0;
    const unsigned char* in = source->data + channel;
    unsigned char* out = destination->data;
    for (uint32_t i = 0; i < destination->size; ++i, in += 4) {
        const unsigned char v = *in;
        out[i] = v > threshold ? v : 0;
    }
    return 1;
}

int kt_fill_border(kt_image* image, uint32_t border, unsigned char value) {
    if (!kt_image_consistent(image) || image->channels != 1) return 0;
    if (border < 1 || uint64_t(border) * 2 > image->height || uint64_t(border) * 2 > image->width)
        return 0;
    const uint32_t w = image->width, h = image->height;
    std::memset(image->data, value, size_t(border) * w);
    std::memset(image->data + size_t(h - border) * w, value, size_t(border) * w);
    for (uint32_t y = border; y < h - border; ++y) {
        unsigned char* row = image->data + size_t(y) * w;
        std::memset(row, value, border);
        std::memset(row + w - border, value, border);
    }
    return 1;
}
