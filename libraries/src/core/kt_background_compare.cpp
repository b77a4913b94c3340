#include "kt_background_compare.h"

#include "kt_background_args.h"
#include "kt_background_view.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

/* Tenths of a deviation up to which a sample still matches fully (likelihood 255, difference 0). */
const uint32_t kFullMatchTenths = 10;

#if defined(__SSE2__)
/* Distances in tenths of a deviation of eight samples from eight means, both in 16-bit lanes, at
 * eight scales, capped at the table's last entry: exact as in gray16. */
inline __m128i tenths8(__m128i x, __m128i mean, __m128i scale) {
    const __m128i distance = _mm_or_si128(_mm_subs_epu16(x, mean), _mm_subs_epu16(mean, x));
    const __m128i t = _mm_mulhi_epu16(_mm_slli_epi16(scale, 2), _mm_slli_epi16(distance, 7));
    return _mm_min_epi16(t, _mm_set1_epi16(KT_BG_COMPARE_ENTRIES));
}

/* Sixteen gray pixels against their view entries: the differences (255 - likelihood) go to out, masked
 * out lanes (gate 0) become 0, and the result is the number of non-zero differences. Distances in
 * tenths of a deviation are computed in 16-bit lanes: (4 scale x 128 distance) >> 16 equals
 * (scale x distance) >> 7 exactly, as the view clamps scale below 2^14. Only groups with a pixel off
 * by more than a full match take the table, one lane at a time. */
inline uint32_t gray16(const kt_bg_view1* view, const unsigned char* in, const unsigned char* gate,
                       const unsigned char* difference_table, unsigned char* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low16 = _mm_set1_epi32(0xFFFF), low8 = _mm_set1_epi32(0xFF);
    const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i tenths[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(view + 8 * half));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(view + 8 * half + 4));
        // Entries are {scale 16 bits, mean 8, spare 8}; both values fit signed 16-bit packing.
        const __m128i scale = _mm_packs_epi32(_mm_and_si128(a, low16), _mm_and_si128(b, low16));
        const __m128i mean = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 16), low8),
                                             _mm_and_si128(_mm_srli_epi32(b, 16), low8));
        const __m128i x = half == 0 ? _mm_unpacklo_epi8(samples, zero) : _mm_unpackhi_epi8(samples, zero);
        tenths[half] = tenths8(x, mean, scale);
    }
    __m128i t = _mm_packus_epi16(tenths[0], tenths[1]);
    if (gate) {
        const __m128i open = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(gate)), zero);
        t = _mm_andnot_si128(open, t);  // a masked-out lane becomes a full match
    }
    uint32_t changed = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpgt_epi8(t, _mm_set1_epi8(static_cast<char>(kFullMatchTenths)))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), zero);
    if (changed == 0) return 0;
    alignas(16) unsigned char lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), t);
    const uint32_t found = static_cast<uint32_t>(__builtin_popcount(changed));
    for (; changed != 0; changed &= changed - 1) {
        const int k = __builtin_ctz(changed);
        out[k] = difference_table[lanes[k]];
    }
    return found;
}

/* One tile (eight blue-green-red pixels): differences to out (0 where all three channels match
 * fully or the gate is 0), and the number of non-zero ones. */
inline uint32_t colour8(const kt_bg_view3& tile, const unsigned char* in, const unsigned char* gate,
                        unsigned char* out) {
    const __m128i zero = _mm_setzero_si128(), low8 = _mm_set1_epi32(0xFF);
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i full_match = _mm_set1_epi16(static_cast<short>(kFullMatchTenths));
    __m128i tenths[3];
    __m128i changed = zero;
    for (int c = 0; c < 3; ++c) {
        // Byte c of each of the eight pixels, widened to 16 bits.
        const __m128i x = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(first, 8 * c), low8),
                                          _mm_and_si128(_mm_srli_epi32(second, 8 * c), low8));
        const __m128i scale = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tile.scale[c]));
        const __m128i mean =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(tile.mean[c])), zero);
        tenths[c] = tenths8(x, mean, scale);
        changed = _mm_or_si128(changed, _mm_cmpgt_epi16(tenths[c], full_match));
    }
    if (gate) {
        const __m128i open = _mm_cmpeq_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(gate)), zero), zero);
        changed = _mm_andnot_si128(open, changed);
    }
    uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(changed, zero)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), zero);
    if (bits == 0) return 0;
    alignas(16) uint16_t lanes[3][KT_BG_TILE_PIXELS];
    for (int c = 0; c < 3; ++c) _mm_store_si128(reinterpret_cast<__m128i*>(lanes[c]), tenths[c]);
    const uint32_t found = static_cast<uint32_t>(__builtin_popcount(bits));
    for (; bits != 0; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        const uint32_t sum = kt_bg_compare_table[lanes[0][k]] + kt_bg_compare_table[lanes[1][k]] +
                             kt_bg_compare_table[lanes[2][k]];
        out[k] = static_cast<unsigned char>(KT_BG_BACKGROUND - kt_bg_average_table[sum]);
    }
    return found;
}
#endif

// 255 - likelihood of one gray pixel against its view entry.
inline uint32_t gray_diff(const kt_bg_view1& v, uint32_t sample) {
    return KT_BG_BACKGROUND - kt_bg_view_likelihood(v.scale, v.mean, sample);
}

