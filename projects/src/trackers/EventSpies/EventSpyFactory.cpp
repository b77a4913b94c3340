// EventSpyFactory: holds one spy of any class and creates spies by type name or id.
#include "EventSpyFactory.h"

#include "Activity.h"
#include "CrowdDensity.h"
#include "Direction.h"
#include "EnterExit.h"
#include "Idle.h"
#include "Perimeter.h"
#include "LineCrossingSpy.h"
#include "ObjectSpy.h"
#include "ObjectTakenSpy.h"
#include "Speed.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"
#include "ktxml_DomIterator.h"

namespace {

struct SpyKind {
    const char* typeName;
    unsigned short typeId;
    const char* friendlyName;
};

// Every spy kind of the system; the alias reads as its kind but is never written.
const SpyKind kKinds[] = {
    {"DirectionSpy", ktsl::TypeId::Direction, "Wrong Way"},
    {"PerimeterSpy", ktsl::TypeId::Perimeter, "Perimeter Intrusion"},
    {"IdleSpy", ktsl::TypeId::Idle, "Idle Object"},
    {"LineCrossingSpy", ktsl::TypeId::LineCrossingSpy, "Line Crossing"},
    {"ActivitySpy", ktsl::TypeId::Activity, "Activity"},
    {"ObjectSpy", ktsl::TypeId::ObjectSpy, "Object Spy"},
    {"ObjectTakenSpy", ktsl::TypeId::ObjectTakenSpy, "Object Taken"},
    {"OpticalFlowSpy", ktsl::TypeId::OpticalFlowSpy, "Optical Flow Spy"},
    {"EnterExitSpy", ktsl::TypeId::EnterExit, "Enter Exit"},
    {"CrowdDensitySpy", ktsl::TypeId::CrowdDensity, "Crowd Density"},
    {"SpeedSpy", ktsl::TypeId::Speed, "Speed"},
    {"ExternalEventSpy", ktsl::TypeId::ExternalEventSpy, "External Input"},
    {"ProfileSpy", ktsl::TypeId::ProfileSpy, "Profile Spy"},
};
constexpr const char* kTripwireAlias = "TripwireSpy";

// Distance of the factory's default activity spies, in pixels.
constexpr unsigned kDefaultActivityDistance = 50;

kttl::String unavailableText(unsigned short typeId) {
    return kttl::String::format("spy type %s (%u) is not available in this build",
                                EventSpyFactory::getSpyTypeName(typeId).c_str(), unsigned(typeId));
}

EventSpy* capacityPreset() {
    Activity* spy = new Activity("", "", Activity::Threshold, 1, kDefaultActivityDistance);
    spy->setAlarmBlobs(true);
    return spy;
}

}  // namespace

EventSpyFactory::EventSpyFactory() = default;

EventSpyFactory::EventSpyFactory(const EventSpy* spy) {
    if (!spy) KT_THROW("EventSpyFactory", "EventSpyFactory() - spy is NULL!");
    m_spy.reset(spy->clone());
}

EventSpyFactory::EventSpyFactory(const EventSpyFactory& other)
    : ktsl::Serializable(other), m_spy(other.m_spy ? other.m_spy->clone() : nullptr), m_lastError(other.m_lastError) {}

EventSpyFactory& EventSpyFactory::operator=(const EventSpyFactory& other) {
    if (this != &other) {
        m_spy.reset(other.m_spy ? other.m_spy->clone() : nullptr);
        m_lastError = other.m_lastError;
    }
    return *this;
}

EventSpyFactory::~EventSpyFactory() = default;

unsigned short EventSpyFactory::getSpyType(const kttl::String& name) {
    if (name.equalsNoCase(kTripwireAlias)) return ktsl::TypeId::LineCrossingSpy;
    for (const SpyKind& kind : kKinds)
        if (name.equalsNoCase(kind.typeName)) return kind.typeId;
    return 0;
}

