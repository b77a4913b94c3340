// Bounds and polling shared by the thread tests.
#pragma once

#include <cstdint>

#include "kt_tick.h"
#include "kttl_ElapsedTime.h"
#include "ktst_Wait.h"

// Bound for every wait that is expected to succeed: long enough never to fire on a loaded machine.
constexpr uint32_t kLongMs = 10000;
const kttl::ElapsedTime kLong(kLongMs);

// Polls `done` every millisecond until it holds or kLongMs have passed; returns its last answer.
template <class F>
bool eventually(F done) {
    const uint32_t start = kt_tickcount();
    while (!done() && kt_tickcount() - start < kLongMs) ktst::Wait(1);
    return done();
}

// Milliseconds that `f` took.
template <class F>
uint32_t elapsedMs(F f) {
    const uint32_t start = kt_tickcount();
    f();
    return kt_tickcount() - start;
}
