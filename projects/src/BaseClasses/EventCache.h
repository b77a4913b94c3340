// EventCache: the events of one spy (or of the detector) keyed by uid, aged out by their last update.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <set>

#include "Event.h"
#include "kttl_ElapsedTime.h"
#include "kttl_TimeStamp.h"

// Not synchronised: its owners keep it in a vault.
class EventCache {
public:
    typedef std::map<uint32_t, Event> EventMap;

    static constexpr int64_t kDefaultReviewedAgeMs = 15000;
    static constexpr int64_t kDefaultMaxAgeMs = 300000;

    // Reviewed age 15 s, maximum age 5 minutes.
    EventCache();
    EventCache(const kttl::ElapsedTime& reviewedAge, const kttl::ElapsedTime& maxAge);

    // Stores a copy under its uid unless the uid is present (the stored event is then untouched);
    // `existed` tells which. Returns the stored event, valid until it is removed.
    Event& insert(const Event& event, bool& existed);
    bool exists(uint32_t uid) const { return m_events.count(uid) != 0; }
    // The stored event, or null.
    Event* getEvent(uint32_t uid);
    const Event* getEvent(uint32_t uid) const;
    // The event with the smallest uid, or null.
    Event* getFirstEvent();

    // Appends a copy of every New event (uid order) and marks the stored one Reviewed (its frames
    // are dropped). With `clear` the cache is emptied afterwards.
    void getEvents(std::list<Event>& events, bool clear);
    // The same into a uid-keyed map, assigning over entries already there.
    void getEvents(std::map<unsigned, Event>& events, bool clear);
    // Marks every New event Reviewed, as getEvents does, without copying any out.
    void markReviewed();
    // Unknown uids are stored; known ones take the event's data and frames and become New.
    void update(const std::list<Event>& events);

    void setMaxTimes(const kttl::ElapsedTime& reviewedAge, const kttl::ElapsedTime& maxAge);
    const kttl::ElapsedTime& getReviewedAge() const { return m_reviewedAge; }
    const kttl::ElapsedTime& getMaxAge() const { return m_maxAge; }
    void clear() { m_events.clear(); }
    // Removes every event last updated more than the maximum age before `now`, and every event that
    // is not New and was last updated more than the reviewed age before `now`; their uids are added
    // to `removed` when given.
    void clean(const kttl::TimeStamp& now, std::set<uint32_t>* removed = nullptr);

    size_t size() const { return m_events.size(); }
    bool empty() const { return m_events.empty(); }
    const EventMap& events() const { return m_events; }

private:
    EventMap m_events;
    kttl::ElapsedTime m_reviewedAge;
    kttl::ElapsedTime m_maxAge;
};
