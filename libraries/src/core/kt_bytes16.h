/* kt_bytes16: sixteen bytes as one value for the byte-image passes (threshold, morphology), so a
 * pass does one operation per 16 pixels: SSE2 on x86, NEON on ARM, plain code elsewhere. */
#pragma once

#include <cstring>

#if defined(__GNUC__)
#define KT_BYTES16 1
/* Lanes are unsigned; a comparison gives 0 or 255 per lane. */
typedef unsigned char kt_bytes16 __attribute__((vector_size(16)));

/* Unaligned-safe load and store; each compiles to a single vector load or store. */
inline kt_bytes16 kt_load16(const unsigned char* p) {
    kt_bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void kt_store16(unsigned char* p, kt_bytes16 v) { std::memcpy(p, &v, sizeof v); }
#endif