void compare_gray(const kt_background* model, const kt_image* image, const kt_image* mask,
                  unsigned char* out, uint32_t* count) {
    const kt_bg_view1* view = kt_bg_view_gray(model);
    const unsigned char* in = image->data;
    const uint32_t pixels = image->width * image->height;
    uint32_t changed = 0;
    uint32_t i = 0;
#if defined(__SSE2__)
    unsigned char difference_table[KT_BG_COMPARE_ENTRIES + 1];
    for (uint32_t t = 0; t <= KT_BG_COMPARE_ENTRIES; ++t)
        difference_table[t] = static_cast<unsigned char>(KT_BG_BACKGROUND - kt_bg_compare_table[t]);
    const unsigned char* gate = mask ? mask->data : nullptr;
    for (; i + 16 <= pixels; i += 16)
        changed += gray16(view + i, in + i, gate ? gate + i : nullptr, difference_table, out + i);
#endif
    if (!mask) {
        // Eight independent pixels per step keep several table lookups in flight.
        for (; i + 8 <= pixels; i += 8) {
            const uint32_t d0 = gray_diff(view[i + 0], in[i + 0]);
            const uint32_t d1 = gray_diff(view[i + 1], in[i + 1]);
            const uint32_t d2 = gray_diff(view[i + 2], in[i + 2]);
            const uint32_t d3 = gray_diff(view[i + 3], in[i + 3]);
            const uint32_t d4 = gray_diff(view[i + 4], in[i + 4]);
            const uint32_t d5 = gray_diff(view[i + 5], in[i + 5]);
            const uint32_t d6 = gray_diff(view[i + 6], in[i + 6]);
            const uint32_t d7 = gray_diff(view[i + 7], in[i + 7]);
            out[i + 0] = static_cast<unsigned char>(d0);
            out[i + 1] = static_cast<unsigned char>(d1);
            out[i + 2] = static_cast<unsigned char>(d2);
            out[i + 3] = static_cast<unsigned char>(d3);
            out[i + 4] = static_cast<unsigned char>(d4);
            out[i + 5] = static_cast<unsigned char>(d5);
            out[i + 6] = static_cast<unsigned char>(d6);
            out[i + 7] = static_cast<unsigned char>(d7);
            changed += (d0 != 0) + (d1 != 0) + (d2 != 0) + (d3 != 0) + (d4 != 0) + (d5 != 0) +
                       (d6 != 0) + (d7 != 0);
        }
        for (; i < pixels; ++i) {
            const uint32_t d = gray_diff(view[i], in[i]);
            out[i] = static_cast<unsigned char>(d);
            changed += d != 0;
        }
    } else {
        // Masked-out pixels are written 0 here rather than cleared beforehand: one pass over diff.
        const unsigned char* mask_bytes = mask->data;
        for (; i < pixels; ++i) {
            const uint32_t d = mask_bytes[i] != 0 ? gray_diff(view[i], in[i]) : 0;
            out[i] = static_cast<unsigned char>(d);
            changed += d != 0;
        }
    }
    *count += changed;
}

}  // namespace

int kt_background_compare_bgr(kt_background* model, const kt_image* image, const kt_image* mask,
                              uint32_t reserved, kt_image* diff, uint32_t* count) {
    (void)reserved;
    if (!kt_bg_compare_args_ok(model, image, mask, diff, count) || model->mode <= 0) return 0;
    const kt_bg_view3* view = kt_bg_view_colour(model);
    const unsigned char* in = image->data;
    const unsigned char* gate = mask ? mask->data : nullptr;
    unsigned char* out = diff->data;
    const uint32_t pixels = image->width * image->height;
    uint32_t changed = 0;
    uint32_t i = 0;
#if defined(__SSE2__)
    for (; i + KT_BG_TILE_PIXELS <= pixels; i += KT_BG_TILE_PIXELS, in += 4 * KT_BG_TILE_PIXELS)
        changed += colour8(view[i / KT_BG_TILE_PIXELS], in, gate ? gate + i : nullptr, out + i);
#endif
    for (; i < pixels; ++i, in += 4) {
        if (gate && gate[i] == 0) {
            out[i] = 0;
            continue;
        }
        const kt_bg_view3& v = view[i / KT_BG_TILE_PIXELS];
        const uint32_t k = i % KT_BG_TILE_PIXELS;
        const uint32_t lr = kt_bg_view_likelihood(v.scale[2][k], v.mean[2][k], in[2]);
        const uint32_t lg = kt_bg_view_likelihood(v.scale[1][k], v.mean[1][k], in[1]);
        const uint32_t lb = kt_bg_view_likelihood(v.scale[0][k], v.mean[0][k], in[0]);
        if ((lr & lg & lb) < KT_BG_BACKGROUND) {
            out[i] = static_cast<unsigned char>(KT_BG_BACKGROUND - kt_bg_average_table[lr + lg + lb]);
            ++changed;
        } else {
            out[i] = 0;
        }
    }
    *count += changed;
    return 1;
}

int kt_background_compare(kt_background* model, const kt_image* image, const kt_image* mask,
                          uint32_t reserved, kt_image* diff, uint32_t* count) {
    if (!kt_bg_compare_args_ok(model, image, mask, diff, count)) return 0;
    switch (model->mode) {
        case KT_BG_MODE_GRAY:
            *count = 0;
            // compare_gray writes every byte of diff (diff has exactly one byte per pixel).
            compare_gray(model, image, mask, diff->data, count);
            return 1;
        case KT_BG_MODE_BGR:
            *count = 0;
            return kt_background_compare_bgr(model, image, mask, reserved, diff, count);
        case KT_BG_MODE_LAB:
            return kt_background_compare_lab(model, image, mask, reserved, diff, count);
        default:
            return 0;
    }
}
