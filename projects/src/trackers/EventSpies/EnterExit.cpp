// EnterExit ("Enter Exit"): reports objects that enter or leave the zones, each with the word
// "Enter" or "Exit" as the event's subtitle.
#include "EnterExit.h"

kttl::String EnterExit::typeToString(Type type) {
    switch (type) {
        case Both: return "Both";
        case Enter: return "Enter";
        case Exit: return "Exit";
        default: return "Unknown";
    }
}

EnterExit::Type EnterExit::stringToType(const kttl::String& text) {
    if (text == "Both") return Both;
    if (text == "Enter") return Enter;
    if (text == "Exit") return Exit;
    return Unknown;
}

EnterExit::EnterExit() : FrameEventSpy("", "") {}

EnterExit::EnterExit(const char* name, const char* desc, Type type, Type zoneType)
    : FrameEventSpy(name, desc), m_type(valid(type)), m_zoneType(valid(zoneType)) {}

EnterExit::EnterExit(const EnterExit& other)
    : FrameEventSpy(other), m_type(other.m_type), m_zoneType(other.m_zoneType) {}

EnterExit::~EnterExit() = default;

void EnterExit::reset() {
    FrameEventSpy::reset();
    m_previous.clear();
    m_kept.clear();
    m_frameCopy.reset();
    m_spareCopy.reset();
}

bool EnterExit::inAnyZone(const spygeo::Box& box) const {
    const ktml::Point2D<int> c = spygeo::centre(box);
    return !getPixelZones().empty() && inZones(c.x, c.y);
}

void EnterExit::report(unsigned id, const Frame& frame, bool entered) {
    // With zone-type Exit the zones mark the outside: the words swap.
    const bool enterWord = (m_zoneType == Exit) ? !entered : entered;
    if (enterWord && (m_type == Both || m_type == Enter)) addEventObject(id, frame, -1.0f, "Enter");
    if (!enterWord && (m_type == Both || m_type == Exit)) addEventObject(id, frame, -1.0f, "Exit");
}

void EnterExit::internalSpy(ProcessFrame& frame) {
    const ObjectMap& objects = frame.getObjects();
    if (!getPixelZones().empty()) {
        // Exits.
        for (const auto& kv : objects) {
            const ObjectSnapshot o(kv.second);
            if (o.passesCommon(*this) && inAnyZone(o.initial) && !inAnyZone(o.newest))
                report(static_cast<unsigned>(kv.first), frame, false);
        }
        // Pending entrants keep this frame (one shared copy); the others lose theirs.
        for (const auto& kv : objects) {
            const unsigned id = static_cast<unsigned>(kv.first);
            ktml::BoundingBox<int> box;
            if (kv.second.newest(box) && !inAnyZone(kv.second.getInitialBox()) && inAnyZone(box)) {
                if (m_frameCopy.isNull() || !(*m_frameCopy == frame)) {
                    // Entrants of the previous frame still point at m_frameCopy (the entries
                    // below may report with it), so only the copy before it can be reused.
                    kttl::SmartPtr<Frame> next = (!m_spareCopy.isNull() && m_spareCopy.getRefCount() == 1)
                                                     ? m_spareCopy
                                                     : kttl::SmartPtr<Frame>(new Frame);
                    m_spareCopy = m_frameCopy;
                    Event::copyWithoutImages(frame, *next);
                    m_frameCopy = next;
                }
                m_kept[id] = m_frameCopy;
            } else {
                m_kept.erase(id);
            }
        }
        // Entries: judged once the object has gone or its track ended (status 0 or 2).
        for (const auto& kv : m_previous) {
            const Object* now = objects.findObject(kv.first);
            if (now && now->getTrackStatus() != 0 && now->getTrackStatus() != 2) continue;
            const ObjectSnapshot o = now ? ObjectSnapshot(*now) : kv.second;
            if (!o.hasNewest || inAnyZone(o.initial) || !inAnyZone(o.newest) || !o.passesCommon(*this)) continue;
            auto kept = m_kept.find(kv.first);
            report(kv.first, kept != m_kept.end() ? static_cast<const Frame&>(*kept->second) : frame, true);
        }
    }
    for (auto it = m_previous.begin(); it != m_previous.end();) {
        if (objects.findObject(it->first)) ++it;
        else it = m_previous.erase(it);
    }
    for (auto it = m_kept.begin(); it != m_kept.end();) {
        if (objects.findObject(it->first)) ++it;
        else it = m_kept.erase(it);
    }
    if (m_kept.empty()) m_frameCopy.reset();
    for (const auto& kv : objects) m_previous[static_cast<unsigned>(kv.first)] = ObjectSnapshot(kv.second);
}

kttl::String EnterExit::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += "<type>" + typeToString(m_type) + "</type>";
    out += "<zone-type>" + typeToString(m_zoneType) + "</zone-type>";
    out.appendFormat("</%s>", tag);
    return out;
}

bool EnterExit::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "type") {
            setType(stringToType(it.getValue()));
        } else if (name == "zone-type") {
            setZoneType(stringToType(it.getValue()));
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void EnterExit::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Integer(m_type));
    stream.write(kttl::Integer(m_zoneType));
}

void EnterExit::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Integer type, zoneType;
    stream.read(type);
    stream.read(zoneType);
    setType(static_cast<Type>(type.get()));
    setZoneType(static_cast<Type>(zoneType.get()));
    reset();
}
