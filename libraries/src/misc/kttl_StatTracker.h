// kttl::StatTracker: the latest timing samples with their mean, median and deviation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kttl {

// Keeps at most `capacity` samples, oldest first; adding to a full tracker drops the oldest.
// The statistics need at least 3 samples and are -1 otherwise.
class StatTracker {
  public:
    // The sample ring is allocated here, so timing a stage never allocates later.
    explicit StatTracker(unsigned capacity = 100) : m_capacity(capacity), m_ring(capacity, 0.0) {}

    unsigned getCapacity() const { return m_capacity; }
    // Shrinking drops the oldest samples beyond the new capacity.
    void setCapacity(unsigned capacity);

    // The owner's measurement start, in kt_tickcount milliseconds.
    void setStartTick(uint32_t tick) { m_startTick = tick; }
    uint32_t getStartTick() const { return m_startTick; }
    // setStartTick(kt_tickcount()).
    void start();
    // Adds the milliseconds since the start tick (wrap-safe) as a sample and returns them.
    double stop();

    void addSample(double value);
    // Drops the n oldest samples, fewer if there are fewer.
    void popFront(unsigned n);
    void clear() { m_head = m_count = 0; }
    size_t size() const { return m_count; }
    // A copy of the samples, oldest first.
    std::vector<double> samples() const;

    double mean() const;
    // Middle of a sorted copy; the average of the two middle values for an even count.
    double median() const;
    // Population standard deviation (divisor n) about the mean.
    double stddev() const;

  private:
    unsigned m_capacity;
    uint32_t m_startTick = 0;
    // A ring of `capacity` slots, only reused, so a tracker timing every frame allocates nothing.
    std::vector<double> m_ring;
    size_t m_head = 0;  // slot of the oldest sample
    size_t m_count = 0;
    mutable std::vector<double> m_sorted;  // median's scratch, kept for reuse
};

}  // namespace kttl