kttl::String EventSpyFactory::getSpyTypeName(unsigned short typeId) {
    for (const SpyKind& kind : kKinds)
        if (kind.typeId == typeId) return kind.typeName;
    return kttl::String();
}

bool EventSpyFactory::isAvailable(unsigned short typeId) {
    std::unique_ptr<EventSpy> spy(newEventSpy(typeId));
    return spy != nullptr;
}

EventSpy* EventSpyFactory::newEventSpy(unsigned short typeId) {
    switch (typeId) {
        case ktsl::TypeId::Activity: return new Activity();
        case ktsl::TypeId::LineCrossingSpy: return new LineCrossingSpy();
        case ktsl::TypeId::Direction: return new Direction();
        case ktsl::TypeId::Speed: return new Speed();
        case ktsl::TypeId::EnterExit: return new EnterExit();
        case ktsl::TypeId::Perimeter: return new Perimeter();
        case ktsl::TypeId::Idle: return new Idle();
        case ktsl::TypeId::CrowdDensity: return new CrowdDensity();
        case ktsl::TypeId::ObjectTakenSpy: return new ObjectTakenSpy();
        case ktsl::TypeId::ObjectSpy: return new ObjectSpy();
        default: return nullptr;
    }
}

EventSpy* EventSpyFactory::defaultEventSpy(const kttl::String& name) {
    if (name == kCapacityPreset) return capacityPreset();
    const unsigned short id = getSpyType(name);
    if (id == ktsl::TypeId::Activity) return new Activity("", "", Activity::NewObject, 0, kDefaultActivityDistance);
    return newEventSpy(id);
}

void EventSpyFactory::getAllEventSpies(std::map<kttl::String, kttl::String>& spies) {
    for (const SpyKind& kind : kKinds)
        if (isAvailable(kind.typeId)) spies[kind.typeName] = kind.friendlyName;
}

kttl::String EventSpyFactory::toXML() const { return m_spy ? m_spy->toXML() : kttl::String(); }

kttl::String EventSpyFactory::toXML(const char* tag) const { return m_spy ? m_spy->toXML(tag) : kttl::String(); }

bool EventSpyFactory::fromXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml)) {
        m_lastError = "spy XML is not well-formed";
        return false;
    }
    const kttl::String name = root.getName();
    std::unique_ptr<EventSpy> spy;
    if (name == kCapacityPreset) {
        spy.reset(capacityPreset());
        if (root.hasChildren() && !spy->fromXML(xml)) {
            m_lastError = "spy " + name + " refused its XML";
            return false;
        }
    } else {
        const unsigned short id = getSpyType(name);
        if (id == 0) {
            m_lastError = "unknown spy type " + name;
            return false;
        }
        spy.reset(newEventSpy(id));
        if (!spy) {
            m_lastError = unavailableText(id);
            return false;
        }
        if (!spy->fromXML(xml)) {
            m_lastError = "spy " + name + " refused its XML";
            return false;
        }
    }
    m_spy = std::move(spy);
    m_lastError.clear();
    return true;
}

unsigned EventSpyFactory::getBinLength() const { return 4 + (m_spy ? m_spy->getBinLength() : 0); }

unsigned EventSpyFactory::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.i32(m_spy ? m_spy->getTypeId() : 0);
    if (m_spy) w.value(*m_spy);
    return w.written();
}

unsigned EventSpyFactory::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const int32_t id = r.i32();
    if (id == 0) {
        m_spy.reset();
        return r.consumed();
    }
    if (id < 0 || id > 0xFFFF || getSpyTypeName(static_cast<unsigned short>(id)).empty())
        ktsl::Serializable::fromBinFailed();
    std::unique_ptr<EventSpy> spy(newEventSpy(static_cast<unsigned short>(id)));
    if (!spy) KT_THROW("EventSpyFactory", "fromBin() - " + unavailableText(static_cast<unsigned short>(id)));
    r.value(*spy);
    m_spy = std::move(spy);
    return r.consumed();
}
