// Helpers shared by the image tests: owned images, seeded random content, and comparators.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kt_alloc.h"
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
    void fill(unsigned char v) {
        if (img.data) std::memset(img.data, v, img.size);
    }
    bool all(unsigned char v) const {
        for (uint32_t i = 0; i < img.size; ++i)
            if (img.data[i] != v) return false;
        return true;
    }
};

// Fills with random bytes; when binary, every byte is 0 or 255 with the given share of 255.
inline void fill_random(kt_image* im, uint32_t seed, bool binary = false, double on_share = 0.5) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (uint32_t i = 0; i < im->size; ++i)
        im->data[i] = binary ? (u(rng) < on_share ? 255 : 0) : static_cast<unsigned char>(rng() & 0xFF);
}

inline std::vector<unsigned char> bytes(const kt_image* im) { return {im->data, im->data + im->size}; }

// -1 when the two buffers are equal in shape and content, else the first differing byte index (or
// -2 for a shape mismatch).
inline long first_difference(const kt_image* a, const kt_image* b) {
    if (a->width != b->width || a->height != b->height || a->channels != b->channels || a->size != b->size)
        return -2;
    for (uint32_t i = 0; i < a->size; ++i)
        if (a->data[i] != b->data[i]) return long(i);
    return -1;
}

// "" when every byte of im equals expected(x, y, c), else the first differing position as "x,y,c".
template <class F>
std::string mismatch(const kt_image* im, F expected) {
    for (uint32_t y = 0; y < im->height; ++y)
        for (uint32_t x = 0; x < im->width; ++x)
            for (uint32_t c = 0; c < im->channels; ++c)
                if (im->data[kt_image_index(im, x, y) + c] != expected(x, y, c))
                    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(c);
    return "";
}

// Runs f while the allocator fails once after `succeed` more successes; returns what f printed.
template <class F>
std::string with_alloc_failure(int succeed, F f) {
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(succeed);
    f();
    kt_alloc_fail_after(-1);
    return testing::internal::GetCapturedStdout();
}

}  // namespace kttest
