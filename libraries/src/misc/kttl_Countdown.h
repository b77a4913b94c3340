// kttl::Countdown: a duration in milliseconds measured from a start tick of kt_tickcount().
#pragma once

#include <cstdint>

#include "kt_tick.h"

namespace kttl {

// Ticks are unsigned 32-bit milliseconds that wrap about every 49.7 days; elapsed time is taken
// as the unsigned difference now - start, which stays right across one wrap. A countdown has
// expired once the elapsed time reaches the duration (a duration of 0 is expired at once); the
// duration kInfinite never expires.
class Countdown {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    explicit Countdown(uint32_t durationMs = 0) : m_duration(durationMs), m_start(kt_tickcount()) {}
    Countdown(uint32_t durationMs, uint32_t startTick) : m_duration(durationMs), m_start(startTick) {}

    uint32_t getDuration() const { return m_duration; }
    uint32_t getStartTick() const { return m_start; }
    void setDuration(uint32_t durationMs) { m_duration = durationMs; }

    // Starts again now (or at `startTick`), keeping / replacing the duration.
    void restart() { m_start = kt_tickcount(); }
    void restart(uint32_t durationMs) { m_duration = durationMs; m_start = kt_tickcount(); }
    void restartAt(uint32_t startTick) { m_start = startTick; }

    uint32_t elapsed() const { return elapsedAt(kt_tickcount()); }
    uint32_t elapsedAt(uint32_t nowTick) const { return nowTick - m_start; }

    bool isExpired() const { return isExpiredAt(kt_tickcount()); }
    bool isExpiredAt(uint32_t nowTick) const {
        return m_duration != kInfinite && elapsedAt(nowTick) >= m_duration;
    }

    // Milliseconds left: 0 once expired, kInfinite for a countdown that never expires.
    uint32_t remaining() const { return remainingAt(kt_tickcount()); }
    uint32_t remainingAt(uint32_t nowTick) const {
        if (m_duration == kInfinite) return kInfinite;
        uint32_t e = elapsedAt(nowTick);
        return e >= m_duration ? 0 : m_duration - e;
    }

private:
    uint32_t m_duration;
    uint32_t m_start;
};

}  // namespace kttl
