// Frame rate from the frame times of the last window.
#include "kttl_FpsCalculator.h"

#include <algorithm>

namespace kttl {

namespace {
int64_t toMs(const TimeStamp& t) {
    return t.getSeconds() * 1000 + static_cast<int64_t>(t.getMilliseconds());
}
}  // namespace

FpsCalculator::FpsCalculator(unsigned seconds) : m_seconds(seconds ? seconds : 1) {
    m_times.reserve(2 * kMaxSamples);
}

bool FpsCalculator::setTimeWindow(unsigned seconds) {
    if (seconds == 0)
        return false;
    reset();
    m_seconds = seconds;
    return true;
}

void FpsCalculator::update(const TimeStamp& time) {
    const int64_t ms = toMs(time);
    if (m_head == m_times.size() || ms >= m_times.back()) {
        m_times.push_back(ms);
    } else {
        // A clock that stepped back: keep the times in order.
        m_times.insert(
            std::upper_bound(m_times.begin() + static_cast<std::ptrdiff_t>(m_head), m_times.end(), ms), ms);
    }
    // Frames more than one window older than the newest drop out.
    const int64_t oldest = m_times.back() - static_cast<int64_t>(m_seconds) * 1000;
    while (m_head < m_times.size() && m_times[m_head] < oldest) ++m_head;
    if (m_times.size() - m_head > kMaxSamples)
        m_head = m_times.size() - kMaxSamples;
    // Compact in place once the dropped prefix outweighs the live part (the buffer never outgrows
    // its reservation).
    if (m_head >= kMaxSamples || (m_head > 64 && m_head * 2 > m_times.size())) {
        m_times.erase(m_times.begin(), m_times.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
}

double FpsCalculator::calcFps() const {
    if (m_head == m_times.size())
        return -1.0;
    const double span = static_cast<double>(m_times.back() - m_times[m_head]) / 1000.0;
    if (span <= 0)
        return 0.0;
    return static_cast<double>(m_times.size() - m_head) / span;
}

}  // namespace kttl
