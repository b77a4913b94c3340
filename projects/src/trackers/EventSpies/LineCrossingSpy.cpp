// LineCrossingSpy: raises an event for each object that crosses a line, both ways or one way, by
// its centre (segment mode) or with its whole box (whole-line mode).
#include "LineCrossingSpy.h"

#include <algorithm>
#include <cmath>

#include "SpyGeometry.h"
#include "ktml_CoordCast.h"

namespace {

typedef ktml::Point2D<double> PointD;

// The four corners (top-left, top-right, bottom-left, bottom-right) and the centre of a box.
void referencePoints(const ktml::BoundingBox<int>& b, PointD (&p)[5]) {
    const double l = b.x, t = b.y, r = double(b.x) + b.width, bo = double(b.y) + b.height;
    p[0] = PointD(l, t);
    p[1] = PointD(r, t);
    p[2] = PointD(l, bo);
    p[3] = PointD(r, bo);
    const ktml::Point2D<int> c = spygeo::centre(b);
    p[4] = PointD(c.x, c.y);
}

// On the segment: an end point, distances to both ends adding up exactly to its length, or exactly
// collinear within its ranges (the last catches what rounding of the sum would miss).
bool onSegment(const ktml::LineSegment2D<float>& s, const PointD& p) {
    const PointD a(s.first.x, s.first.y), b(s.second.x, s.second.y);
    if (p == a || p == b) return true;
    // Outside the segment's box no point lies on it: skips the two square roots for nearly every point.
    if (p.x < std::min(a.x, b.x) || p.x > std::max(a.x, b.x) || p.y < std::min(a.y, b.y) || p.y > std::max(a.y, b.y))
        return false;
    if (std::hypot(p.x - a.x, p.y - a.y) + std::hypot(p.x - b.x, p.y - b.y) == s.length()) return true;
    return ktml::LineSegment2D<double>(a, b).contains(p);
}

bool finite(const ktml::Point2D<float>& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

LineCrossingSpy::LineCrossingSpy() : LineCrossingSpy("", "") {}

LineCrossingSpy::LineCrossingSpy(const char* name, const char* desc) : FrameEventSpy(name, desc), m_crossLine(1) {
    m_line.crossLine = 1;
}

LineCrossingSpy::LineCrossingSpy(const LineCrossingSpy& other)
    : FrameEventSpy(other),
      m_segment(other.m_segment),
      m_lineWidth(other.m_lineWidth),
      m_lineHeight(other.m_lineHeight),
      m_crossLine(other.m_crossLine),
      m_direction(other.m_direction),
      m_line(other.m_line) {}

LineCrossingSpy::~LineCrossingSpy() = default;

void LineCrossingSpy::reset() {
    FrameEventSpy::reset();
    m_tripped.clear();
    m_started = false;
}

void LineCrossingSpy::onFrameResize(unsigned width, unsigned height) {
    FrameEventSpy::onFrameResize(width, height);
    if (width != 0 && height != 0) {
        m_lineWidth = ktml::coordCast<int>(width);
        m_lineHeight = ktml::coordCast<int>(height);
    }
    setLineSegment(m_segment);
}

void LineCrossingSpy::setLineSegment(const ktml::LineSegment2D<float>& segment) {
    m_segment = segment;
    if (!finite(segment.first) || !finite(segment.second)) {
        warn("line with a non-finite coordinate: the spy stays inactive");
        m_line.setLine(ktml::LineSegment2D<float>());
        return;
    }
    const bool normalized = segment.first.isNormalized() && segment.second.isNormalized();
    const double sx = normalized ? m_lineWidth : 1.0, sy = normalized ? m_lineHeight : 1.0;
    // Rounded half away from zero and saturated: 1e30 becomes the largest pixel, not an overflow.
    auto place = [&](const ktml::Point2D<float>& p) {
        return ktml::Point2D<float>(float(ktml::coordCast<int>(p.x * sx)), float(ktml::coordCast<int>(p.y * sy)));
    };
    m_line.setLine(ktml::LineSegment2D<float>(place(segment.first), place(segment.second)));
    m_line.crossLine = m_crossLine.get();
    m_line.direction = m_direction;
}

bool LineCrossingSpy::setDirection(int32_t direction) {
    if (direction < 0 || direction > 2) return false;
    m_direction = direction;
    m_line.direction = direction;
    m_line.sign = 0;
    return true;
}

bool LineCrossingSpy::checkObject(const Object& object, Tripped& record) {
    ktml::BoundingBox<int> box;
    if (!m_line.hasLength() || !object.newest(box)) return false;
    record.displacement = spygeo::displacement(object, box);
    PointD now[5], before[5];
    referencePoints(box, now);
    // The centre first, then the corners: a point exactly on the segment defers the judgement.
    for (int i = 4; i >= 0; --i)
        if (onSegment(m_line.line, now[i])) return false;
    referencePoints(record.box, before);
    record.bits &= ~uint32_t(LineCrossing<float>::DirectionMet);
    m_line.test(before[4], now[4], LineCrossing<float>::Centre, true, record.bits);
    const uint32_t cornerBits[4] = {LineCrossing<float>::TopLeft, LineCrossing<float>::TopRight,
                                    LineCrossing<float>::BottomLeft, LineCrossing<float>::BottomRight};
    for (int i = 0; i < 4; ++i) m_line.test(before[i], now[i], cornerBits[i], false, record.bits);
    record.box = box;
    const uint32_t crossing = record.bits & LineCrossing<float>::AllPoints;
    const bool directed = m_direction != 0;
    if (m_line.crossLine != 0) {
        const uint32_t all = LineCrossing<float>::AllPoints | (directed ? LineCrossing<float>::DirectionMet : 0u);
        return (record.bits & all) == all;
    }
    return crossing != 0 && (!directed || (record.bits & LineCrossing<float>::DirectionMet));
}

void LineCrossingSpy::internalSpy(ProcessFrame& frame) {
    if (!m_line.hasLength()) return;
    if (!m_started) {
        m_start = frame.getTimePosition();
        m_started = true;
    }
    if (frame.getResolution().getWidth() <= 0 || frame.getResolution().getHeight() <= 0) return;
    const ObjectMap& objects = frame.getObjects();
    for (const auto& kv : objects) {
        const Object& object = kv.second;
        ktml::BoundingBox<int> box;
        if (!object.newest(box) || object.isStatic() || object.getTrackStatus() < 2) continue;
        const unsigned id = static_cast<unsigned>(kv.first);
        auto it = m_tripped.find(id);
        if (it == m_tripped.end()) {
            Tripped fresh;
            // Objects already there when the spy started are judged from now on, not from birth.
            fresh.box = object.getBirthTime() < m_start ? box : object.getInitialBox();
            it = m_tripped.emplace(id, fresh).first;
        }
        if (object.getTrackStatus() == 2) continue;
        if (checkObject(object, it->second) && fitsSize(box) && it->second.displacement >= getMinDistance() &&
            object.age() >= getMinAge())
            addEventObject(id, frame, -1.0f);
    }
    for (auto it = m_tripped.begin(); it != m_tripped.end();) {
        if (objects.findObject(it->first)) ++it;
        else it = m_tripped.erase(it);
    }
}

kttl::String LineCrossingSpy::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += m_segment.first.toXML("first");
    out += m_segment.second.toXML("second");
    out += m_crossLine.toXML("cross-line");
    out += kttl::Integer(m_direction).toXML("direction");
    out.appendFormat("</%s>", tag);
    return out;
}

bool LineCrossingSpy::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    setMinAge(kttl::ElapsedTime(kDefaultMinAgeMs));
    ktml::LineSegment2D<float> segment = m_segment;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "first") {
            segment.first.fromDom(it);
        } else if (name == "second") {
            segment.second.fromDom(it);
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        } else if (name == "cross-line") {
            m_crossLine.fromXML(it.toXML().c_str());
        } else if (name == "direction") {
            kttl::Integer direction;
            if (!direction.fromXML(it.toXML().c_str()) || !setDirection(direction.get())) return false;
        }
    }
    setCrossLine(m_crossLine.get());
    setLineSegment(segment);
    return true;
}

void LineCrossingSpy::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(m_segment.first);
    stream.write(m_segment.second);
    stream.write(m_crossLine);
    stream.write(kttl::Integer(m_direction));
}

void LineCrossingSpy::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    ktml::Point2D<float> first, second;
    kttl::Integer crossLine, direction;
    stream.read(first);
    stream.read(second);
    stream.read(crossLine);
    stream.read(direction);
    if (!setDirection(direction.get())) ktsl::Serializable::fromBinFailed();
    setCrossLine(crossLine.get());
    reset();
    setLineSegment(ktml::LineSegment2D<float>(first, second));
}
