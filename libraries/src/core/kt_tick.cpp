#include "kt_tick.h"

#include <time.h>

uint32_t kt_tickcount(void) {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
    // Unsigned arithmetic so the count wraps instead of overflowing a signed type.
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

uint32_t gettickcount(void) { return kt_tickcount(); }
