// ktst::Mutex: a shared recursive mutex with millisecond lock time-outs.
#pragma once

#include <cstdint>
#include <memory>

#include "ktst_WaitObject.h"

namespace ktst {

// Copies share one mutex. Recursive: the owning thread may lock again and must unlock as often.
// Only the owner can unlock; unlock() by any other thread is refused (false) instead of corrupting
// the lock.
class Mutex : public WaitObject {
public:
    // `initiallyLocked`: the constructing thread owns the mutex once.
    explicit Mutex(bool initiallyLocked = false);
    Mutex(const Mutex&) = default;
    Mutex& operator=(const Mutex&) = default;
    ~Mutex() override = default;

    // True when the calling thread owns the mutex within `ms` (0: try, WAIT_INFINITE: no limit).
    bool lock(uint32_t ms = WAIT_INFINITE);
    // Releases one level of ownership; false when the caller does not own the mutex.
    bool unlock();
    // WaitObject form of lock(ms).
    bool wait(uint32_t ms) override { return lock(ms); }

    // Whether the calling thread owns the mutex.
    bool ownedByCaller() const;
    // How often the owner has locked it (0 when free).
    unsigned lockCount() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Holds a Mutex for a scope: locked() tells whether the bounded lock succeeded.
class MutexLock {
public:
    MutexLock(Mutex& mutex, uint32_t ms) : m_mutex(mutex), m_locked(mutex.lock(ms)) {}
    ~MutexLock() {
        if (m_locked) m_mutex.unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool locked() const { return m_locked; }

private:
    Mutex& m_mutex;
    bool m_locked;
};

}  // namespace ktst
