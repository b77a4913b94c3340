// ObjectTakenSpy ("Object Taken"): guards one asset region and raises an event when its appearance
// changes for good while nothing stands in front of it, and optionally one when it is back.
#include "ObjectTakenSpy.h"

#include "kt_tick.h"

namespace {

// Built once: a name built per frame would allocate.
const kttl::String& nativeName() {
    static const kttl::String name("Native Image");
    return name;
}

}  // namespace

ObjectTakenSpy::ObjectTakenSpy() : ObjectTakenSpy("", "") {}

ObjectTakenSpy::ObjectTakenSpy(const char* name, const char* desc)
    : FrameEventSpy(name, desc), m_holdOffStart(kt_tickcount()) {}

ObjectTakenSpy::ObjectTakenSpy(const ObjectTakenSpy& other)
    : FrameEventSpy(other),
      m_holdOff(other.m_holdOff),
      m_holdOffStart(other.m_holdOffStart),
      m_region(other.m_region),
      m_model(other.m_model),
      m_replaceAlarm(other.m_replaceAlarm),
      m_mask(other.m_mask) {}

ObjectTakenSpy::~ObjectTakenSpy() = default;

void ObjectTakenSpy::reset() {
    FrameEventSpy::reset();
    m_currentUid = 0;
    m_model.reset();
    m_lastResult = -1;
}

void ObjectTakenSpy::placeRegion() {
    spygeo::RegionList one;
    if (m_region.isValid()) one.push_back(m_region);
    spygeo::buildMask(m_mask, one, getFrameWidth(), getFrameHeight());
    if (m_region.isValid() && getFrameWidth() > 0 && getFrameHeight() > 0)
        m_model.setRegion(m_region.denormalize<int>(int(getFrameWidth()), int(getFrameHeight())));
    else
        m_model.setRegion(ktml::Polygon2D<int>());
}

void ObjectTakenSpy::onFrameResize(unsigned width, unsigned height) {
    FrameEventSpy::onFrameResize(width, height);
    placeRegion();
}

void ObjectTakenSpy::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const {
    types[nativeName()] = kttl::Integer(Frame::kGray | Frame::kColour);
}

void ObjectTakenSpy::getStatus(StatusMap& status) const {
    if (!m_model.getStatus().empty()) status["status"] = m_model.getStatus();
}

bool ObjectTakenSpy::setRegion(const spygeo::Region& region) {
    kttl::String why;
    if (!spygeo::regionUsable(region, why)) {
        warn(why);
        return false;
    }
    m_region = region;
    placeRegion();
    return true;
}

void ObjectTakenSpy::internalSpy(ProcessFrame& frame) {
    m_lastResult = -1;
    if (!m_region.isValid()) return;
    const uint32_t now = kt_tickcount();
    const bool holdOffOver = uint32_t(now - m_holdOffStart) >= m_holdOff;
    if (frame.getFrameFlags() & kHoldOffFlags) {
        if (holdOffOver) {
            m_holdOff = kHoldOffMs;
            m_holdOffStart = now;
        }
        return;
    }
    if (!holdOffOver) return;
    for (const auto& kv : frame.getObjects()) {
        const Object& o = kv.second;
        ktml::BoundingBox<int> box;
        if (o.getTrackStatus() > 2 && !o.isStatic() && o.newest(box) && box.width > 0 && box.height > 0 &&
            m_mask.getOverlap(box, 1) > 0.0)
            return;  // something stands in front of the asset
    }
    const kt_image* gray = frame.getSetImage(nativeName(), Frame::kGray);
    if (!gray) return;
    const kt_image* colour = frame.getSetImage(nativeName(), Frame::kColour);
    float confidence = 0;
    m_lastResult = m_model.process(frame.getPosition().getMilliseconds(), *gray, colour, confidence);
    if (m_lastResult == ObjectTaken::Taken) {
        m_currentUid = addEventFrame(m_currentUid, frame, confidence);
    } else if (m_lastResult == ObjectTaken::Restored) {
        if (m_replaceAlarm) addEventFrame(0, frame, confidence, "Replaced");
        m_currentUid = 0;
    }
}

kttl::String ObjectTakenSpy::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += "<sensitivity>" + spygeo::numberText(m_model.getSensitivity()) + "</sensitivity>";
    out += m_region.toXML("region", "vertex");
    if (m_replaceAlarm) out += "<replace-alarm/>";
    out.appendFormat("</%s>", tag);
    return out;
}

bool ObjectTakenSpy::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    m_replaceAlarm = false;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "sensitivity") {
            double s;
            // A refused value keeps the old one.
            if (kttl::String(it.getValue()).parseDouble(s) && !setSensitivity(float(s))) warn("sensitivity refused");
        } else if (name == "region") {
            spygeo::Region region;
            if (!region.fromDom(it) || !setRegion(region)) return false;
        } else if (name == "replace-alarm") {
            m_replaceAlarm = true;
        } else if (name == "min-distance" || name == "min-age") {
            FrameEventSpy::onParseXML(it);
        }
    }
    return true;
}

void ObjectTakenSpy::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Double(m_model.getSensitivity()));
    stream.write(m_region);
    stream.write(kttl::Integer(m_replaceAlarm ? 1 : 0));
}

void ObjectTakenSpy::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Double sensitivity;
    spygeo::Region region;
    kttl::Integer replace;
    stream.read(sensitivity);
    stream.read(region);
    stream.read(replace);
    if (!setSensitivity(float(sensitivity.get()))) ktsl::Serializable::fromBinFailed();
    if (region.empty()) {
        m_region.clear();
        placeRegion();
    } else if (!setRegion(region)) {
        ktsl::Serializable::fromBinFailed();
    }
    m_replaceAlarm = replace.get() != 0;
    reset();
}
