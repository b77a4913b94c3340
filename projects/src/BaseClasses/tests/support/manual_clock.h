// manual_clock: a tick source the test steps by hand, so countdowns and timers run without sleeping.
#pragma once

#include <atomic>
#include <cstdint>

#include "kt_tick.h"

// While one exists, kt_tickcount() (and so every countdown and stage timer) reads its value. One at a
// time per process.
class ManualClock {
  public:
    explicit ManualClock(uint32_t start = 1000000) {
        now().store(start);
        kt_set_tick_source(&ManualClock::read);
    }
    ~ManualClock() { kt_set_tick_source(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void advance(uint32_t ms) { now().fetch_add(ms); }
    void set(uint32_t tick) { now().store(tick); }
    uint32_t get() const { return now().load(); }

  private:
    static std::atomic<uint32_t>& now() {
        static std::atomic<uint32_t> value{0};
        return value;
    }
    static uint32_t read() { return now().load(); }
};
