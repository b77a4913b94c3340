#include "kt_threshold.h"

#include <cstring>

#include "kt_bytes16.h"

int kt_threshold_inittable(unsigned char* table, uint32_t length, uint32_t threshold) {
    if (!table || length != 256) return 0;
    const uint32_t zeros = threshold > 256 ? 256 : threshold;
    std::memset(table, 0, zeros);
    std::memset(table + zeros, 255, 256 - zeros);
    return 1;
}

namespace {

/* The threshold t of a table that kt_threshold_inittable could have made (0 below t, 255 from t on,
 * t in 0..256); -1 for any other table. */
int step_threshold(const unsigned char* table) {
    int t = 0;
    while (t < 256 && table[t] == 0) ++t;
    for (int k = t; k < 256; ++k)
        if (table[k] != 255) return -1;
    return t;
}

}  // namespace

int kt_threshold_gray(const unsigned char* table, uint32_t length, const kt_image* source,
                      kt_image* destination) {
    if (!table || length != 256) return 0;
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != 1 || destination->size != source->size) return 0;
    const unsigned char* in = source->data;
    unsigned char* out = destination->data;
    const uint32_t n = source->size;
    const int t = step_threshold(table);
    if (t > 0 && t < 256) {
        // A plain step: one comparison per 16 bytes instead of one lookup per byte, same result.
        // Element-wise, so in place is safe.
        const unsigned char below = static_cast<unsigned char>(t - 1);
        uint32_t k = 0;
#ifdef KT_BYTES16
        const kt_bytes16 limit = kt_bytes16{} + below;
        for (; k + 16 <= n; k += 16)
            kt_store16(out + k, reinterpret_cast<kt_bytes16>(kt_load16(in + k) > limit));
#endif
        for (; k < n; ++k) out[k] = in[k] > below ? 255 : 0;
        return 1;
    }
    uint32_t i = 0;
    // Eight independent lookups per step keep the loads in flight; element-wise, so in place is safe.
    for (; i + 8 <= n; i += 8) {
        const unsigned char a0 = table[in[i]], a1 = table[in[i + 1]], a2 = table[in[i + 2]],
                            a3 = table[in[i + 3]], a4 = table[in[i + 4]], a5 = table[in[i + 5]],
                            a6 = table[in[i + 6]], a7 = table[in[i + 7]];
        out[i] = a0;
        out[i + 1] = a1;
        out[i + 2] = a2;
        out[i + 3] = a3;
        out[i + 4] = a4;
        out[i + 5] = a5;
        out[i + 6] = a6;
        out[i + 7] = a7;
    }
    for (; i < n; ++i) out[i] = table[in[i]];
    return 1;
}
