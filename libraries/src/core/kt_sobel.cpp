#include "kt_sobel.h"

#include <cstring>

int kt_sobel_image(const kt_image* source, int32_t* gradient, uint32_t pairs) {
    if (!gradient || !kt_image_consistent(source) || source->channels != 1) return 0;
    const uint32_t w = source->width, h = source->height;
    if (w < 3 || h < 3) return 0;
    const uint64_t n = uint64_t(w) * h;
    // 8 bytes per pixel must also fit a 32-bit size_t.
    if (n > pairs || n * 2 * sizeof(int32_t) > SIZE_MAX) return 0;
    const size_t row_pairs = size_t(w) * 2;
    std::memset(gradient, 0, row_pairs * sizeof(int32_t));
    std::memset(gradient + size_t(h - 1) * row_pairs, 0, row_pairs * sizeof(int32_t));
    for (uint32_t y = 1; y + 1 < h; ++y) {
        const unsigned char* up = source->data + size_t(y - 1) * w;
        const unsigned char* mid = up + w;
        const unsigned char* down = mid + w;
        int32_t* out = gradient + size_t(y) * row_pairs;
        out[0] = out[1] = 0;
        out[row_pairs - 2] = out[row_pairs - 1] = 0;
        for (uint32_t x = 1; x + 1 < w; ++x) {
            const int32_t a = up[x - 1], b = up[x], c = up[x + 1];
            const int32_t d = mid[x - 1], f = mid[x + 1];
            const int32_t g = down[x - 1], hh = down[x], i = down[x + 1];
            out[2 * x] = (c + 2 * f + i) - (a + 2 * d + g);
            out[2 * x + 1] = (a + 2 * b + c) - (g + 2 * hh + i);
        }
    }
    return 1;
}
