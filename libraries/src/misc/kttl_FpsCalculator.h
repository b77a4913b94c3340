// kttl::FpsCalculator: frame rate over a sliding window of whole seconds.
#pragma once

#include "kttl_TimeQueue.h"
#include "kttl_TimeStamp.h"

namespace kttl {

class FpsCalculator {
public:
    // A window of 0 seconds is taken as 1 second (a zero window could never hold two frames).
    explicit FpsCalculator(unsigned seconds = 1);

    // 0 is refused (false, old window kept); otherwise the samples are dropped and the window set.
    bool setTimeWindow(unsigned seconds);
    unsigned getTimeWindow() const { return m_seconds; }
    // Records one frame at `time`; frames older than the window drop out as new ones arrive.
    void update(const TimeStamp& time);
    // -1 with no sample; 0 when newest and oldest coincide; else samples / (newest - oldest) in s.
    double calcFps() const;
    void reset() { m_samples.clear(); }
    size_t sampleCount() const { return m_samples.size(); }

private:
    unsigned m_seconds;
    TimeQueue<bool> m_samples;
};

}  // namespace kttl
