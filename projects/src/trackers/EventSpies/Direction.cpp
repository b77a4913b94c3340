// Direction ("Wrong Way"): raises an event for each object that keeps moving in a configured
// direction, within a tolerance, over a time window.
#include "Direction.h"

#include <algorithm>
#include <cmath>

#include "SpyGeometry.h"
#include "kt_tick.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
constexpr long long kFullTurnDegrees = 360;
constexpr long long kHalfTurnDegrees = 180;

double wrap(double a) {
    a = std::fmod(a, 2 * kPi);
    return a < 0 ? a + 2 * kPi : a;
}

long long parseDegrees(const ktxml::DomIterator& it, bool& ok) {
    double d = 0;
    ok = kttl::String(it.getValue()).parseDouble(d) && std::isfinite(d);
    return ok ? static_cast<long long>(std::max(-1e15, std::min(1e15, std::round(d)))) : 0;
}

}  // namespace

Direction::Direction() : FrameEventSpy("", ""), m_window(-1000) {}

Direction::Direction(const char* name, const char* desc, unsigned angle, unsigned tolerance,
                     const kttl::ElapsedTime& timeWindow, unsigned minDistance)
    : FrameEventSpy(name, desc), m_window(-1000) {
    setAngleDegrees(angle);
    setToleranceDegrees(tolerance);
    setTimeWindow(timeWindow);
    setMinDistance(minDistance);
}

Direction::Direction(const Direction& other)
    : FrameEventSpy(other), m_angle(other.m_angle), m_tolerance(other.m_tolerance), m_window(other.m_window) {}

Direction::~Direction() = default;

void Direction::reset() {
    FrameEventSpy::reset();
    m_records.clear();
}

void Direction::setAngleDegrees(long long degrees) {
    long long d = degrees % kFullTurnDegrees;
    if (d < 0) d += kFullTurnDegrees;
    m_angle = double(d) * kDegree;
}

void Direction::setToleranceDegrees(long long degrees) {
    m_tolerance = double(std::max(0LL, std::min(kHalfTurnDegrees, degrees))) * kDegree;
}

bool Direction::setTimeWindow(const kttl::ElapsedTime& window) {
    if (window.getMilliseconds() < 0) {
        warn("negative time-window refused");
        return false;
    }
    m_window = window;
    return true;
}

double Direction::motionAngle(double px, double py, double qx, double qy) {
    if (px == qx && py == qy) return -1;
    return wrap(std::atan2(py - qy, qx - px));
}

