// A recursive mutex built on a plain mutex and condition variable, so lock time-outs run on the
// monotonic clock and unlocking by a non-owner can be detected.
#include "ktst_Mutex.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ktst {

// Invariant: count == 0 exactly when owner is the empty id.
struct Mutex::State {
    std::mutex mutex;
    std::condition_variable cond;
    std::thread::id owner;
    unsigned count = 0;
};

Mutex::Mutex(bool initiallyLocked) : m_state(std::make_shared<State>()) {
    if (initiallyLocked) lock(0);
}

bool Mutex::lock(uint32_t ms) {
    std::shared_ptr<State> state = m_state;
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(state->mutex);
    auto available = [&] { return state->count == 0 || state->owner == me; };
    if (ms == WAIT_INFINITE) {
        state->cond.wait(guard, available);
    } else if (ms > 0) {
        state->cond.wait_until(guard, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms),
                               available);
    }
    if (!available()) return false;
    state->owner = me;
    ++state->count;
    return true;
}

bool Mutex::unlock() {
    std::shared_ptr<State> state = m_state;
    std::lock_guard<std::mutex> guard(state->mutex);
    if (state->count == 0 || state->owner != std::this_thread::get_id()) return false;
    if (--state->count == 0) {
        state->owner = std::thread::id();
        state->cond.notify_one();
    }
    return true;
}

bool Mutex::ownedByCaller() const {
    std::lock_guard<std::mutex> guard(m_state->mutex);
    return m_state->count > 0 && m_state->owner == std::this_thread::get_id();
}

unsigned Mutex::lockCount() const {
    std::lock_guard<std::mutex> guard(m_state->mutex);
    return m_state->count;
}

}  // namespace ktst
