// The timer thread: a stop-event wait whose time-out is the period.
#include "ktst_TimerThread.h"

#include <mutex>

namespace ktst {

namespace {
constexpr uint32_t kTimerStopMs = 5000;
}

TimerThread::TimerThread(uint32_t periodMs, Event tick) : m_period(periodMs), m_tick(std::move(tick)) {}

TimerThread::~TimerThread() {
    if (isRunning()) stop(fromWaitMs(kTimerStopMs));
}

bool TimerThread::start() {
    if (m_period.load() == 0) return false;
    return SimpleThread::start();
}

void TimerThread::setTickEvent(const Event& tick) {
    std::lock_guard<std::recursive_mutex> control(m_control);
    if (!isRunning()) m_tick = tick;
}

void TimerThread::process() {
    Event stop = m_stop;
    Event tick = m_tick;
    while (!stop.wait(m_period.load())) tick.signal();
}

}  // namespace ktst
