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
    std::vector<double> kept = samples();
    if (kept.size() > capacity)
        kept.erase(kept.begin(), kept.end() - capacity);
    m_capacity = capacity;
    m_ring.clear();
    m_ring.shrink_to_fit();
    m_head = m_count = 0;
    for (double v : kept) addSample(v);
}

void StatTracker::start() {
    m_startTick = kt_tickcount();
}

double StatTracker::stop() {
    const double elapsed = static_cast<double>(static_cast<uint32_t>(kt_tickcount() - m_startTick));
    addSample(elapsed);
    return elapsed;
}

void StatTracker::addSample(double value) {
    if (m_capacity == 0)
        return;
    if (m_ring.size() != m_capacity)
        m_ring.assign(m_capacity, 0.0);
    if (m_count == m_capacity) {
        m_ring[m_head] = value;
        m_head = (m_head + 1) % m_capacity;
        return;
    }
    m_ring[(m_head + m_count) % m_capacity] = value;
    ++m_count;
}

void StatTracker::popFront(unsigned n) {
    const size_t k = std::min<size_t>(n, m_count);
    if (k == 0)
        return;
    m_head = (m_head + k) % m_capacity;
    m_count -= k;
}

std::vector<double> StatTracker::samples() const {
    std::vector<double> out;
    out.reserve(m_count);
    for (size_t i = 0; i < m_count; ++i) out.push_back(m_ring[(m_head + i) % m_ring.size()]);
    return out;
}

double StatTracker::mean() const {
    if (m_count < kMinSamples)
        return -1.0;
    double sum = 0;
    for (size_t i = 0; i < m_count; ++i) sum += m_ring[(m_head + i) % m_ring.size()];
    return sum / static_cast<double>(m_count);
}

double StatTracker::median() const {
    if (m_count < kMinSamples)
        return -1.0;
    m_sorted.assign(m_count, 0.0);
    for (size_t i = 0; i < m_count; ++i) m_sorted[i] = m_ring[(m_head + i) % m_ring.size()];
    std::sort(m_sorted.begin(), m_sorted.end());
    const size_t n = m_count;
    return n % 2 ? m_sorted[n / 2] : (m_sorted[n / 2 - 1] + m_sorted[n / 2]) / 2.0;
}

double StatTracker::stddev() const {
    if (m_count < kMinSamples)
        return -1.0;
    const double m = mean();
    double sq = 0;
    for (size_t i = 0; i < m_count; ++i) {
        const double v = m_ring[(m_head + i) % m_ring.size()];
        sq += (v - m) * (v - m);
    }
    return std::sqrt(sq / static_cast<double>(m_count));
}

}  // namespace kttl
