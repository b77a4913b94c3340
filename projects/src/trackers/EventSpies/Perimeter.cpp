// Perimeter ("Perimeter Intrusion"): raises an event for each object that came from outside every
// protected region into one far enough.
#include "Perimeter.h"

#include <cmath>

Perimeter::Perimeter() : FrameEventSpy("", "") {}

Perimeter::Perimeter(const char* name, const char* desc, double intrusion) : FrameEventSpy(name, desc) {
    setIntrusion(intrusion);
}

Perimeter::Perimeter(const Perimeter& other)
    : FrameEventSpy(other), m_regions(other.m_regions), m_mask(other.m_mask), m_runs(other.m_runs), m_intrusion(other.m_intrusion) {}

Perimeter::~Perimeter() = default;

void Perimeter::reset() {
    FrameEventSpy::reset();
    m_previous.clear();
}

void Perimeter::onFrameResize(unsigned width, unsigned height) {
    FrameEventSpy::onFrameResize(width, height);
    spygeo::buildMask(m_mask, m_regions, width, height);
    m_runs.build(m_mask);
}

bool Perimeter::setRegions(const std::list<spygeo::Region>& regions) {
    kttl::String why;
    for (const auto& r : regions)
        if (!spygeo::regionUsable(r, why)) {
            warn(why);
            return false;
        }
    m_regions.assign(regions.begin(), regions.end());
    spygeo::buildMask(m_mask, m_regions, getFrameWidth(), getFrameHeight());
    m_runs.build(m_mask);
    return true;
}

bool Perimeter::setIntrusion(double share) {
    if (!(share >= 0.0 && share <= 1.0)) {
        warn("intrusion outside 0..1 refused");
        return false;
    }
    m_intrusion = share;
    return true;
}

bool Perimeter::checkObject(const ObjectSnapshot& o) const {
    if (!o.hasNewest) return false;
    const double newestShare = o.newest.width > 0 && o.newest.height > 0 ? m_runs.share(o.newest) : 0.0;
    const double initialShare = o.initial.width > 0 && o.initial.height > 0 ? m_runs.share(o.initial) : 0.0;
    return newestShare >= m_intrusion && initialShare == 0.0 && o.passesCommon(*this);
}

void Perimeter::internalSpy(ProcessFrame& frame) {
    const ObjectMap& objects = frame.getObjects();
    for (const auto& kv : m_previous) {
        const Object* now = objects.findObject(kv.first);
        if (now && now->getTrackStatus() <= 2) continue;
        if (checkObject(now ? ObjectSnapshot(*now) : kv.second)) addEventObject(kv.first, frame, -1.0f);
    }
    // Keep this frame's objects (and only them) for the next step, reusing the nodes of those staying.
    for (auto it = m_previous.begin(); it != m_previous.end();) {
        if (objects.findObject(it->first)) ++it;
        else it = m_previous.erase(it);
    }
    for (const auto& kv : objects) m_previous[static_cast<unsigned>(kv.first)] = ObjectSnapshot(kv.second);
}

kttl::String Perimeter::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += spygeo::regionsXML("perimeter-regions", m_regions);
    out += "<intrusion>" + spygeo::numberText(m_intrusion) + "</intrusion>";
    out.appendFormat("</%s>", tag);
    return out;
}

bool Perimeter::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "perimeter-regions" || name == "ktml_PolygonList") {
            spygeo::RegionList regions;
            kttl::String why;
            if (!spygeo::parseRegions(it, regions, why)) {
                warn(why);
                return false;
            }
            setRegions(regions);
        } else if (name == "intrusion") {
            double share;
            if (!kttl::String(it.getValue()).parseDouble(share) || !setIntrusion(share)) return false;
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void Perimeter::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(m_regions);
    stream.write(kttl::Double(m_intrusion));
}

void Perimeter::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    spygeo::RegionList regions;
    kttl::Double intrusion;
    stream.read(regions);
    stream.read(intrusion);
    if (!setRegions(regions) || !setIntrusion(intrusion.get())) ktsl::Serializable::fromBinFailed();
    reset();
}
