// Activity: the spy the camera application configures: new objects, departed objects, changes of
// the object count, or a count above a limit, inside (or outside) the zones.
#include "Activity.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>
#include <tuple>

namespace {

bool boxLess(const ktml::BoundingBox<int>& a, const ktml::BoundingBox<int>& b) {
    return std::tie(a.x, a.y, a.width, a.height) < std::tie(b.x, b.y, b.width, b.height);
}

// Centre with integer division, as the zones are tested.
void centre(const ktml::BoundingBox<int>& box, int& cx, int& cy) {
    cx = box.x + box.width / 2;
    cy = box.y + box.height / 2;
}

}  // namespace

kttl::String Activity::typeToString(Type type) {
    switch (type) {
        case Delta: return "Delta";
        case NewObject: return "NewObject";
        case DeadObject: return "DeadObject";
        case Threshold: return "Threshold";
        default: return "Unknown";
    }
}

Activity::Type Activity::stringToType(const kttl::String& text) {
    if (text == "Delta") return Delta;
    if (text == "NewObject") return NewObject;
    if (text == "DeadObject") return DeadObject;
    if (text == "Threshold") return Threshold;
    return Unknown;
}

Activity::Activity() : FrameEventSpy("", ""), m_maxActivity(1) {}

Activity::Activity(const char* name, const char* desc, Type type, unsigned maxActivity, unsigned minDistance)
    : FrameEventSpy(name, desc), m_maxActivity(static_cast<int32_t>(std::min<unsigned>(maxActivity, INT_MAX))) {
    setType(type);
    setMinDistance(minDistance);
}

Activity::Activity(const Activity& other)
    : FrameEventSpy(other),
      m_type(other.m_type),
      m_maxActivity(other.m_maxActivity),
      m_lastCount(other.m_lastCount),
      m_currentEvent(other.m_currentEvent),
      m_pending(other.m_pending),
      m_frameCopy(other.m_frameCopy) {}

Activity::~Activity() = default;

void Activity::setType(Type type) { m_type = (type >= Delta && type <= Threshold) ? type : Unknown; }

void Activity::reset() {
    FrameEventSpy::reset();
    m_lastCount = kNoCount;
    m_pending.clear();
    m_frameCopy.reset();
}

bool Activity::qualifiesCommon(const Object& object, ktml::BoundingBox<int>& box) const {
    if (object.getTrackStatus() <= 2 || !object.newest(box)) return false;
    int cx, cy;
    centre(box, cx, cy);
    return inZones(cx, cy) && fitsSize(box);
}

bool Activity::qualifiesMoving(const Object& object) const {
    ktml::BoundingBox<int> box;
    if (!qualifiesCommon(object, box) || object.historySize() <= 2) return false;
    int x0, y0, x1, y1;
    centre(object.getInitialBox(), x0, y0);
    centre(box, x1, y1);
    const double dx = static_cast<double>(x1) - x0, dy = static_cast<double>(y1) - y0;
    const double distance = std::floor(std::sqrt(dx * dx + dy * dy) + 0.5);
    return distance > static_cast<double>(getMinDistance()) && object.age() >= getMinAge();
}

bool Activity::qualifiesCounting(const Object& object) const {
    ktml::BoundingBox<int> box;
    return qualifiesCommon(object, box) && hasClass(object);
}

void Activity::internalSpy(ProcessFrame& frame) {
    switch (m_type) {
        case NewObject: spyNewObjects(frame); break;
        case DeadObject: spyDeadObjects(frame); break;
        case Delta:
        case Threshold: spyCount(frame); break;
        default: break;
    }
}

void Activity::spyNewObjects(ProcessFrame& frame) {
    for (const auto& kv : frame.getObjects())
        if (qualifiesMoving(kv.second)) addEventObject(static_cast<unsigned>(kv.first), frame, -1.0f);
}

void Activity::spyDeadObjects(ProcessFrame& frame) {
    for (const auto& kv : frame.getObjects()) {
        if (!qualifiesMoving(kv.second)) continue;
        if (m_frameCopy.isNull() || !(*m_frameCopy == frame)) {
            // Image-less: a pending object needs the frame's time and objects, never its pixels.
            m_frameCopy = kttl::SmartPtr<Frame>(new Frame);
            Event::copyWithoutImages(frame, *m_frameCopy);
        }
        m_pending[static_cast<unsigned>(kv.first)] = m_frameCopy;
    }
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (frame.getObjects().findObject(it->first) != nullptr) {
            ++it;
            continue;
        }
        addEventObject(it->first, *it->second, -1.0f);
        it = m_pending.erase(it);
    }
}

void Activity::spyCount(ProcessFrame& frame) {
    m_ids.clear();
    m_boxes.clear();
    for (const auto& kv : frame.getObjects()) {
        ktml::BoundingBox<int> box;
        if (!qualifiesCommon(kv.second, box) || !hasClass(kv.second)) continue;
        m_ids.push_back(static_cast<unsigned>(kv.first));
        m_boxes.push_back(box);
    }
    uint32_t count = static_cast<uint32_t>(m_ids.size());
    if (getAlarmBlobs()) {
        // Objects that share one newest box are one blob.
        std::sort(m_boxes.begin(), m_boxes.end(), boxLess);
        count = static_cast<uint32_t>(std::unique(m_boxes.begin(), m_boxes.end()) - m_boxes.begin());
    }
    const bool changed = m_lastCount == kNoCount || m_lastCount != count;
    const bool above = static_cast<int64_t>(count) > static_cast<int64_t>(m_maxActivity.get());
    if ((m_type == Delta && changed) || (m_type == Threshold && above)) {
        const Event::TimePosition at = timePosition(frame);
        Event event(at, at, getAlarmType(), getPriority(), 100);
        event.setObjects(std::set<int>(m_ids.begin(), m_ids.end()), defaultOrigin());
        event.setAttribute("object-count", kttl::String::format("%u", count));
        if (m_type == Delta) {
            addEvent(event, nullptr, false);
        } else {
            event.setUID(m_currentEvent);
            m_currentEvent = addEvent(event, m_currentEvent == 0 ? &frame : nullptr, false);
        }
    } else if (m_type == Threshold && m_maxActivity.get() < static_cast<int32_t>(m_lastCount)) {
        m_currentEvent = 0;
    }
    m_lastCount = count;
}

kttl::String Activity::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += "<type>" + typeToString(m_type) + "</type>";
    out += m_maxActivity.toXML("max-activity");
    out.appendFormat("</%s>", tag);
    return out;
}

bool Activity::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    setMinAge(kttl::ElapsedTime(kDefaultMinAgeMs));
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "type") {
            setType(stringToType(it.getValue()));
        } else if (name == "max-activity") {
            m_maxActivity.fromXML(it.toXML().c_str());
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void Activity::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Integer(m_type));
    stream.write(m_maxActivity);
}

void Activity::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Integer type, maxActivity;
    stream.read(type);
    stream.read(maxActivity);
    setType(static_cast<Type>(type.get()));
    m_maxActivity = maxActivity;
    m_lastCount = kNoCount;
}
