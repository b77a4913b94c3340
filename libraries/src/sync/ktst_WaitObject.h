// ktst::WaitObject: the common base of everything a thread can wait on (events, mutexes).
#pragma once

#include <cstdint>

namespace ktst {

// Time-outs are unsigned 32-bit milliseconds: 0 tests without waiting, WAIT_INFINITE waits without
// limit, every other value bounds the wait.
constexpr uint32_t WAIT_INFINITE = 0xFFFFFFFFu;

class WaitObject {
public:
    virtual ~WaitObject() = default;

    // True when the object was acquired (mutex) or found signalled (event) within `ms`. A
    // successful wait may change the object: an auto-reset event is cleared, a mutex is locked.
    virtual bool wait(uint32_t ms) = 0;
};

}  // namespace ktst
