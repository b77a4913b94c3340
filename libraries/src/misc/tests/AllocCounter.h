// AllocCounter: counts every heap allocation a test program makes (operator new ends in malloc) and,
// separately, those big enough to be a picture buffer; also tracks the bytes held and their peak.
//
// It DEFINES the C allocation functions: exactly one translation unit per test program includes it.
// Counting is off under the sanitizers, which replace the allocator themselves; tests then skip the
// counts (KT_ALLOC_COUNTING is 0) but still run everything else.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(KT_SANITIZED)
#define KT_ALLOC_COUNTING 0
#else
#define KT_ALLOC_COUNTING 1
#endif

namespace alloc_counter {

// Picture-sized: at least this many bytes (a 176x144 gray frame is 25344).
const size_t kBig = 16384;

struct Counts {
    long all, big;
    Counts operator-(const Counts& o) const { return {all - o.all, big - o.big}; }
};

inline std::atomic<long> g_all{0};
inline std::atomic<long> g_big{0};

inline void count(size_t n) {
    g_all.fetch_add(1, std::memory_order_relaxed);
    if (n >= kBig) g_big.fetch_add(1, std::memory_order_relaxed);
}

// Allocations so far; subtract two readings for what happened between them.
inline Counts now() { return {g_all.load(), g_big.load()}; }

// Heap bytes held (usable sizes) and the highest value since the last resetPeak().
inline std::atomic<long> g_held{0};
inline std::atomic<long> g_peak{0};
inline void held(long delta) {
    const long v = g_held.fetch_add(delta, std::memory_order_relaxed) + delta;
    long p = g_peak.load(std::memory_order_relaxed);
    while (v > p && !g_peak.compare_exchange_weak(p, v, std::memory_order_relaxed)) {
    }
}
inline long heldBytes() { return g_held.load(); }
inline long peakBytes() { return g_peak.load(); }
inline void resetPeak() { g_peak.store(g_held.load()); }

}  // namespace alloc_counter

#if KT_ALLOC_COUNTING
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

static void* kt_counted(void* p) {
    if (p) alloc_counter::held(static_cast<long>(malloc_usable_size(p)));
    return p;
}
void* malloc(size_t n) {
    alloc_counter::count(n);
    return kt_counted(__libc_malloc(n));
}
void* calloc(size_t n, size_t m) {
    alloc_counter::count(n * m);
    return kt_counted(__libc_calloc(n, m));
}
void* realloc(void* p, size_t n) {
    alloc_counter::count(n);
    const long old = p ? static_cast<long>(malloc_usable_size(p)) : 0;
    void* q = __libc_realloc(p, n);
    if (q || n == 0) alloc_counter::held(-old);  // moved or freed; a failed realloc keeps p
    return kt_counted(q);
}
void* memalign(size_t alignment, size_t n) {
    alloc_counter::count(n);
    return kt_counted(__libc_memalign(alignment, n));
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, size_t alignment, size_t n) {
    void* p = memalign(alignment, n);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) {
    if (p) alloc_counter::held(-static_cast<long>(malloc_usable_size(p)));
    __libc_free(p);
}
}
#endif
