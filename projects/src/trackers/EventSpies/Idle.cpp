// Idle ("Idle Object"): raises an event for each object that has stayed within `movement` pixels
// of where it stood for the wait-time, inside the zones.
#include "Idle.h"

#include <cmath>

#include "SpyGeometry.h"

namespace {

double distance(double ax, double ay, double bx, double by) { return std::hypot(bx - ax, by - ay); }

}  // namespace

Idle::Idle() : FrameEventSpy("", "") {}

Idle::Idle(const char* name, const char* desc, const kttl::ElapsedTime& waitTime, int movement)
    : FrameEventSpy(name, desc) {
    setWaitTime(waitTime);
    setMovement(movement);
}

Idle::Idle(const Idle& other) : FrameEventSpy(other), m_wait(other.m_wait), m_movement(other.m_movement) {}

Idle::~Idle() = default;

void Idle::reset() {
    FrameEventSpy::reset();
    m_records.clear();
}

bool Idle::setWaitTime(const kttl::ElapsedTime& wait) {
    if (wait.getMilliseconds() < 0) {
        warn("negative wait-time refused");
        return false;
    }
    m_wait = wait;
    return true;
}

bool Idle::setMovement(int pixels) {
    if (pixels < 0) {
        warn("negative movement refused");
        return false;
    }
    m_movement = pixels;
    return true;
}

void Idle::dropOldest(Record& r) {
    r.sumX -= r.centres.front().x;
    r.sumY -= r.centres.front().y;
    r.centres.pop_front();
}

void Idle::internalSpy(ProcessFrame& frame) {
    const ObjectMap& objects = frame.getObjects();
    for (const auto& kv : objects) {
        const Object& object = kv.second;
        ktml::BoundingBox<int> box;
        kttl::ElapsedTime seen;
        if (object.getTrackStatus() < 2 || !object.newest(box) || !object.newestPosition(seen) || !fitsSize(box))
            continue;
        Record& r = m_records[static_cast<unsigned>(kv.first)];
        const ktml::Point2D<int> c = spygeo::centre(box);
        const int64_t now = seen.getMilliseconds();
        if (!r.centres.empty() && distance(r.centres.back().x, r.centres.back().y, c.x, c.y) > m_movement) {
            r.centres.clear();
            r.sumX = r.sumY = 0;
            r.idle = false;
        } else if (!r.centres.empty() && now - r.centres.front().ms > m_wait.getMilliseconds()) {
            while (!r.centres.empty() && now - r.centres.front().ms > m_wait.getMilliseconds()) dropOldest(r);
            const double n = double(r.centres.size());
            const double mx = n > 0 ? r.sumX / n : c.x, my = n > 0 ? r.sumY / n : c.y;
            if (inZones(int(std::lround(mx)), int(std::lround(my)))) r.idle = true;
        }
        if (r.centres.empty() || r.centres.back().ms != now) {
            r.centres.push_back(Sample{now, c.x, c.y});
            r.sumX += c.x;
            r.sumY += c.y;
        }
    }
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (!objects.findObject(it->first)) {
            it = m_records.erase(it);
            continue;
        }
        Record& r = it->second;
        while (r.centres.size() > 1) {
            const double n = double(r.centres.size());
            if (distance(r.sumX / n, r.sumY / n, r.centres.front().x, r.centres.front().y) <= m_movement) break;
            dropOldest(r);
            r.idle = false;
        }
        if (r.idle) addEventObject(it->first, frame, -1.0f);
        ++it;
    }
}

kttl::String Idle::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += m_wait.toXML("wait-time");
    out.appendFormat("<movement>%d</movement>", m_movement);
    out.appendFormat("</%s>", tag);
    return out;
}

bool Idle::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "wait-time") {
            kttl::ElapsedTime wait;
            if (!wait.fromXML(it.toXML().c_str()) || !setWaitTime(wait)) return false;
        } else if (name == "movement") {
            int v;
            if (!kttl::String(it.getValue()).parseInt(v) || !setMovement(v)) return false;
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void Idle::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(m_wait);
    stream.write(kttl::Integer(m_movement));
}

void Idle::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::ElapsedTime wait;
    kttl::Integer movement;
    stream.read(wait);
    stream.read(movement);
    if (!setWaitTime(wait) || !setMovement(movement.get())) ktsl::Serializable::fromBinFailed();
    reset();
}
