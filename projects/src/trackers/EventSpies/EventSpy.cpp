// EventSpy: what every spy shares: identity, alarm settings, the guarded event cache and the
// registering and updating of events.
#include "EventSpy.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "ktsl_StringMap.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"

namespace {

// Warnings kept for a logger that is not set yet; older ones beyond this are dropped.
constexpr size_t kMaxPendingWarnings = 8;

// Live uids of every spy's cache, with the number of cached events holding each. The lock is a leaf:
// nothing else is taken while it is held.
std::mutex gLiveMutex;
std::unordered_map<uint32_t, unsigned> gLiveUIDs;


}  // namespace

std::atomic<uint32_t> EventSpy::mNextUID{0};

uint32_t EventSpy::acquireUID() {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    for (;;) {
        const uint32_t uid = mNextUID.fetch_add(1) + 1;
        if (uid == 0 || gLiveUIDs.count(uid) != 0) continue;
        gLiveUIDs[uid] = 1;
        return uid;
    }
}

void EventSpy::holdUID(uint32_t uid) {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    ++gLiveUIDs[uid];
}

void EventSpy::releaseUID(uint32_t uid) {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    auto it = gLiveUIDs.find(uid);
    if (it != gLiveUIDs.end() && --it->second == 0) gLiveUIDs.erase(it);
}

EventSpy::EventSpy(const kttl::String& name, const kttl::String& desc)
    : m_name(name), m_desc(desc), m_maxAge(kDefaultMaxAgeMs), m_alarmType("alarm") {}

EventSpy::EventSpy(const EventSpy& other)
    : ktsl::Serializable(other),
      kttl::Attributes(other),
      m_name(other.m_name),
      m_guid(other.m_guid),
      m_desc(other.m_desc),
      m_maxAge(other.m_maxAge),
      m_priority(other.m_priority),
      m_mergeEvents(other.m_mergeEvents),
      m_eventFrames(other.m_eventFrames),
      m_alarmType(other.m_alarmType),
      m_listener(other.m_listener),
      m_logger(other.m_logger) {}

EventSpy::~EventSpy() {
    CacheLock cache = lockCache();
    if (cache) clearCache(*cache);
}

void EventSpy::clearCache(EventCache& cache) {
    for (const auto& kv : cache.events()) releaseUID(kv.first);
    cache.clear();
}

unsigned short EventSpy::toPercent(float confidence) {
    const double percent = std::floor(static_cast<double>(confidence) * 100.0 + 0.5);
    if (!(percent > 0)) return 0;
    if (percent >= 65535.0) return 65535;
    return static_cast<unsigned short>(percent);
}

void EventSpy::getStatus(StatusMap&) const {}

void EventSpy::setListener(Listener* listener) { m_listener = listener; }

void EventSpy::setLogger(kttl::Logger* logger) {
    m_logger = logger;
    if (!m_logger) return;
    for (const kttl::String& text : m_pendingWarnings) log(kttl::WARN, text);
    m_pendingWarnings.clear();
}

void EventSpy::log(kttl::LogType level, const kttl::String& text) const {
    if (m_logger) m_logger->log(level, kttl::String(m_name + ": " + text));
}

void EventSpy::warn(const kttl::String& text) {
    if (m_logger) {
        log(kttl::WARN, text);
        return;
    }
    if (m_pendingWarnings.size() == kMaxPendingWarnings) m_pendingWarnings.pop_front();
    m_pendingWarnings.push_back(text);
}

bool EventSpy::setMaxAge(const kttl::ElapsedTime& age) {
    if (age.getMilliseconds() < 0) {
        // Events would age out before anyone could take them: a spy that never reports.
        warn(kttl::String::format("max-age of %lld ms refused, keeping %lld ms",
                                  static_cast<long long>(age.getMilliseconds()),
                                  static_cast<long long>(m_maxAge.getMilliseconds())));
        return false;
    }
    m_maxAge = age;
    return true;
}

