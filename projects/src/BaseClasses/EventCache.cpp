// EventCache: the events of one spy (or of the detector) keyed by uid, aged out by their last update.
#include "EventCache.h"

EventCache::EventCache()
    : m_reviewedAge(kttl::ElapsedTime(kDefaultReviewedAgeMs)), m_maxAge(kttl::ElapsedTime(kDefaultMaxAgeMs)) {}

EventCache::EventCache(const kttl::ElapsedTime& reviewedAge, const kttl::ElapsedTime& maxAge)
    : m_reviewedAge(reviewedAge), m_maxAge(maxAge) {}

Event& EventCache::insert(const Event& event, bool& existed) {
    auto result = m_events.emplace(event.getUID(), event);
    existed = !result.second;
    return result.first->second;
}

Event* EventCache::getEvent(uint32_t uid) {
    auto it = m_events.find(uid);
    return it == m_events.end() ? nullptr : &it->second;
}

const Event* EventCache::getEvent(uint32_t uid) const {
    auto it = m_events.find(uid);
    return it == m_events.end() ? nullptr : &it->second;
}

Event* EventCache::getFirstEvent() { return m_events.empty() ? nullptr : &m_events.begin()->second; }

void EventCache::getEvents(std::list<Event>& events, bool clear) {
    for (auto& kv : m_events) {
        if (kv.second.getStatus() != Event::New) continue;
        events.push_back(kv.second);
        kv.second.setReviewed(true);
    }
    if (clear) m_events.clear();
}

void EventCache::markReviewed() {
    for (auto& kv : m_events)
        if (kv.second.getStatus() == Event::New) kv.second.setReviewed(true);
}

void EventCache::getEvents(std::map<unsigned, Event>& events, bool clear) {
    for (auto& kv : m_events) {
        if (kv.second.getStatus() != Event::New) continue;
        events[kv.first] = kv.second;
        kv.second.setReviewed(true);
    }
    if (clear) m_events.clear();
}

void EventCache::update(const std::list<Event>& events) {
    for (const Event& event : events) {
        bool existed;
        Event& stored = insert(event, existed);
        if (!existed) continue;
        stored.updateData(event, true);
        stored.setReviewed(false);
    }
}

void EventCache::setMaxTimes(const kttl::ElapsedTime& reviewedAge, const kttl::ElapsedTime& maxAge) {
    m_reviewedAge = reviewedAge;
    m_maxAge = maxAge;
}

void EventCache::clean(const kttl::TimeStamp& now, std::set<uint32_t>* removed) {
    for (auto it = m_events.begin(); it != m_events.end();) {
        const Event& e = it->second;
        const bool expired = e.getUpdated() + m_maxAge < now ||
                             (e.getStatus() != Event::New && e.getUpdated() + m_reviewedAge < now);
        if (!expired) {
            ++it;
            continue;
        }
        if (removed) removed->insert(it->first);
        it = m_events.erase(it);
    }
}
