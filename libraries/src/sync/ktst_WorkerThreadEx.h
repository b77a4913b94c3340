// ktst::WorkerThreadEx: a thread serving N numbered requests, with a wait time-out and an optional
// timer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "kt_tick.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Exception.h"
#include "ktst_Event.h"
#include "ktst_SimpleThread.h"
#include "ktst_TimerThread.h"
#include "ktst_Wait.h"

namespace ktst {

// The body waits for request events 0..N-1 and the stop event (in this order, so lower requests
// win); a wait that times out calls onTimeOut(). Request i runs onEvent(i) on the worker thread.
// Callers ask with setEvent (waits for the answer) or postEvent (fire and forget).
//
// Each slot counts requests and completions, so a caller only accepts a completion that began
// after its own request: an answer to an earlier request can never be taken for its own.
template <unsigned N>
class WorkerThreadEx : public SimpleThread {
    static_assert(N > 0 && N < 32, "request slots and the stop event share one 32-bit mask");

public:
    // `timeoutMs`: the body's wait time-out (WAIT_INFINITE: never time out).
    explicit WorkerThreadEx(uint32_t timeoutMs = WAIT_INFINITE) : m_timeout(timeoutMs) {}
    ~WorkerThreadEx() override {
        if (isRunning()) stop(fromWaitMs(kDestructorStopMs));
    }

    // onStart() and then the thread, only while it is not running; starts the timer too when a
    // period is set.
    bool start() override {
        std::lock_guard<std::recursive_mutex> control(m_control);
        if (isRunning()) return false;
        if (!onStart()) return false;
        for (Slot& s : m_slots) s.request.reset();
        if (!SimpleThread::start()) return false;
        if (m_timer.getPeriod() > 0) m_timer.start();
        return true;
    }

    // Signals the stop event, calls onStop, stops the thread and then the timer with what is left
    // of `timeout` (unlimited stays unlimited), and clears pending requests. True when the thread
    // has ended.
    bool stop(const kttl::ElapsedTime& timeout) override {
        const uint32_t ms = toWaitMs(timeout);
        const uint32_t start = kt_tickcount();
        m_stop.signal();
        onStop(timeout);
        const bool stopped = SimpleThread::stop(fromWaitMs(remainingMs(start, ms)));
        m_timer.stop(fromWaitMs(remainingMs(start, ms)));
        for (Slot& s : m_slots) s.request.reset();
        return stopped;
    }

    // The worker loop.
    void process() override {
        onInitialize();
        std::vector<WaitObject*> objects;
        for (Slot& s : m_slots) objects.push_back(&s.request);
        objects.push_back(&m_stop);
        for (;;) {
            uint32_t bits = 0;
            if (!WaitMultiple(objects, m_timeout, bits)) {
                onTimeOut();
                continue;
            }
            if (bits & (1u << N)) break;
            bool stopping = false;
            for (unsigned i = 0; i < N && !stopping; ++i) {
                if (!(bits & (1u << i))) continue;
                stopping = m_stop.isSignalled();
                if (!stopping) serve(i);
            }
            if (stopping) break;
        }
        onDeinitialize();
    }

    virtual void onInitialize() {}
    virtual void onDeinitialize() {}
    // Runs on the worker thread for request `index`; the result goes back to setEvent's caller.
    virtual int onEvent(unsigned char index) {
        (void)index;
        return 0;
    }
    virtual void onTimeOut() {}
    // False refuses the start.
    virtual bool onStart() { return true; }
    virtual void onStop(const kttl::ElapsedTime& timeout) { (void)timeout; }

    // Asks the worker to run onEvent(index) and waits up to `ms` in all for the slot to be free and
    // for the answer, which is stored in *result when result is not null. False at once when the
    // worker is stopping or not running; false when the time passes or the thread ends first.
    // An index of N or more throws.
    bool setEvent(unsigned index, uint32_t ms, int* result) {
        if (index >= N) KT_THROW("ktst::WorkerThreadEx", "setEvent - not a valid event.");
        if (!isRunning() || isStopping()) return false;
        const uint32_t start = kt_tickcount();
        Slot& slot = m_slots[index];
        if (!slot.free.wait(ms)) return false;
        const uint64_t ticket = request(slot);
        const std::vector<WaitObject*> objects{&slot.done, &m_finished};
        bool answered = takeAnswer(slot, ticket, result);
        size_t which = 0;
        // Index 1: the thread ended; it may have answered just before.
        while (!answered && Wait(objects, remainingMs(start, ms), which)) {
            answered = takeAnswer(slot, ticket, result);
            if (which == 1) break;
        }
        slot.free.signal();
        return answered;
    }

    // Signals request `index` without waiting and without taking the slot, so it cannot be lost
    // while another caller holds the slot. False when the worker is not running or stopping.
    bool postEvent(unsigned index) {
        if (index >= N) KT_THROW("ktst::WorkerThreadEx", "postEvent - not a valid event.");
        if (!isRunning() || isStopping()) return false;
        request(m_slots[index]);
        return true;
    }

    void setTimeOut(uint32_t ms) { m_timeout = ms; }
    uint32_t getTimeOut() const { return m_timeout; }
    // A timer that signals request `slot` every `periodMs` while the worker runs (0: no timer).
    // Takes effect at the next start().
    void setTimer(uint32_t periodMs, unsigned slot = N - 1) {
        if (slot >= N) KT_THROW("ktst::WorkerThreadEx", "setTimer - not a valid event.");
        m_timer.setPeriod(periodMs);
        m_timer.setTickEvent(m_slots[slot].request);
    }

private:
    static constexpr uint32_t kDestructorStopMs = 5000;

    struct Slot {
        Event request{false, false};
        Event done{false, false};
        Event free{false, true};  // a one-caller gate
        std::mutex lock;          // guards the counters and the result
        uint64_t requested = 0;
        uint64_t completed = 0;
        int result = 0;
    };

    uint64_t request(Slot& slot) {
        uint64_t ticket;
        {
            std::lock_guard<std::mutex> lock(slot.lock);
            ticket = ++slot.requested;
        }
        slot.request.signal();
        return ticket;
    }

    // True (and the result handed over) once a run that began after request `ticket` has ended.
    static bool takeAnswer(Slot& slot, uint64_t ticket, int* result) {
        std::lock_guard<std::mutex> lock(slot.lock);
        if (slot.completed < ticket) return false;
        if (result) *result = slot.result;
        return true;
    }

    // Every request counted before onEvent starts is answered by this run.
    void serve(unsigned i) {
        Slot& slot = m_slots[i];
        uint64_t served;
        {
            std::lock_guard<std::mutex> lock(slot.lock);
            served = slot.requested;
        }
        const int r = onEvent(static_cast<unsigned char>(i));
        {
            std::lock_guard<std::mutex> lock(slot.lock);
            slot.result = r;
            slot.completed = served;
        }
        slot.done.signal();
    }

    std::atomic<uint32_t> m_timeout;
    std::array<Slot, N> m_slots;
    TimerThread m_timer{0};
};

}  // namespace ktst
