#include "kt_alloc.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace {
// -1: disarmed; n >= 0: allocations left before the injected failure.
std::atomic<int> g_fail_countdown{-1};
}  // namespace

void kt_alloc_fail_after(int n) { g_fail_countdown.store(n < 0 ? -1 : n); }

void* kt_calloc(size_t count, size_t size) {
    if (count == 0 || size == 0) return nullptr;
    if (count > SIZE_MAX / size) return nullptr;
    int left = g_fail_countdown.load();
    while (left >= 0) {
        // Claim one step of the countdown; the step that reaches 0 fails and disarms.
        int next = left == 0 ? -1 : left - 1;
        if (g_fail_countdown.compare_exchange_weak(left, next)) {
            if (left == 0) return nullptr;
            break;
        }
    }
    return std::calloc(count, size);
}
