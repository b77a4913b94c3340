// EventDetector: the video process that runs the configured spies over processed frames and
// gathers their new and updated events for the pipeline.
#include "EventDetector.h"

#include <memory>
#include <vector>

#include "ktpl_InterfaceIds.h"

const char* const EventDetection::kInterfaceId = ktpl::iid::EventDetection;

EventDetector::EventDetector() : m_interval(EventDetectorParams::kDefaultIntervalMs) {}

EventDetector::~EventDetector() = default;

bool EventDetector::supports(const char* iid, ktpl::Plugin** out) {
    if (ktpl::isInterface(iid, ktpl::iid::EventDetection)) {
        if (out) *out = static_cast<EventDetection*>(this);
        return true;
    }
    return VideoProcess::supports(iid, out);
}

ProcessParams EventDetector::getDefaultParameters() const {
    // Through the binary form, so that the plain block carries the detector's payload.
    const EventDetectorParams defaults;
    std::vector<unsigned char> bytes(defaults.getBinLength());
    defaults.toBin(bytes.data());
    ProcessParams params;
    params.fromBin(bytes.data(), static_cast<unsigned>(bytes.size()));
    return params;
}

void EventDetector::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const {
    auto spies = m_spies.getReadPtr(kLockWaitMs);
    if (!spies) return;
    for (const auto& kv : *spies) kv.second->getRequiredImageTypes(types);
}

void EventDetector::resetProcess() {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return;
    m_nextDue = kttl::ElapsedTime();
    m_frameEvents.clear();
    m_frameAttributes.clear();
    for (auto& kv : *spies) kv.second->reset();
}

void EventDetector::onFrameResize(unsigned width, unsigned height, double) {
    if (width == 0 || height == 0) return;
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return;
    for (auto& kv : *spies) kv.second->reserveFrameSize(width, height);
}

void EventDetector::onSetLogger(kttl::Logger* logger) {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return;
    for (auto& kv : *spies) kv.second->setLogger(logger);
}

void EventDetector::setListener(EventSpy::Listener* listener) {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return;
    m_listener = listener;
    if (!listener) return;
    for (auto& kv : *spies) kv.second->setListener(listener);
}

bool EventDetector::onSetParameters(const ProcessParams& params) {
    EventDetectorParams read{kttl::ElapsedTime(EventDetectorParams::kDefaultIntervalMs)};
    const ktsl::MemIOStream payload = params.binSerialize();
    const bool ok = !payload.isEmpty() ? read.binUnserialize(payload) : read.xmlUnserialize(params.xmlSerialize());
    if (!ok) return false;
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return false;
    for (const kttl::String& why : read.getSkipped()) log(kttl::WARN, "spy left out: " + why);
    spies->clear();
    for (const EventSpyFactory& factory : read.getSpies()) {
        if (!factory.hasSpy()) continue;
        if (!dynamic_cast<const FrameEventSpy*>(factory.getSpy())) {
            log(kttl::WARN, "spy " + factory.getSpy()->getName() + " is not frame-driven: left out");
            continue;
        }
        storeSpy(*spies, *factory.getSpy(), false);
    }
    m_interval = read.getInterval();
    m_nextDue = kttl::ElapsedTime();
    return true;
}

bool EventDetector::storeSpy(SpyMap& spies, const EventSpy& spy, bool mustExist) {
    const FrameEventSpy* frameSpy = dynamic_cast<const FrameEventSpy*>(&spy);
    if (!frameSpy) return false;
    const kttl::String name = spy.getName();
    if (mustExist && spies.count(name) == 0) return false;
    kttl::SmartPtr<FrameEventSpy>& slot = spies[name];
    slot = kttl::SmartPtr<FrameEventSpy>(static_cast<FrameEventSpy*>(frameSpy->clone()));
    if (m_listener) slot->setListener(m_listener);
    // A fresh spy from the spy's own XML: it starts without events, state or frame size.
    EventSpyFactory factory;
    if (!factory.fromXML(spy.toXML().c_str())) return false;
    std::unique_ptr<EventSpy> rebuilt(factory.releaseSpy());
    FrameEventSpy* fresh = dynamic_cast<FrameEventSpy*>(rebuilt.get());
    if (!fresh) return false;
    rebuilt.release();
    fresh->setLogger(getLogger());
    fresh->setListener(m_listener ? m_listener : spy.getListener());
    slot = kttl::SmartPtr<FrameEventSpy>(fresh);
    return true;
}

bool EventDetector::addSpy(const EventSpy& spy) {
    if (!dynamic_cast<const FrameEventSpy*>(&spy)) return false;
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    return spies && storeSpy(*spies, spy, false);
}

bool EventDetector::setSpy(const EventSpy& spy) {
    if (!dynamic_cast<const FrameEventSpy*>(&spy)) return false;
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    return spies && storeSpy(*spies, spy, true);
}

bool EventDetector::getSpies(std::list<EventSpyFactory>& out) const {
    auto spies = m_spies.getReadPtr(kLockWaitMs);
    if (!spies) return false;
    for (const auto& kv : *spies) out.emplace_back(kv.second.operator->());
    return true;
}

void EventDetector::getSupportedSpies(std::map<kttl::String, kttl::String>& spies) const {
    EventSpyFactory::getAllEventSpies(spies);
}

bool EventDetector::removeSpy(const kttl::String& name) {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    return spies && spies->erase(name) != 0;
}

bool EventDetector::renameSpy(const kttl::String& oldName, const kttl::String& newName) {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return false;
    auto it = spies->find(oldName);
    if (it == spies->end()) return false;
    kttl::SmartPtr<FrameEventSpy> spy = it->second;
    spies->erase(it);
    spy->setName(newName);
    (*spies)[newName] = spy;
    return true;
}

bool EventDetector::getEvents(std::list<Event>& events) {
    auto cache = m_events.getWritePtr(kLockWaitMs);
    if (!cache) return false;
    cache->getEvents(events, true);
    return true;
}

bool EventDetector::onProcessFrame(ProcessFrame& frame) {
    auto spies = m_spies.getWritePtr(kLockWaitMs);
    if (!spies) return false;
    const kttl::ElapsedTime pos = frame.getPosition();
    if (pos < m_lastPosition) m_nextDue = pos;
    m_lastPosition = pos;
    for (auto& kv : *spies) {
        EventSpy::StatusMap status;
        kv.second->getStatus(status);
        for (const auto& entry : status) frame.setAttribute(kv.first + ":" + entry.first, entry.second);
    }
    const uint32_t flags = frame.getFrameFlags();
    if (pos < m_nextDue && (flags & kForceFlag) == 0) {
        m_pendingFlags |= flags & kCarriedFlags;
        frame.setEvents(m_frameEvents);
        for (const auto& kv : m_frameAttributes) frame.setAttribute(kv.first, kv.second);
        return true;
    }
    auto cache = m_events.getWritePtr(kLockWaitMs);
    if (!cache) {
        log(kttl::ERR, "onProcessFrame - Unable to lock event map.");
        return false;
    }
    m_frameEvents.clear();
    m_frameAttributes.clear();
    m_nextDue = pos + m_interval;
    frame.setFrameFlags(flags | (m_pendingFlags & kCarriedFlags));
    for (auto& kv : *spies) {
        kv.second->spy(frame);
        m_collected.clear();
        if (kv.second->getEvents(m_collected) && !m_collected.empty()) cache->update(m_collected);
    }
    cache->clean(kttl::TimeStamp::systemTime());
    frame.setEvents(m_frameEvents);
    frame.setFrameFlags(flags);
    m_pendingFlags = 0;
    return true;
}
