// Helpers shared by the image tests: owned images, seeded random content, and a comparator that
// reports the first differing byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "kt_image.h"

namespace kttest {

// A kt_image that frees itself.
struct Image {
    kt_image img{nullptr, 0, 0, 0, 0};
    Image() = default;
    Image(uint32_t w, uint32_t h, uint32_t c) { kt_init_image(&img, w, h, c); }
    ~Image() { kt_free_image(&img); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    kt_image* get() { return &img; }
    unsigned char& at(uint32_t x, uint32_t y, uint32_t c = 0) {
        return img.data[kt_image_index(&img, x, y) + c];
    }
    // Every byte set to v.
    void fill(unsigned char v) {
        if (img.data)
            std::memset(img.data, v, img.size);
    }
    // Whether every byte equals v.
    bool all(unsigned char v) const {
        for (uint32_t i = 0; i < img.size; ++i)
            if (img.data[i] != v)
                return false;
        return true;
    }
};

// Fills with random bytes; when binary, every byte is 0 or 255 with the given share of 255.
inline void fill_random(kt_image* im, uint32_t seed, bool binary = false, double on_share = 0.5) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (uint32_t i = 0; i < im->size; ++i) {
        if (binary)
            im->data[i] = u(rng) < on_share ? 255 : 0;
        else
            im->data[i] = static_cast<unsigned char>(rng() & 0xFF);
    }
}

// -1 when the two buffers are equal in shape and content, else the first differing byte index (or
// -2 for a shape mismatch).
inline long first_difference(const kt_image* a, const kt_image* b) {
    if (a->width != b->width || a->height != b->height || a->channels != b->channels || a->size != b->size)
        return -2;
    for (uint32_t i = 0; i < a->size; ++i)
        if (a->data[i] != b->data[i])
            return long(i);
    return -1;
}

}  // namespace kttest