uint32_t EventSpy::addEvent(Event event, const Frame* frame, bool keepUid) {
    CacheLock cache = lockCache();
    if (!cache) return 0;
    return addEventLocked(*cache, event, frame, keepUid);
}

uint32_t EventSpy::addEventLocked(EventCache& cache, Event& event, const Frame* frame, bool keepUid) {
    event.setAttribute("spy-guid", m_guid.toString());
    for (const auto& kv : getAttributeMap()) event.setAttribute(kv.first, kv.second);
    event.setOrigin(defaultOrigin(), false);
    event.setSpyType(getTypeName());
    bool fresh = false;
    if (event.getUID() == 0 || (!cache.exists(event.getUID()) && !keepUid)) {
        event.setUID(acquireUID());
        fresh = true;
    }
    Event* cached = cache.getEvent(event.getUID());
    if (cached) {
        event.raiseConfidence(cached->getConfidence());
        cached->updateData(event, false);
        cached->setReviewed(false);
    } else {
        bool existed;
        cached = &cache.insert(event, existed);
        if (!fresh) holdUID(event.getUID());
    }
    if (frame && m_eventFrames && cached->getType() != "count") {
        StatusMap status;
        getStatus(status);
        for (const auto& kv : status) cached->setAttribute(m_name + ":" + kv.first, kv.second);
        cached->addFrame(*frame, defaultOrigin(), false);
    }
    if (m_listener) m_listener->onSpyEvent(*cached);
    return cached->getUID();
}

uint32_t EventSpy::addEventFrame(uint32_t uid, const Frame& frame, float confidence, const char* subtitle,
                                 const char* desc) {
    CacheLock cache = lockCache();
    if (!cache) return 0;
    const unsigned short percent = toPercent(confidence);
    Event* cached = uid != 0 ? cache->getEvent(uid) : nullptr;
    if (!cached) {
        Event event(timePosition(frame), timePosition(frame), m_alarmType, m_priority, percent);
        if (subtitle) event.setSubtitle(subtitle);
        if (desc) event.setDescription(desc);
        return addEventLocked(*cache, event, &frame, false);
    }
    cached->setReviewed(false);
    cached->setStop(timePosition(frame));
    cached->setConfidence(std::max(cached->getConfidence(), percent));
    if (m_listener) m_listener->onSpyEvent(*cached);
    return uid;
}

bool EventSpy::markEventsReviewed() {
    CacheLock cache = lockCache();
    if (!cache) return false;
    cache->markReviewed();
    return true;
}

bool EventSpy::getEvents(std::list<Event>& events) {
    CacheLock cache = lockCache();
    if (!cache) return false;
    cache->getEvents(events, false);
    return true;
}

long EventSpy::cachedEventCount() const {
    auto cache = m_cache.getReadPtr(kCacheWaitMs);
    return cache ? static_cast<long>(cache->size()) : -1;
}

void EventSpy::clean(const kttl::TimeStamp& now) {
    std::set<uint32_t> removed;
    {
        CacheLock cache = lockCache();
        if (!cache) return;
        cache->setMaxTimes(kttl::ElapsedTime(kReviewedAgeMs), m_maxAge);
        cache->clean(now, &removed);
    }
    for (uint32_t uid : removed) {
        releaseUID(uid);
        onEventCleaned(uid);
    }
}

void EventSpy::onEventCleaned(uint32_t) {}

kttl::String EventSpy::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s", tag);
    if (m_guid.isValid()) out += " guid=\"" + m_guid.toString() + "\"";
    out += ">";
    out += m_name.toXML("name");
    out += m_desc.toXML("desc");
    out += m_maxAge.toXML("max-age");
    out.appendFormat("<priority>%u</priority>", unsigned(m_priority));
    if (m_mergeEvents) out += "<merge-events/>";
    if (m_alarmType != "alarm") out += m_alarmType.toXML("alarm-type");
    onCreateXML(out);
    if (attributeCount() != 0) out += attributesToXML("attributes");
    out.appendFormat("</%s>", tag);
    return out;
}

