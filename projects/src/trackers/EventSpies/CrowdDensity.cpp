// CrowdDensity ("Crowd Density"): raises one event per episode in which the share of occupied pixels
// in the crowd regions stays above a limit for the wait-time.
#include "CrowdDensity.h"

#include <cmath>

namespace {

// Built once: a name built per frame would allocate.
const kttl::String& processedName() {
    static const kttl::String name("Processed Image");
    return name;
}
const kttl::String& stationaryName() {
    static const kttl::String name("Stationary Object Processed");
    return name;
}

// The gray plane of a set image when it has the mask's size; null otherwise.
const unsigned char* plane(const ProcessFrame& frame, const kttl::String& name, const spygeo::RegionMask& mask) {
    const kt_image* image = frame.getSetImage(name, Frame::kGray);
    if (!image || !image->data || image->channels != 1 || image->width != mask.columns() ||
        image->height != mask.rows())
        return nullptr;
    return image->data;
}

}  // namespace

CrowdDensity::CrowdDensity() : FrameEventSpy("", "") {}

CrowdDensity::CrowdDensity(const char* name, const char* desc, float maxDensity, const kttl::ElapsedTime& waitTime)
    : FrameEventSpy(name, desc) {
    setMaxDensity(maxDensity);
    setWaitTime(waitTime);
}

CrowdDensity::CrowdDensity(const CrowdDensity& other)
    : FrameEventSpy(other),
      m_maxDensity(other.m_maxDensity),
      m_wait(other.m_wait),
      m_regions(other.m_regions),
      m_mask(other.m_mask),
      m_regionPixels(other.m_regionPixels) {}

CrowdDensity::~CrowdDensity() = default;

void CrowdDensity::reset() {
    FrameEventSpy::reset();
    m_denseSince = m_lastDense = -1;
    m_currentUid = 0;
}

void CrowdDensity::onFrameResize(unsigned width, unsigned height) {
    FrameEventSpy::onFrameResize(width, height);
    spygeo::buildMask(m_mask, m_regions, width, height);
    m_regionPixels = spygeo::maskCount(m_mask);
}

void CrowdDensity::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const {
    types[processedName()] = kttl::Integer(Frame::kGray);
    types[stationaryName()] = kttl::Integer(Frame::kGray);
}

bool CrowdDensity::setMaxDensity(float share) {
    if (!(share >= 0.0f && share <= 1.0f)) {
        warn("max-density outside 0..1 refused");
        return false;
    }
    m_maxDensity = share;
    return true;
}

bool CrowdDensity::setWaitTime(const kttl::ElapsedTime& wait) {
    if (wait.getMilliseconds() < 0) {
        warn("negative wait-time refused");
        return false;
    }
    m_wait = wait;
    return true;
}

bool CrowdDensity::setRegions(const std::list<spygeo::Region>& regions) {
    kttl::String why;
    for (const auto& r : regions)
        if (!spygeo::regionUsable(r, why)) {
            warn(why);
            return false;
        }
    m_regions.assign(regions.begin(), regions.end());
    spygeo::buildMask(m_mask, m_regions, getFrameWidth(), getFrameHeight());
    m_regionPixels = spygeo::maskCount(m_mask);
    return true;
}

void CrowdDensity::internalSpy(ProcessFrame& frame) {
    const unsigned char* a = plane(frame, processedName(), m_mask);
    const unsigned char* b = plane(frame, stationaryName(), m_mask);
    if ((!a && !b) || m_regionPixels == 0) return;
    const unsigned char* mask = m_mask.cells().data();
    const size_t n = m_mask.cells().size();
    size_t occupied = 0;
    // Branch-free so the loop vectorises: a whole 1080p frame is a couple of million pixels.
    if (a && b) {
        for (size_t i = 0; i < n; ++i) occupied += mask[i] & ((a[i] > kOccupiedAbove) | (b[i] > kOccupiedAbove));
    } else {
        const unsigned char* p = a ? a : b;
        for (size_t i = 0; i < n; ++i) occupied += mask[i] & (p[i] > kOccupiedAbove);
    }
    m_lastDensity = double(occupied) / double(m_regionPixels);
    const int64_t now = frame.getPosition().getMilliseconds();
    if (m_lastDensity > m_maxDensity) {
        if (m_denseSince < 0) m_denseSince = now;
        m_lastDense = now;
        if (now - m_denseSince >= m_wait.getMilliseconds()) m_currentUid = addEventFrame(m_currentUid, frame, 1.0f);
    } else if (m_denseSince >= 0 && now - m_lastDense >= m_wait.getMilliseconds()) {
        m_currentUid = 0;
        m_denseSince = -1;
    }
}

kttl::String CrowdDensity::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += kttl::Double(m_maxDensity).toXML("max-density");
    out += m_wait.toXML("wait-time");
    out += spygeo::regionsXML("crowd-regions", m_regions);
    out.appendFormat("</%s>", tag);
    return out;
}

bool CrowdDensity::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "max-density") {
            kttl::Double d;
            if (!d.fromXML(it.toXML().c_str()) || !setMaxDensity(float(d.get()))) return false;
        } else if (name == "wait-time") {
            kttl::ElapsedTime wait;
            if (!wait.fromXML(it.toXML().c_str()) || !setWaitTime(wait)) return false;
        } else if (name == "crowd-regions") {
            spygeo::RegionList regions;
            kttl::String why;
            if (!spygeo::parseRegions(it, regions, why)) {
                warn(why);
                return false;
            }
            setRegions(regions);
        }
    }
    return true;
}

void CrowdDensity::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Double(m_maxDensity));
    stream.write(m_wait);
    stream.write(m_regions);
}

void CrowdDensity::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Double density;
    kttl::ElapsedTime wait;
    spygeo::RegionList regions;
    stream.read(density);
    stream.read(wait);
    stream.read(regions);
    if (!setMaxDensity(float(density.get())) || !setWaitTime(wait) || !setRegions(regions))
        ktsl::Serializable::fromBinFailed();
    reset();
}
