// FrameEventSpy: a spy driven by processed frames: zones, class filter, size, distance and age
// limits, and one event per object or one merged event.
#include "FrameEventSpy.h"

#include <cmath>
#include <sstream>

#include "ktml_CoordCast.h"
#include "kttl_Double.h"

namespace {

std::string numberText(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

bool parseBool(const std::string& text, bool& out) {
    const kttl::String t = kttl::String(text).trimmed().toLower();
    if (t == "true" || t == "1" || t == "yes") {
        out = true;
    } else if (t == "false" || t == "0" || t == "no") {
        out = false;
    } else {
        return false;
    }
    return true;
}

}  // namespace

FrameEventSpy::FrameEventSpy(const kttl::String& name, const kttl::String& desc)
    : EventSpy(name, desc), m_minAge(kDefaultMinAgeMs) {}

FrameEventSpy::FrameEventSpy(const FrameEventSpy& other)
    : EventSpy(other),
      m_zones(other.m_zones),
      m_pixelZones(other.m_pixelZones),
      m_maxWidth(other.m_maxWidth),
      m_maxWidthPx(other.m_maxWidthPx),
      m_maxHeight(other.m_maxHeight),
      m_maxHeightPx(other.m_maxHeightPx),
      m_classes(other.m_classes),
      m_frameWidth(other.m_frameWidth),
      m_frameHeight(other.m_frameHeight),
      m_minDistance(other.m_minDistance),
      m_minAge(other.m_minAge),
      m_alarmBlobs(other.m_alarmBlobs) {}

FrameEventSpy::~FrameEventSpy() = default;

void FrameEventSpy::reset() {
    CacheLock cache = lockCache();
    if (!cache) return;
    clearCache(*cache);
    m_objectEvents.clear();
}

void FrameEventSpy::onEventCleaned(uint32_t uid) {
    for (auto it = m_objectEvents.begin(); it != m_objectEvents.end();) {
        if (it->second == uid) {
            it = m_objectEvents.erase(it);
        } else {
            ++it;
        }
    }
}

void FrameEventSpy::spy(ProcessFrame& frame) {
    reserveFrameSize(static_cast<unsigned>(frame.getResolution().getWidth()),
                     static_cast<unsigned>(frame.getResolution().getHeight()));
    internalSpy(frame);
    clean(kttl::TimeStamp::systemTime());
}

void FrameEventSpy::reserveFrameSize(unsigned width, unsigned height) {
    if (width == m_frameWidth && height == m_frameHeight) return;
    onFrameResize(width, height);
    m_frameWidth = width;
    m_frameHeight = height;
}

void FrameEventSpy::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>&) const {}

void FrameEventSpy::onFrameResize(unsigned width, unsigned height) {
    reset();
    m_frameWidth = width;
    m_frameHeight = height;
    rebuildPixelZones();
    if (width != 0 && height != 0) {
        m_maxWidthPx = ktml::coordCast<int32_t>(static_cast<double>(width) * m_maxWidth);
        m_maxHeightPx = ktml::coordCast<int32_t>(static_cast<double>(height) * m_maxHeight);
    }
}

void FrameEventSpy::rebuildPixelZones() {
    m_pixelZones.clear();
    // Fraction zones cannot be placed without a size; pixel zones need none.
    const int w = ktml::coordCast<int>(m_frameWidth), h = ktml::coordCast<int>(m_frameHeight);
    for (const auto& zone : m_zones) {
        if (w > 0 && h > 0) {
            m_pixelZones.push_back(zone.denormalize<int>(w, h));
        } else if (!zone.isNormalized()) {
            m_pixelZones.push_back(ktml::Polygon2D<int>(zone));
        }
    }
}

bool FrameEventSpy::inZones(int x, int y) const {
    if (m_pixelZones.empty()) return true;
    for (const auto& zone : m_pixelZones)
        if (zone.isValid() && zone.contains(x, y)) return true;
    return false;
}

