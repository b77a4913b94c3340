#include "kt_sobel.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Pixels x .. x + 7 of one row (x >= 1, x + 8 < width) with SSE2: every gradient lies within
// +-1020, so 16-bit lanes compute it exactly before it is widened to the 32-bit pairs.
inline void sobel8(const unsigned char* up, const unsigned char* mid, const unsigned char* down, uint32_t x,
                   int32_t* out) {
    const __m128i zero = _mm_setzero_si128();
    auto load = [&](const unsigned char* row, uint32_t at) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + at)), zero);
    };
    const __m128i a = load(up, x - 1), b = load(up, x), c = load(up, x + 1);
    const __m128i d = load(mid, x - 1), f = load(mid, x + 1);
    const __m128i g = load(down, x - 1), hh = load(down, x), i = load(down, x + 1);
    const __m128i gx = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(c, _mm_add_epi16(f, f)), i),
                                     _mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(d, d)), g));
    const __m128i gy = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(b, b)), c),
                                     _mm_add_epi16(_mm_add_epi16(g, _mm_add_epi16(hh, hh)), i));
    const __m128i lo = _mm_unpacklo_epi16(gx, gy), hi = _mm_unpackhi_epi16(gx, gy);  // (gx, gy) pairs
    __m128i* o = reinterpret_cast<__m128i*>(out + 2 * x);
    // Each 16-bit value doubled into a 32-bit lane and shifted back down: sign-extended.
    _mm_storeu_si128(o, _mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16));
    _mm_storeu_si128(o + 1, _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16));
    _mm_storeu_si128(o + 2, _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16));
    _mm_storeu_si128(o + 3, _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16));
}
#endif

}  // namespace

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
        uint32_t x = 1;
#if defined(__SSE2__)
        for (; x + 8 < w; x += 8) sobel8(up, mid, down, x, out);
#endif
        for (; x + 1 < w; ++x) {
            const int32_t a = up[x - 1], b = up[x], c = up[x + 1];
            const int32_t d = mid[x - 1], f = mid[x + 1];
            const int32_t g = down[x - 1], hh = down[x], i = down[x + 1];
            out[2 * x] = (c + 2 * f + i) - (a + 2 * d + g);
            out[2 * x + 1] = (a + 2 * b + c) - (g + 2 * hh + i);
        }
    }
    return 1;
}
