// Speed: times each object between two lines and raises an event, with the measured speed as its
// description, when it covers the distance faster than the speed limit.
#include "Speed.h"

#include <cmath>

#include "ktml_CoordCast.h"

namespace {

const char* const kLineNames[2] = {"Line Crossing 1", "Line Crossing 2"};

bool readSegment(const ktxml::DomIterator& it, ktml::LineSegment2D<float>& out) {
    ktml::LineSegment2D<float> s = out;
    for (ktxml::DomIterator c = it.childrenBegin(); !c.atEnd(); c.nextSibling()) {
        if (c.getName() == "first" && !s.first.fromDom(c)) return false;
        if (c.getName() == "second" && !s.second.fromDom(c)) return false;
    }
    out = s;
    return true;
}

kttl::String segmentXML(const char* tag, const ktml::LineSegment2D<float>& s) {
    return kttl::String::format("<%s>", tag) + s.first.toXML("first") + s.second.toXML("second") +
           kttl::String::format("</%s>", tag);
}

}  // namespace

Speed::Speed() : Speed("", "") {}

Speed::Speed(const char* name, const char* desc)
    : FrameEventSpy(name, desc),
      m_lines{LineCrossingSpy(kLineNames[0], ""), LineCrossingSpy(kLineNames[1], "")},
      m_listeners{LineListener(this, 0), LineListener(this, 1)} {
    wire();
}

Speed::Speed(const Speed& other)
    : FrameEventSpy(other),
      m_unit(other.m_unit),
      m_distance(other.m_distance),
      m_speedLimit(other.m_speedLimit),
      m_timeLimit(other.m_timeLimit),
      m_lines{other.m_lines[0], other.m_lines[1]},
      m_listeners{LineListener(this, 0), LineListener(this, 1)} {
    wire();
}

Speed::~Speed() = default;

void Speed::wire() {
    for (int i = 0; i < 2; ++i) {
        m_lines[i].setListener(&m_listeners[i]);
        // Only the crossing times are read from the inner events.
        m_lines[i].setEventFrames(false);
    }
}

void Speed::LineListener::onSpyEvent(Event& event) {
    const int64_t at = event.getStart().second.getMilliseconds();
    static const kttl::String origin = EventSpy::defaultOrigin();
    event.forEachObjectID(origin, [&](int id) {
        Crossings& c = m_owner->m_crossings[static_cast<unsigned>(id)];
        (m_line == 0 ? c.first : c.second) = at;
    });
}

void Speed::reset() {
    FrameEventSpy::reset();
    m_crossings.clear();
    for (LineCrossingSpy& line : m_lines) line.reset();
}

void Speed::setUnit(int32_t unit) {
    m_unit = unit == English ? English : Metric;
    updateTimeLimit();
}

void Speed::setDistance(int32_t distance) {
    m_distance = distance;
    updateTimeLimit();
}

void Speed::setSpeedLimit(int32_t limit) {
    m_speedLimit = limit;
    updateTimeLimit();
}

void Speed::setSegments(const ktml::LineSegment2D<float>& first, const ktml::LineSegment2D<float>& second) {
    m_lines[0].setLineSegment(first);
    m_lines[1].setLineSegment(second);
}

void Speed::updateTimeLimit() {
    if (m_distance <= 0 || m_speedLimit <= 0) {
        m_timeLimit = kttl::ElapsedTime(0);
        return;
    }
    const double perUnit = m_unit == English ? kFeetPerMile : kMetresPerKm;
    m_timeLimit = kttl::ElapsedTime::fromMilliseconds(double(m_distance) / perUnit / m_speedLimit * kMsPerHour);
}

kttl::String Speed::speedText(int64_t dtMs) const {
    if (dtMs <= 0) return "Unkown Speed";
    const double perUnit = m_unit == English ? kFeetPerMile : kMetresPerKm;
    const double speed = double(m_distance) / perUnit / (double(dtMs) / kMsPerHour);
    return kttl::String::format("%d %s", ktml::coordCast<int>(std::floor(speed + 0.5)),
                                m_unit == English ? "mph" : "km/h");
}

void Speed::internalSpy(ProcessFrame& frame) {
    for (LineCrossingSpy& line : m_lines) {
        line.spy(frame);
        // Nobody else reads the inner events: marked reviewed, they age out in
        // 15 s instead of piling up for max-age.
        line.markEventsReviewed();
    }
    const ObjectMap& objects = frame.getObjects();
    for (auto it = m_crossings.begin(); it != m_crossings.end();) {
        if (!objects.findObject(it->first)) {
            it = m_crossings.erase(it);
            continue;
        }
        const Crossings& c = it->second;
        if (c.first >= 0 && c.second >= 0) {
            const int64_t dt = std::llabs(c.first - c.second);
            if (dt < m_timeLimit.getMilliseconds())
                addEventObject(it->first, frame, -1.0f, nullptr, speedText(dt).c_str());
        }
        ++it;
    }
}

kttl::String Speed::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out.appendFormat("<speed-limit>%d</speed-limit><distance>%d</distance>", m_speedLimit, m_distance);
    out += m_unit == English ? "<unit>english</unit>" : "<unit>metric</unit>";
    out += segmentXML("first-segment", m_lines[0].getLineSegment());
    out += segmentXML("second-segment", m_lines[1].getLineSegment());
    out.appendFormat("</%s>", tag);
    return out;
}

bool Speed::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    ktml::LineSegment2D<float> first = m_lines[0].getLineSegment(), second = m_lines[1].getLineSegment();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        int v;
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "speed-limit" || name == "distance") {
            if (!kttl::String(it.getValue()).parseInt(v)) return false;
            if (name == "distance") m_distance = v;
            else m_speedLimit = v;
        } else if (name == "unit") {
            const kttl::String unit = kttl::String(it.getValue()).trimmed().toLower();
            if (unit != "english" && unit != "metric") return false;
            m_unit = unit == "english" ? English : Metric;
        } else if (name == "first-segment") {
            if (!readSegment(it, first)) return false;
        } else if (name == "second-segment") {
            if (!readSegment(it, second)) return false;
        }
    }
    updateTimeLimit();
    setSegments(first, second);
    return true;
}

void Speed::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Integer(m_unit));
    stream.write(kttl::Integer(m_distance));
    stream.write(kttl::Integer(m_speedLimit));
    for (const LineCrossingSpy& line : m_lines) {
        stream.write(line.getLineSegment().first);
        stream.write(line.getLineSegment().second);
    }
}

void Speed::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Integer unit, distance, limit;
    ktml::Point2D<float> p[4];
    stream.read(unit);
    stream.read(distance);
    stream.read(limit);
    for (auto& point : p) stream.read(point);
    reset();
    m_unit = unit.get() == English ? English : Metric;
    m_distance = distance.get();
    m_speedLimit = limit.get();
    updateTimeLimit();
    setSegments(ktml::LineSegment2D<float>(p[0], p[1]), ktml::LineSegment2D<float>(p[2], p[3]));
}
