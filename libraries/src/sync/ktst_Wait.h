// ktst::Wait and ktst::WaitMultiple: sleeping and waiting for the first of several wait objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ktst_WaitObject.h"

namespace ktst {

// Sleeps for `ms` milliseconds (WAIT_INFINITE is taken as that many milliseconds, not forever).
// Restarts after signal interruptions so the full time passes.
void Wait(uint32_t ms);

// Waits until one of `objects` answers a zero-time wait: each round tests the objects in list
// order, so earlier objects win over later ones; between rounds it sleeps 1 ms. Sets `index` to the
// winner and returns true, or returns false once `ms` (measured with kt_tickcount, wrap-safe) has
// passed. `ms` == 0 makes exactly one round. Null entries are skipped; an empty list fails at once.
bool Wait(const std::vector<WaitObject*>& objects, uint32_t ms, size_t& index);

// As Wait(objects, ms, index); after the winner is found every other object is tested once without
// waiting. `bits` gets bit i set for every object i that answered (the winner included). Lists of
// more than 32 objects are refused (false, bits 0).
bool WaitMultiple(const std::vector<WaitObject*>& objects, uint32_t ms, uint32_t& bits);

// Milliseconds left of a `ms` budget started at tick `start`, seen at tick `now`; both ticks come
// from the wrapping 32-bit kt_tickcount, so the elapsed time is their unsigned difference.
// Floors at 0; WAIT_INFINITE stays WAIT_INFINITE.
uint32_t remainingMs(uint32_t start, uint32_t now, uint32_t ms);
// The same, with `now` read from kt_tickcount.
uint32_t remainingMs(uint32_t start, uint32_t ms);

}  // namespace ktst
