#include "kt_image_scale.h"

#include <cstring>

int kt_scale_image(const kt_image* source, kt_image* destination) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != destination->channels) return 0;
    if (source->data == destination->data) return 0;
    const uint32_t ch = source->channels;
    const float rx = float(source->width) / float(destination->width);
    const float ry = float(source->height) / float(destination->height);
    unsigned char* out = destination->data;
    for (uint32_t y = 0; y < destination->height; ++y) {
        const uint32_t sy = uint32_t(float(y) * ry);
        for (uint32_t x = 0; x < destination->width; ++x, out += ch) {
            const uint32_t sx = uint32_t(float(x) * rx);
            // Float rounding may land one past the edge; that pixel reads as zero.
            if (sx >= source->width || sy >= source->height) {
                std::memset(out, 0, ch);
            } else {
                std::memcpy(out, source->data + kt_image_index(source, sx, sy), ch);
            }
        }
    }
    return 1;
}

int kt_shrink_image(const kt_image* source, kt_image* destination) {
    if (!destination || !kt_image_consistent(source)) return 0;
    if (source->width < 2 || source->height < 2) return 0;
    if (destination->data && destination->channels != source->channels) return 0;
    if (source->data == destination->data) return 0;
    const uint32_t ch = source->channels;
    const uint32_t dw = source->width / 2, dh = source->height / 2;
    if (!kt_ensure_image(destination, dw, dh, ch)) return 0;
    unsigned char* out = destination->data;
    for (uint32_t y = 0; y < dh; ++y) {
        const unsigned char* in = source->data + kt_image_index(source, 0, 2 * y);
        if (ch == 1) {
            for (uint32_t x = 0; x < dw; ++x) out[x] = in[2 * x];
            out += dw;
        } else {
            for (uint32_t x = 0; x < dw; ++x, out += ch, in += 2 * ch) std::memcpy(out, in, ch);
        }
    }
    return 1;
}

int kt_grow_image(const kt_image* source, kt_image* destination) {
    if (!destination || !kt_image_consistent(source)) return 0;
    if (source->data == destination->data) return 0;
    const uint64_t dw = uint64_t(source->width) * 2, dh = uint64_t(source->height) * 2;
    uint32_t bytes = 0;
    if (dw > UINT32_MAX || dh > UINT32_MAX ||
        !kt_image_bytes(uint32_t(dw), uint32_t(dh), source->channels, &bytes))
        return 0;
    if (!kt_ensure_image(destination, uint32_t(dw), uint32_t(dh), source->channels)) return 0;
    const uint32_t ch = source->channels;
    const size_t out_row = size_t(dw) * ch;
    for (uint32_t y = 0; y < source->height; ++y) {
        const unsigned char* in = source->data + kt_image_index(source, 0, y);
        unsigned char* out = destination->data + size_t(2 * y) * out_row;
        unsigned char* o = out;
        for (uint32_t x = 0; x < source->width; ++x, in += ch, o += 2 * ch) {
            std::memcpy(o, in, ch);
            std::memcpy(o + ch, in, ch);
        }
        std::memcpy(out + out_row, out, out_row);
    }
    return 1;
}
