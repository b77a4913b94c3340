// Sleeping and polling several wait objects.
#include "ktst_Wait.h"

#include <cerrno>
#include <ctime>

#include "kt_tick.h"

namespace ktst {

void Wait(uint32_t ms) {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(ms / 1000u);
    left.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    struct timespec rest;
    while (nanosleep(&left, &rest) != 0 && errno == EINTR) left = rest;
}

uint32_t remainingMs(uint32_t start, uint32_t now, uint32_t ms) {
    if (ms == WAIT_INFINITE) return WAIT_INFINITE;
    const uint32_t elapsed = now - start;  // unsigned: right across the tick wrap
    return elapsed >= ms ? 0u : ms - elapsed;
}

uint32_t remainingMs(uint32_t start, uint32_t ms) { return remainingMs(start, kt_tickcount(), ms); }

bool Wait(const std::vector<WaitObject*>& objects, uint32_t ms, size_t& index) {
    if (objects.empty()) return false;
    const uint32_t start = kt_tickcount();
    for (;;) {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i] && objects[i]->wait(0)) {
                index = i;
                return true;
            }
        }
        if (remainingMs(start, ms) == 0) return false;
        Wait(1);
    }
}

bool WaitMultiple(const std::vector<WaitObject*>& objects, uint32_t ms, uint32_t& bits) {
    bits = 0;
    if (objects.size() > 32) return false;
    size_t first = 0;
    if (!Wait(objects, ms, first)) return false;
    bits = 1u << first;
    for (size_t i = 0; i < objects.size(); ++i) {
        if (i != first && objects[i] && objects[i]->wait(0)) bits |= 1u << i;
    }
    return true;
}

}  // namespace ktst
