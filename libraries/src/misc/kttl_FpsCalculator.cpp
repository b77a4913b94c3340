// Frame rate from the frame times held in a time queue.
#include "kttl_FpsCalculator.h"

namespace kttl {

FpsCalculator::FpsCalculator(unsigned seconds)
    : m_seconds(seconds ? seconds : 1), m_samples(ElapsedTime::fromSeconds(m_seconds)) {}

bool FpsCalculator::setTimeWindow(unsigned seconds) {
    if (seconds == 0) return false;
    m_samples.clear();
    m_seconds = seconds;
    m_samples.setWindow(ElapsedTime::fromSeconds(seconds));
    return true;
}

void FpsCalculator::update(const TimeStamp& time) { m_samples.insert(true, time); }

double FpsCalculator::calcFps() const {
    if (m_samples.empty()) return -1.0;
    const double span = (m_samples.newestTime() - m_samples.oldestTime()).toSeconds();
    if (span <= 0) return 0.0;
    return static_cast<double>(m_samples.size()) / span;
}

}  // namespace kttl