bool EventSpy::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    clearAttributes();
    m_mergeEvents = false;
    m_alarmType = "alarm";
    m_guid.clear();
    if (root.hasAttribute("guid")) m_guid.fromString(root.getAttribute("guid").c_str());
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "attributes") {
            attributesFromXML(it.toXML().c_str());
        } else if (name == "name") {
            m_name.fromXML(it.toXML().c_str());
        } else if (name == "desc") {
            m_desc.fromXML(it.toXML().c_str());
        } else if (name == "max-age") {
            kttl::ElapsedTime age;
            if (age.fromXML(it.toXML().c_str())) setMaxAge(age);
        } else if (name == "priority") {
            uint64_t n;
            if (kttl::String(it.getValue()).parseUnsigned(0xFFFF, n)) m_priority = static_cast<unsigned short>(n);
        } else if (name == "merge-events") {
            m_mergeEvents = true;
        } else if (name == "alarm-type") {
            m_alarmType.fromXML(it.toXML().c_str());
        } else {
            onParseXML(it);
        }
    }
    return true;
}

bool EventSpy::fromXML(const char* xml) {
    // Read once into a copy first, so a refused text leaves this spy as it was.
    std::unique_ptr<EventSpy> probe(clone());
    probe->m_logger = nullptr;
    if (!probe->parseXML(xml)) return false;
    parseXML(xml);
    CacheLock cache = lockCache();
    if (cache) clearCache(*cache);
    return true;
}

void EventSpy::internalSerialize(ktsl::MemIOStream& stream) const {
    stream.write(m_name);
    stream.write(m_guid);
    stream.write(m_desc);
    stream.write(m_maxAge);
    stream.write(kttl::Integer(m_priority));
    stream.write(kttl::Integer(m_mergeEvents ? 1 : 0));
    stream.write(m_alarmType);
    ktsl::StringMap<kttl::String> attributes;
    for (const auto& kv : getAttributeMap()) attributes.emplace(kv.first, kv.second);
    stream.write(attributes);
    serialize(stream);
}

unsigned EventSpy::getBinLength() const {
    ktsl::MemIOStream stream;
    internalSerialize(stream);
    return stream.getBinLength();
}

unsigned EventSpy::toBin(unsigned char* out) const {
    ktsl::MemIOStream stream;
    internalSerialize(stream);
    return stream.toBin(out);
}

void EventSpy::parseStream(ktsl::MemIOStream& stream) {
    kttl::String name, desc, alarmType;
    kttl::UUID guid;
    kttl::ElapsedTime maxAge;
    kttl::Integer priority, merge;
    ktsl::StringMap<kttl::String> attributes;
    stream.read(name);
    stream.read(guid);
    stream.read(desc);
    stream.read(maxAge);
    stream.read(priority);
    stream.read(merge);
    stream.read(alarmType);
    stream.read(attributes);
    if (priority.get() < 0 || priority.get() > 0xFFFF) ktsl::Serializable::fromBinFailed();
    m_name = name;
    m_guid = guid;
    m_desc = desc;
    setMaxAge(maxAge);
    m_priority = static_cast<unsigned short>(priority.get());
    m_mergeEvents = merge.get() != 0;
    m_alarmType = alarmType;
    clearAttributes();
    for (const auto& kv : attributes) setAttribute(kv.first, kv.second);
    unserialize(stream);
}

unsigned EventSpy::fromBin(const unsigned char* in, unsigned length) {
    ktsl::MemIOStream stream;
    const unsigned used = stream.fromBin(in, length);
    try {
        // Read once into a copy first, so a refused input leaves this spy as it was.
        std::unique_ptr<EventSpy> probe(clone());
        probe->m_logger = nullptr;
        ktsl::MemIOStream trial(stream);
        probe->parseStream(trial);
    } catch (const kttl::Exception&) {
        ktsl::Serializable::fromBinFailed();
    }
    parseStream(stream);
    CacheLock cache = lockCache();
    if (cache) clearCache(*cache);
    return used;
}
