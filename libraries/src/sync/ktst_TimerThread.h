// ktst::TimerThread: signals a tick event once per period until stopped.
#pragma once

#include <atomic>
#include <cstdint>

#include "ktst_Event.h"
#include "ktst_SimpleThread.h"

namespace ktst {

class TimerThread : public SimpleThread {
public:
    // `tick` is shared with the caller (events are shared by copy); by default a new auto-reset
    // event.
    explicit TimerThread(uint32_t periodMs = 1000, Event tick = Event(false, false));
    ~TimerThread() override;

    // A period of 0 is refused: start() returns false.
    bool start() override;
    void process() override;

    void setPeriod(uint32_t ms) { m_period.store(ms); }
    uint32_t getPeriod() const { return m_period.load(); }
    Event getTickEvent() const { return m_tick; }
    void setTickEvent(const Event& tick);

private:
    std::atomic<uint32_t> m_period;
    Event m_tick;
};

}  // namespace ktst
