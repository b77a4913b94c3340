// kttl::FpsCalculator: frame rate over a sliding window of whole seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
    void reset() { m_times.clear(), m_head = 0; }
    size_t sampleCount() const { return m_times.size() - m_head; }

  private:
    unsigned m_seconds;
    // At most this many frame times are kept: the rate over the newest ones is as good as over the
    // whole window, and the buffer is reserved once at construction.
    static constexpr size_t kMaxSamples = 1024;
    // Frame times in milliseconds, ascending, live from m_head on; never more than twice kMaxSamples
    // entries, so a calculator fed every frame allocates nothing after construction.
    std::vector<int64_t> m_times;
    size_t m_head = 0;
};

}  // namespace kttl
