// kttl::TimeQueue: values ordered by time, keeping only those within a sliding window.
#pragma once

#include <deque>
#include <limits>
#include <utility>

#include "kttl_ElapsedTime.h"
#include "kttl_Exception.h"
#include "kttl_TimeStamp.h"

namespace kttl {

// Entries (time, value) in ascending time order; equal times keep insertion order. An entry is
// dropped by clean(now) once it is more than `window` older than `now`; one exactly a window old
// stays. Plain value, no locking.
template <class T>
class TimeQueue {
public:
    using Entry = std::pair<TimeStamp, T>;
    using Container = std::deque<Entry>;
    using iterator = typename Container::iterator;
    using const_iterator = typename Container::const_iterator;
    using Range = std::pair<const_iterator, const_iterator>;

    // Without a window nothing ever ages out.
    TimeQueue() : m_window(std::numeric_limits<int64_t>::max()) {}
    explicit TimeQueue(const ElapsedTime& window) : m_window(checked(window)) {}

    const ElapsedTime& getWindow() const { return m_window; }
    // Throws like the constructor for a negative window; does not clean.
    void setWindow(const ElapsedTime& window) { m_window = checked(window); }

    // An entry older than the oldest goes in front and nothing is cleaned; otherwise it goes after
    // the last entry not later than it and the queue is cleaned against the newest time.
    // The value is taken by value and moved in, so a caller handing over a temporary copies nothing.
    void insert(T value, const TimeStamp& time) {
        if (m_entries.empty()) {
            m_entries.emplace_back(time, std::move(value));
            return;
        }
        if (time < m_entries.front().first) {
            m_entries.emplace_front(time, std::move(value));
            return;
        }
        auto at = m_entries.end();
        while (at != m_entries.begin() && time < std::prev(at)->first) --at;
        m_entries.emplace(at, time, std::move(value));
        clean(m_entries.back().first);
    }

    // Drops entries from the oldest end while now - time > window.
    void clean(const TimeStamp& now) {
        while (!m_entries.empty() && now - m_entries.front().first > m_window) m_entries.pop_front();
    }

    const TimeStamp& newestTime() const {
        if (m_entries.empty()) KT_THROW("ktml::TimeQueue", "newestTime() - queue is empty");
        return m_entries.back().first;
    }
    T& newest() {
        if (m_entries.empty()) KT_THROW("ktml::TimeQueue", "newest() - queue is empty");
        return m_entries.back().second;
    }
    const T& newest() const { return const_cast<TimeQueue*>(this)->newest(); }
    T& oldest() {
        if (m_entries.empty()) KT_THROW("ktml::TimeQueue", "oldest() - queue is empty");
        return m_entries.front().second;
    }
    const T& oldest() const { return const_cast<TimeQueue*>(this)->oldest(); }
    const TimeStamp& oldestTime() const {
        if (m_entries.empty()) KT_THROW("ktml::TimeQueue", "oldestTime() - queue is empty");
        return m_entries.front().first;
    }

    // The entries clean(now) would remove: from the oldest up to (not including) the first whose
    // time is not earlier than now - window. Empty when the queue is empty or its newest entry is
    // later than now.
    Range top(const TimeStamp& now) const {
        if (m_entries.empty() || now < m_entries.back().first) return Range(m_entries.end(), m_entries.end());
        auto it = m_entries.begin();
        while (it != m_entries.end() && now - it->first > m_window) ++it;
        return Range(m_entries.begin(), it);
    }
    bool willPop(const TimeStamp& now) const {
        Range r = top(now);
        return r.first != r.second;
    }

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }
    void pop_front() { m_entries.pop_front(); }
    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

private:
    static ElapsedTime checked(const ElapsedTime& window) {
        if (window.getMilliseconds() < 0) KT_THROW("ktml::TimeQueue", "TimeQueue() - time window can not be negative");
        return window;
    }

    ElapsedTime m_window;
    Container m_entries;
};

}  // namespace kttl
