// EventSpy: what every spy shares: identity, alarm settings, the guarded event cache and the
// registering and updating of events.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>

#include "Event.h"
#include "EventCache.h"
#include "EventOrigin.h"
#include "Frame.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Serializable.h"
#include "ktst_Vault.h"
#include "kttl_Attributes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_LogType.h"
#include "kttl_Logger.h"
#include "kttl_String.h"
#include "kttl_UUID.h"
#include "ktxml_DomIterator.h"

// The event cache is the only state shared with other threads; every access goes through its vault
// with a bounded wait, and a wait that fails skips the operation. Listener calls happen while the
// cache lock is held. Configuration (name, zones, ...) belongs to the thread that drives the spy.
//
// Keep the virtual slot order: spies built apart call through the table.
class EventSpy : public ktsl::Serializable, public kttl::Attributes {
public:
    // Told about every event the spy creates or updates, with the cached event.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void onSpyEvent(Event& event) = 0;
    };
    typedef std::map<kttl::String, kttl::String> StatusMap;

    // Longest wait for the event cache lock.
    static constexpr uint32_t kCacheWaitMs = 15000;
    // A reviewed event stays this long after its last update.
    static constexpr int64_t kReviewedAgeMs = 15000;
    static constexpr int64_t kDefaultMaxAgeMs = 300000;

    // Process-wide source of event uids: incremented atomically, the new value is the uid (the first
    // is 1). After 2^32 events it wraps; a uid of 0 or one held by a live cached event of any spy is
    // then skipped.
    static std::atomic<uint32_t> mNextUID;

    EventSpy(const kttl::String& name, const kttl::String& desc);
    // Copies the configuration, listener and logger; the copy starts with an empty event cache.
    EventSpy(const EventSpy& other);
    EventSpy& operator=(const EventSpy&) = delete;
    ~EventSpy() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::EventSpy; }
    kttl::String getTypeName() const override { return "EventSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag guid="..">name, desc, max-age, priority, [merge-events], [alarm-type], the subclass part,
    // [attributes]</tag>; the guid attribute only for a valid GUID.
    kttl::String toXML(const char* tag) const override;
    // False (spy unchanged) when the text does not parse, its root has no children or the subclass
    // refuses it; on success the event cache is emptied.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Refused input throws the fromBin failure and leaves the spy unchanged; on success the event
    // cache is emptied.
    unsigned fromBin(const unsigned char* in, unsigned length) override;
    // A new spy of the same class with the same configuration (caller owns it).
    virtual EventSpy* clone() const = 0;
    // Status values the spy publishes (default: none).
    virtual void getStatus(StatusMap& status) const;
    virtual void reset() = 0;
    virtual kttl::String getFriendlyName() const = 0;
    // Neither is owned; both must outlive their use here.
    virtual void setListener(Listener* listener);
    virtual void setLogger(kttl::Logger* logger);
    // The subclass's part of the binary form, as records of the stream.
    virtual void serialize(ktsl::MemIOStream& stream) const = 0;
    virtual void unserialize(ktsl::MemIOStream& stream) = 0;
    // The subclass's part of the XML body, and one child element it may take.
    virtual void onCreateXML(kttl::String& xml) const = 0;
    virtual void onParseXML(const ktxml::DomIterator& child) = 0;
    // Ages the cache (reviewed 15 s, any event max-age after its last update), then calls
    // onEventCleaned for each removed uid (ascending) with the lock released.
    virtual void clean(const kttl::TimeStamp& now);
    virtual void onEventCleaned(uint32_t uid);
    // Writes the common records, then serialize().
    virtual void internalSerialize(ktsl::MemIOStream& stream) const;
    // "<name>: <text>" at `level` when a logger is set.
    virtual void log(kttl::LogType level, const kttl::String& text) const;

    // Registers `event` (see the class comment of the cache rules): GUID, spy attributes, origin and
    // spy type are stamped on it; a uid of 0, or one the cache does not hold unless keepUid, is
    // replaced by a fresh one; a cached event of that uid takes its data (confidence: the larger)
    // and becomes New; with `frame` (and a type other than "count") the status values and an
    // image-less copy of the frame are added. Returns the uid, 0 when the cache lock failed.
    uint32_t addEvent(Event event, const Frame* frame, bool keepUid);
    // Extends the event `uid` (New again, stop at the frame, confidence the larger) or, for 0 or an
    // unknown uid, registers a new one. `confidence` is a fraction (see toPercent); null texts are
    // not set. Returns the uid, 0 when the cache lock failed.
    uint32_t addEventFrame(uint32_t uid, const Frame& frame, float confidence, const char* subtitle = nullptr,
                           const char* desc = nullptr);
    // Appends copies of the New events and marks them Reviewed; false when the lock failed.
    bool getEvents(std::list<Event>& events);
    // Number of cached events; -1 when the lock failed.
    long cachedEventCount() const;

    // The address every spy files its events under.
    static kttl::String defaultOrigin() { return kDefaultEventOrigin; }
    // fraction x 100 rounded half up; 0 when negative or NaN, 65535 from 655.35 up.
    static unsigned short toPercent(float confidence);

    const kttl::String& getName() const { return m_name; }
    void setName(const kttl::String& name) { m_name = name; }
    const kttl::UUID& getGUID() const { return m_guid; }
    void setGUID(const kttl::UUID& guid) { m_guid = guid; }
    const kttl::String& getDesc() const { return m_desc; }
    void setDesc(const kttl::String& desc) { m_desc = desc; }
    const kttl::ElapsedTime& getMaxAge() const { return m_maxAge; }
    // A negative age is refused (false, with a warning).
    bool setMaxAge(const kttl::ElapsedTime& age);
    unsigned short getPriority() const { return m_priority; }
    void setPriority(unsigned short priority) { m_priority = priority; }
    bool getMergeEvents() const { return m_mergeEvents; }
    void setMergeEvents(bool merge) { m_mergeEvents = merge; }
    const kttl::String& getAlarmType() const { return m_alarmType; }
    void setAlarmType(const kttl::String& type) { m_alarmType = type; }
    Listener* getListener() const { return m_listener; }
    // Whether events carry the frame they were raised on and the spy's status then (the default).
    // A spy whose events only feed its listener turns it off: copying the frame, every object with
    // its history, costs far more than the event itself.
    bool getEventFrames() const { return m_eventFrames; }
    // Marks the cached New events reviewed without copying them out (for events nobody reads, so
    // they age out after the reviewed age). False when the cache lock could not be had.
    bool markEventsReviewed();
    void setEventFrames(bool on) { m_eventFrames = on; }
    kttl::Logger* getLogger() const { return m_logger; }

protected:
    typedef ktst::VaultSafePointer<EventCache> CacheLock;

    // The cache under its lock; a null handle when the wait failed.
    CacheLock lockCache() { return m_cache.getWritePtr(kCacheWaitMs); }
    // addEvent with the cache already locked.
    uint32_t addEventLocked(EventCache& cache, Event& event, const Frame* frame, bool keepUid);
    // Empties a locked cache, giving its uids back.
    void clearCache(EventCache& cache);
    // Reads the common part of the XML form (then onParseXML for other children); false when the
    // root has no children. Subclasses with their own root layout override it.
    virtual bool parseXML(const char* xml);
    // Reads the common records (then unserialize()); throws on refused input.
    virtual void parseStream(ktsl::MemIOStream& stream);
    // A configuration warning: logged at WARN, or kept (a few) until a logger is set.
    void warn(const kttl::String& text);
    // The time position of a frame as events hold it.
    static Event::TimePosition timePosition(const Frame& frame) {
        return Event::TimePosition(frame.getTimePosition(), frame.getPosition());
    }

private:
    // Fresh uid, marked live. hold/release count a uid's cached events across all spies.
    static uint32_t acquireUID();
    static void holdUID(uint32_t uid);
    static void releaseUID(uint32_t uid);

    kttl::String m_name;
    kttl::UUID m_guid;
    kttl::String m_desc;
    kttl::ElapsedTime m_maxAge;
    unsigned short m_priority = 0;
    bool m_mergeEvents = false;
    bool m_eventFrames = true;
    kttl::String m_alarmType;
    ktst::Vault<EventCache> m_cache;
    Listener* m_listener = nullptr;
    kttl::Logger* m_logger = nullptr;
    std::list<kttl::String> m_pendingWarnings;
};