bool FrameEventSpy::fitsSize(const ktml::BoundingBox<int>& box) const {
    return box.height <= m_maxHeightPx && box.width <= m_maxWidthPx;
}

bool FrameEventSpy::hasClass(const Object& object) const {
    if (m_classes.empty()) return true;
    for (const kttl::String& label : object.getClasses())
        for (const kttl::String& cls : m_classes)
            if (label.equalsNoCase(cls)) return true;
    return false;
}

float FrameEventSpy::classConfidence(const Object& object) const {
    if (m_classes.empty()) return 1.0f;
    float best = 0.0f;
    for (const kttl::String& cls : m_classes) best = std::max(best, object.getClassConfidence(cls));
    return best;
}

uint32_t FrameEventSpy::addEventObject(unsigned objectId, const Frame& frame, float confidence, const char* subtitle,
                                       const char* desc) {
    if (confidence == -1.0f) {
        const Object* object = frame.getObjects().findObject(objectId);
        confidence = object ? classConfidence(*object) : 1.0f;
    }
    CacheLock cache = lockCache();
    if (!cache) return 0;
    const unsigned short percent = toPercent(confidence);
    Event* event = nullptr;
    if (getMergeEvents()) {
        event = cache->getFirstEvent();
        if (event) event->addObject(static_cast<int>(objectId), frame, defaultOrigin());
    } else {
        auto it = m_objectEvents.find(objectId);
        if (it != m_objectEvents.end()) event = cache->getEvent(it->second);
    }
    uint32_t uid;
    if (event) {
        event->setReviewed(false);
        event->setStop(timePosition(frame));
        event->setConfidence(std::max(event->getConfidence(), percent));
        if (getListener()) getListener()->onSpyEvent(*event);
        uid = event->getUID();
    } else {
        Event fresh(timePosition(frame), timePosition(frame), getAlarmType(), getPriority(), percent);
        fresh.addObject(static_cast<int>(objectId), defaultOrigin());
        if (subtitle) fresh.setSubtitle(subtitle);
        if (desc) fresh.setDescription(desc);
        uid = addEventLocked(*cache, fresh, &frame, false);
    }
    m_objectEvents[objectId] = uid;
    return uid;
}

void FrameEventSpy::setZones(const std::list<ktml::Polygon2D<float>>& zones) {
    ktsl::List<ktml::Polygon2D<float>> kept;
    for (const auto& zone : zones) {
        if (zone.size() >= kZoneMinVertices) {
            kept.push_back(zone);
        } else {
            warn(kttl::String::format("zone with %u vertices dropped (a zone needs %u)", unsigned(zone.size()),
                                      kZoneMinVertices));
        }
    }
    if (kept.empty() && !zones.empty()) warn("no usable zone left: the whole frame is watched");
    m_zones.swap(kept);
    rebuildPixelZones();
}

void FrameEventSpy::setClasses(const std::list<kttl::String>& classes) {
    m_classes.assign(classes.begin(), classes.end());
}

bool FrameEventSpy::setMaxWidth(double fraction) {
    if (!(fraction > 0)) {
        warn(kttl::String::format("max-width %s refused, keeping %s", numberText(fraction).c_str(),
                                  numberText(m_maxWidth).c_str()));
        return false;
    }
    m_maxWidth = ktml::coordCast<float>(fraction);
    return true;
}

bool FrameEventSpy::setMaxHeight(double fraction) {
    if (!(fraction > 0)) {
        warn(kttl::String::format("max-height %s refused, keeping %s", numberText(fraction).c_str(),
                                  numberText(m_maxHeight).c_str()));
        return false;
    }
    m_maxHeight = ktml::coordCast<float>(fraction);
    return true;
}

bool FrameEventSpy::setMinAge(const kttl::ElapsedTime& age) {
    const int64_t ms = age.getMilliseconds();
    if (ms < 0 || ms > kMaxMinAgeMs) {
        warn(kttl::String::format("min-age of %lld ms refused, keeping %lld ms", static_cast<long long>(ms),
                                  static_cast<long long>(m_minAge.getMilliseconds())));
        return false;
    }
    m_minAge = age;
    return true;
}

