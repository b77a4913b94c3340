#include "bench_alloc.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#ifdef KT_BENCH_COUNT_ALLOCS
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<uint64_t> g_count{0};
std::atomic<uint64_t> g_live{0};
std::atomic<uint64_t> g_peak{0};

void* counted(void* pointer) {
    if (!pointer) return pointer;
    g_count.fetch_add(1, std::memory_order_relaxed);
    const uint64_t live =
        g_live.fetch_add(malloc_usable_size(pointer), std::memory_order_relaxed) +
        malloc_usable_size(pointer);
    uint64_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return pointer;
}

void released(void* pointer) {
    if (pointer) g_live.fetch_sub(malloc_usable_size(pointer), std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void* malloc(size_t size) { return counted(__libc_malloc(size)); }

void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }

void* realloc(void* pointer, size_t size) {
    if (!pointer) return counted(__libc_malloc(size));
    const size_t old = malloc_usable_size(pointer);
    void* moved = __libc_realloc(pointer, size);
    if (!moved) return moved;  // the old block stays allocated
    g_live.fetch_sub(old, std::memory_order_relaxed);
    return counted(moved);
}

void free(void* pointer) {
    released(pointer);
    __libc_free(pointer);
}

void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }

void* aligned_alloc(size_t alignment, size_t size) {
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    void* pointer = counted(__libc_memalign(alignment, size));
    if (!pointer) return ENOMEM;
    *out = pointer;
    return 0;
}

}  // extern "C"

namespace bench {
bool alloc_counting() { return true; }
uint64_t alloc_count() { return g_count.load(std::memory_order_relaxed); }
uint64_t live_bytes() { return g_live.load(std::memory_order_relaxed); }
uint64_t peak_bytes() { return g_peak.load(std::memory_order_relaxed); }
void reset_peak() { g_peak.store(g_live.load(std::memory_order_relaxed), std::memory_order_relaxed); }
}  // namespace bench

#else

namespace bench {
bool alloc_counting() { return false; }
uint64_t alloc_count() { return 0; }
uint64_t live_bytes() { return 0; }
uint64_t peak_bytes() { return 0; }
void reset_peak() {}
}  // namespace bench

#endif