double Direction::trendAngle(const std::deque<Sample>& centres) {
    if (centres.size() < 2) return -1;
    double mx = 0, my = 0;
    for (const Sample& s : centres) {
        mx += s.x;
        my += s.y;
    }
    mx /= double(centres.size());
    my /= double(centres.size());
    double sxx = 0, syy = 0, sxy = 0;
    for (const Sample& s : centres) {
        sxx += (s.x - mx) * (s.x - mx);
        syy += (s.y - my) * (s.y - my);
        sxy += (s.x - mx) * (s.y - my);
    }
    if (sxx == 0 && syy == 0) return -1;
    // Principal axis of the centres.
    const double theta = 0.5 * std::atan2(2 * sxy, sxx - syy);
    double dx = std::cos(theta), dy = std::sin(theta);
    // Point it at the end of the fitted segment nearer the current (newest) centre.
    double lo = 0, hi = 0;
    for (const Sample& s : centres) {
        const double t = (s.x - mx) * dx + (s.y - my) * dy;
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    const double now = (centres.back().x - mx) * dx + (centres.back().y - my) * dy;
    if (std::fabs(now - lo) < std::fabs(hi - now)) {
        dx = -dx;
        dy = -dy;
    }
    return wrap(std::atan2(-dy, dx));
}

double Direction::angleDifference(double a, double b) {
    const double d = std::fabs(wrap(a) - wrap(b));
    return d > kPi ? 2 * kPi - d : d;
}

void Direction::internalSpy(ProcessFrame& frame) {
    if (m_angle < 0 || m_tolerance < 0 || m_window.getMilliseconds() < 0) return;
    const uint32_t now = kt_tickcount();
    const ObjectMap& objects = frame.getObjects();
    for (const auto& kv : objects) {
        const Object& object = kv.second;
        ktml::BoundingBox<int> box;
        kttl::ElapsedTime seen;
        if (!object.newest(box) || !object.newestPosition(seen) || object.isStatic() || object.getTrackStatus() < 2)
            continue;
        const unsigned id = static_cast<unsigned>(kv.first);
        Record& r = m_records[id];
        if (object.getTrackStatus() == 2) continue;
        // Every centre is queued; those that left the window go.
        const ktml::Point2D<int> c = spygeo::centre(box);
        const int64_t t = seen.getMilliseconds();
        if (r.centres.empty() || r.centres.back().ms != t) r.centres.push_back(Sample{t, double(c.x), double(c.y)});
        while (!r.centres.empty() && t - r.centres.front().ms > m_window.getMilliseconds()) r.centres.pop_front();
        bool match = false;
        if (inZones(c.x, c.y) && fitsSize(box)) {
            const double trend = trendAngle(r.centres);
            const double moved = motionAngle(r.centres.front().x, r.centres.front().y, c.x, c.y);
            match = trend >= 0 && moved >= 0 && angleDifference(trend, m_angle) <= m_tolerance &&
                    angleDifference(moved, m_angle) <= m_tolerance;
        }
        if (match) {
            r.holdMs = m_window.getMilliseconds();
            r.lastMatchTick = now;
            r.matched = true;
            if (r.startX < 0) {
                r.startX = r.centres.front().x;
                r.startY = r.centres.front().y;
            }
            const double dx = c.x - r.startX, dy = c.y - r.startY;
            if (std::floor(std::sqrt(dx * dx + dy * dy) + 0.5) >= getMinDistance() && object.age() >= getMinAge())
                addEventObject(id, frame, -1.0f);
        } else if (!r.matched || int64_t(uint32_t(now - r.lastMatchTick)) >= r.holdMs) {
            r.startX = r.startY = -1;
            r.matched = false;
        }
    }
    // A departed object's record goes once its hold time has passed (at once if it never matched).
    for (auto it = m_records.begin(); it != m_records.end();) {
        const Record& r = it->second;
        if (!objects.findObject(it->first) && (!r.matched || int64_t(uint32_t(now - r.lastMatchTick)) >= r.holdMs))
            it = m_records.erase(it);
        else
            ++it;
    }
}

kttl::String Direction::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    // Unset values are left out: read back, a -1 would be an angle of 359 degrees.
    if (m_angle >= 0) out.appendFormat("<angle>%d</angle>", int(std::lround(m_angle / kDegree)));
    if (m_tolerance >= 0) out.appendFormat("<tolerance>%d</tolerance>", int(std::lround(m_tolerance / kDegree)));
    if (m_window.getMilliseconds() >= 0) out += m_window.toXML("time-window");
    out.appendFormat("</%s>", tag);
    return out;
}

bool Direction::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        bool ok = false;
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "angle") {
            const long long d = parseDegrees(it, ok);
            if (ok) setAngleDegrees(d);
        } else if (name == "tolerance") {
            const long long d = parseDegrees(it, ok);
            if (ok) setToleranceDegrees(d);
        } else if (name == "time-window") {
            kttl::ElapsedTime window;
            if (window.fromXML(it.toXML().c_str())) setTimeWindow(window);
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void Direction::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Double(m_angle));
    stream.write(kttl::Double(m_tolerance));
    stream.write(m_window);
}

void Direction::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Double angle, tolerance;
    kttl::ElapsedTime window;
    stream.read(angle);
    stream.read(tolerance);
    stream.read(window);
    // Unset (-1) or a proper angle; anything else, NaN included, is refused.
    const double a = angle.get(), t = tolerance.get();
    if (!(a == -1 || (a >= 0 && a < 2 * kPi)) || !(t == -1 || (t >= 0 && t <= kPi)))
        ktsl::Serializable::fromBinFailed();
    m_angle = a;
    m_tolerance = t;
    m_window = window;
    reset();
}
