// ktst::BasicThread: detached POSIX threads with a finished event and a stop event.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "kttl_ElapsedTime.h"
#include "ktst_Event.h"
#include "ktst_WaitObject.h"

namespace ktst {

// Converts a time-out duration to wait milliseconds: negative gives 0, 0xFFFFFFFF ms or more gives
// WAIT_INFINITE.
uint32_t toWaitMs(const kttl::ElapsedTime& timeout);
// The duration that toWaitMs maps back to `ms` (WAIT_INFINITE stays unlimited).
kttl::ElapsedTime fromWaitMs(uint32_t ms);

// Runs `count` detached threads; thread i runs process(i). The finished event (manual-reset) is
// signalled exactly while no thread of the object runs; the stop event (manual-reset) asks the
// bodies to end. Exceptions escaping a body are caught and written to standard error.
//
// Lifetime: a derived class whose process() uses its own members must stop the thread in its own
// destructor; by the time this destructor runs the derived part is gone.
class BasicThreadBase {
public:
    explicit BasicThreadBase(unsigned count);
    // Stops a running thread (bounded). A thread that cannot be stopped is reported as
    // "~BasicThread() - Could not stop the thread." and the process is aborted, because the thread
    // would go on running on freed memory.
    virtual ~BasicThreadBase();
    BasicThreadBase(const BasicThreadBase&) = delete;
    BasicThreadBase& operator=(const BasicThreadBase&) = delete;

    // False (and nothing created) unless no thread of this object runs. Resets both events and
    // creates the threads; false when a thread cannot be created.
    virtual bool start();
    // Signals the stop event and waits for the finished event within `timeout`. Threads still
    // running then are cancelled (pthread_cancel) and given a short grace to unwind. True when no
    // thread runs any more. Called from one of the object's own threads it only signals the stop
    // event and returns false.
    virtual bool stop(const kttl::ElapsedTime& timeout);
    // The body of thread `index`.
    virtual void process(int index) = 0;

    // Tested without waiting.
    bool isRunning() const { return !m_finished.isSignalled(); }
    bool isStopping() const { return m_stop.isSignalled(); }
    // Copies share the object's events.
    Event getFinishedEvent() const { return m_finished; }
    Event getStopEvent() const { return m_stop; }

protected:
    // Whether the calling thread is one of this object's threads.
    bool isOwnThread() const;

    Event m_finished{true, true};
    Event m_stop{true, false};
    // Serialises start() and the cancelling part of stop(); recursive so that derived start()
    // overrides can hold it around the base call.
    std::recursive_mutex m_control;

private:
    struct Launch;
    struct Registry;
    static void* run(void* arg);

    const unsigned m_count;
    // The thread handles, shared with the threads so that a thread never touches the object
    // after its body returned (the object may be gone by then).
    std::shared_ptr<Registry> m_registry;
};

template <unsigned N>
class BasicThread : public BasicThreadBase {
    static_assert(N > 0, "a thread object runs at least one thread");

public:
    BasicThread() : BasicThreadBase(N) {}
};

}  // namespace ktst
