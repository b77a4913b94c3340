// CrowdDensity ("Crowd Density"): raises one event per episode in which the share of occupied pixels
// in the crowd regions stays above a limit for the wait-time.
#include "CrowdDensity.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// Pixels i < n at which a or b (either may be null, not both) holds a value above `above`. Sixteen
// pixels per step where SSE2 is there: a whole 1080p region is two million pixels per frame.
size_t countAbove(const unsigned char* a, const unsigned char* b, size_t n, unsigned char above) {
    if (!a) a = b;
    if (!b) b = a;
    size_t count = 0, i = 0;
#if defined(__SSE2__)
    // v > above exactly when max(v, above + 1) == v; above is below 255, so above + 1 fits.
    const __m128i limit = _mm_set1_epi8(static_cast<char>(above + 1));
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        // Byte counters take at most 255 steps before they are summed.
        const size_t stop = std::min(n - 15, i + 255 * 16);
        __m128i counters = zero;
        for (; i < stop; i += 16) {
            const __m128i v = _mm_max_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(_mm_max_epu8(v, limit), v));
        }
        const __m128i sums = _mm_sad_epu8(counters, zero);
        count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < n; ++i) count += (a[i] > above) | (b[i] > above);
    return count;
}

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
      m_runs(other.m_runs),
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
    m_runs.build(m_mask);
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
    m_runs.build(m_mask);
    m_regionPixels = spygeo::maskCount(m_mask);
    return true;
}

void CrowdDensity::internalSpy(ProcessFrame& frame) {
    const unsigned char* a = plane(frame, processedName(), m_mask);
    const unsigned char* b = plane(frame, stationaryName(), m_mask);
    if ((!a && !b) || m_regionPixels == 0) return;
    // Only the region's pixels are read, a row run at a time.
    const size_t width = m_mask.columns();
    size_t occupied = 0;
    m_runs.forEachRun([&](uint32_t row, uint32_t first, uint32_t end) {
        const size_t at = row * width + first;
        occupied += countAbove(a ? a + at : nullptr, b ? b + at : nullptr, end - first, kOccupiedAbove);
    });
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
