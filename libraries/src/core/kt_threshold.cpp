#include "kt_threshold.h"

#include <cstring>

int kt_threshold_inittable(unsigned char* table, uint32_t length, uint32_t threshold) {
    if (!table || length != 256) return 0;
    const uint32_t zeros = threshold > 256 ? 256 : threshold;
    std::memset(table, 0, zeros);
    std::memset(table + zeros, 255, 256 - zeros);
    return 1;
}

int kt_threshold_gray(const unsigned char* table, uint32_t length, const kt_image* source,
                      kt_image* destination) {
    if (!table || length != 256) return 0;
    if (!kt_image_consistent(source) || !kt_image_consistent(destination)) return 0;
    if (source->channels != 1 || destination->size != source->size) return 0;
    const unsigned char* in = source->data;
    unsigned char* out = destination->data;
    const uint32_t n = source->size;
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