void FrameEventSpy::onCreateXML(kttl::String& xml) const {
    xml += "<zones>";
    for (const auto& zone : m_zones) xml += zone.toXML("zone", "vertex");
    xml += "</zones><classes>";
    for (const kttl::String& cls : m_classes) xml += cls.toXML("class");
    xml += "</classes>";
    xml += "<max-width>" + numberText(m_maxWidth) + "</max-width>";
    xml += "<max-height>" + numberText(m_maxHeight) + "</max-height>";
    xml += m_minAge.toXML("min-age");
    xml.appendFormat("<min-distance>%u</min-distance>", m_minDistance);
    if (m_alarmBlobs) xml += "<alarm-blobs>true</alarm-blobs>";
}

void FrameEventSpy::onParseXML(const ktxml::DomIterator& child) {
    const std::string name = child.getName();
    double d;
    if (name == "zones") {
        std::list<ktml::Polygon2D<float>> zones;
        for (ktxml::DomIterator it = child.childrenBegin(); !it.atEnd(); it.nextSibling()) {
            ktml::Polygon2D<float> zone;
            if (it.getName() == "zone" && zone.fromDom(it)) zones.push_back(zone);
        }
        setZones(zones);
    } else if (name == "classes") {
        m_classes.clear();
        for (ktxml::DomIterator it = child.childrenBegin(); !it.atEnd(); it.nextSibling()) {
            kttl::String cls;
            if (it.getName() == "class" && cls.fromXML(it.toXML().c_str())) m_classes.push_back(cls);
        }
    } else if (name == "max-width") {
        if (kttl::String(child.getValue()).parseDouble(d)) setMaxWidth(d);
    } else if (name == "max-height") {
        if (kttl::String(child.getValue()).parseDouble(d)) setMaxHeight(d);
    } else if (name == "min-distance") {
        uint64_t distance = 0;
        if (kttl::String(child.getValue()).parseUnsigned(0xFFFFFFFFull, distance)) {
            m_minDistance = static_cast<uint32_t>(distance);
        }
    } else if (name == "min-age") {
        kttl::ElapsedTime age;
        if (age.fromXML(child.toXML().c_str())) setMinAge(age);
    } else if (name == "alarm-blobs") {
        parseBool(child.getValue(), m_alarmBlobs);
    }
}

bool FrameEventSpy::parseXML(const char* xml) {
    m_alarmBlobs = false;
    m_maxWidth = 1.0f;
    m_maxHeight = 1.0f;
    return EventSpy::parseXML(xml);
}

void FrameEventSpy::serialize(ktsl::MemIOStream& stream) const {
    stream.write(m_zones);
    stream.write(m_classes);
    stream.write(kttl::Double(m_maxWidth));
    stream.write(kttl::Double(m_maxHeight));
    stream.write(m_minAge);
    stream.write(kttl::Integer(static_cast<int32_t>(m_minDistance)));
    stream.write(kttl::Integer(m_alarmBlobs ? 1 : 0));
}

void FrameEventSpy::unserialize(ktsl::MemIOStream& stream) {
    ktsl::List<ktml::Polygon2D<float>> zones;
    ktsl::List<kttl::String> classes;
    kttl::Double maxWidth, maxHeight;
    kttl::ElapsedTime minAge;
    kttl::Integer minDistance, alarmBlobs;
    stream.read(zones);
    stream.read(classes);
    stream.read(maxWidth);
    stream.read(maxHeight);
    stream.read(minAge);
    stream.read(minDistance);
    stream.read(alarmBlobs);
    setZones(zones);
    m_classes.swap(classes);
    setMaxWidth(maxWidth.get());
    setMaxHeight(maxHeight.get());
    setMinAge(minAge);
    // Written from an unsigned field: the bits are the distance.
    m_minDistance = static_cast<uint32_t>(minDistance.get());
    m_alarmBlobs = alarmBlobs.get() != 0;
}
