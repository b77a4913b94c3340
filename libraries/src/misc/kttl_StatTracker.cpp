// Sample statistics of the timing tracker.
#include "kttl_StatTracker.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kt_tick.h"

namespace kttl {

namespace {
// Fewer samples than this give no statistics.
constexpr size_t kMinSamples = 3;
}  // namespace

void StatTracker::setCapacity(unsigned capacity) {
    m_capacity = capacity;
    while (m_samples.size() > m_capacity) m_samples.pop_front();
}

void StatTracker::start() { m_startTick = kt_tickcount(); }

double StatTracker::stop() {
    const double elapsed = static_cast<double>(static_cast<uint32_t>(kt_tickcount() - m_startTick));
    addSample(elapsed);
    return elapsed;
}

void StatTracker::addSample(double value) {
    if (m_capacity == 0) return;
    while (m_samples.size() >= m_capacity) m_samples.pop_front();
    m_samples.push_back(value);
}

void StatTracker::popFront(unsigned n) {
    const size_t k = std::min<size_t>(n, m_samples.size());
    m_samples.erase(m_samples.begin(), m_samples.begin() + static_cast<std::ptrdiff_t>(k));
}

double StatTracker::mean() const {
    if (m_samples.size() < kMinSamples) return -1.0;
    double sum = 0;
    for (double v : m_samples) sum += v;
    return sum / static_cast<double>(m_samples.size());
}

double StatTracker::median() const {
    if (m_samples.size() < kMinSamples) return -1.0;
    std::vector<double> sorted(m_samples.begin(), m_samples.end());
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
}

double StatTracker::stddev() const {
    if (m_samples.size() < kMinSamples) return -1.0;
    const double m = mean();
    double sq = 0;
    for (double v : m_samples) sq += (v - m) * (v - m);
    return std::sqrt(sq / static_cast<double>(m_samples.size()));
}

}  // namespace kttl
