#include "kt_background_tables.h"

#include <mutex>

unsigned char kt_bg_compare_table[KT_BG_COMPARE_ENTRIES + 1];
uint16_t kt_bg_division_table[KT_BG_DIVISION_ENTRIES];
uint16_t kt_bg_average_table[KT_BG_AVERAGE_ENTRIES];
unsigned char kt_bg_sqrt_table[KT_BG_MAX_VARIANCE + 1];

namespace {

std::once_flag g_tables_once;

void fill(void) {
    for (uint32_t k = 0; k < KT_BG_COMPARE_ENTRIES; ++k) {
        if (k <= 10) {
            kt_bg_compare_table[k] = 255;
        } else if (k == 11) {
            kt_bg_compare_table[k] = 210;
        } else {
            // Single precision, as the rest of the model's floating point.
            float z = static_cast<float>(k) / 10.0f;
            kt_bg_compare_table[k] = static_cast<unsigned char>(255.0f / (z * z));
        }
    }
    kt_bg_compare_table[KT_BG_COMPARE_ENTRIES] = 0;
    kt_bg_division_table[0] = 1280;
    kt_bg_division_table[1] = 1280;
    for (uint32_t k = 2; k < KT_BG_DIVISION_ENTRIES; ++k)
        kt_bg_division_table[k] = static_cast<uint16_t>(1280u / k);
    for (uint32_t k = 0; k < KT_BG_AVERAGE_ENTRIES; ++k)
        kt_bg_average_table[k] = static_cast<uint16_t>(k / 3u);
    for (int32_t v = 0; v <= KT_BG_MAX_VARIANCE; ++v)
        kt_bg_sqrt_table[v] = static_cast<unsigned char>(kt_bg_isqrt(v));
}

}  // namespace

void kt_background_fill_tables(void) { std::call_once(g_tables_once, fill); }

uint32_t kt_bg_isqrt(int32_t v) {
    if (v <= 0) return 0;
    uint32_t op = static_cast<uint32_t>(v);
    uint32_t result = 0;
    uint32_t one = 1u << 30;
    while (one > op) one >>= 2;
    while (one != 0) {
        if (op >= result + one) {
            op -= result + one;
            result = (result >> 1) + one;
        } else {
            result >>= 1;
        }
        one >>= 2;
    }
    return result;
}
