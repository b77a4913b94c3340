// Events on a mutex and condition variable; waits measured on the monotonic clock.
#include "ktst_Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ktst {

// The internal mutex is only ever held for a few instructions (never across a blocking wait, which
// releases it), so every operation takes it with a plain lock: a try-lock would make a zero-time
// wait report a signalled event as unsignalled merely because another thread was testing it too.
struct Event::State {
    std::mutex mutex;
    std::condition_variable cond;
    bool signalled;
    const bool manualReset;
    State(bool manual, bool initial) : signalled(initial), manualReset(manual) {}
};

Event::Event(bool manualReset, bool initiallySignalled)
    : m_state(std::make_shared<State>(manualReset, initiallySignalled)) {}

bool Event::signal() {
    if (!m_state) return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->signalled = true;
    if (m_state->manualReset)
        m_state->cond.notify_all();
    else
        m_state->cond.notify_one();
    return true;
}

bool Event::reset() {
    if (!m_state) return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->signalled = false;
    return true;
}

bool Event::wait(uint32_t ms) {
    if (!m_state) return false;
    // Keep the block alive even if this Event object is reassigned by another thread meanwhile.
    std::shared_ptr<State> state = m_state;
    std::unique_lock<std::mutex> lock(state->mutex);
    auto isSet = [&state] { return state->signalled; };
    if (ms == WAIT_INFINITE) {
        state->cond.wait(lock, isSet);
    } else if (ms > 0) {
        state->cond.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), isSet);
    }
    const bool was = state->signalled;
    if (was && !state->manualReset) state->signalled = false;
    return was;
}

bool Event::isSignalled() const {
    if (!m_state) return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->signalled;
}

bool Event::isManualReset() const { return m_state && m_state->manualReset; }

}  // namespace ktst
