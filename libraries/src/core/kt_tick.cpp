#include "kt_tick.h"

#include <time.h>

#include <atomic>

namespace {
std::atomic<kt_tick_source> g_source{nullptr};
}

uint32_t kt_tickcount(void) {
    const kt_tick_source source = g_source.load(std::memory_order_acquire);
    if (source != nullptr) return source();
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
    // Unsigned arithmetic so the count wraps instead of overflowing a signed type.
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

uint32_t gettickcount(void) { return kt_tickcount(); }

void kt_set_tick_source(kt_tick_source source) { g_source.store(source, std::memory_order_release); }
