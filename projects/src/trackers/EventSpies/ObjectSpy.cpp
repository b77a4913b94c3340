// ObjectSpy ("Object Spy"): reports each object that was seen with enough class confidence for long
// enough, once it has stopped being valid.
#include "ObjectSpy.h"

#include <cmath>

#include "SpyGeometry.h"

ObjectSpy::ObjectSpy() : FrameEventSpy("", "") {}

ObjectSpy::ObjectSpy(const char* name, const char* desc, float minConf, const kttl::ElapsedTime& minValidTime,
                     const kttl::ElapsedTime& maxInvalidTime)
    : FrameEventSpy(name, desc) {
    setMinConf(minConf);
    setMinValidTime(minValidTime);
    setMaxInvalidTime(maxInvalidTime);
}

ObjectSpy::ObjectSpy(const ObjectSpy& other)
    : FrameEventSpy(other),
      m_minConf(other.m_minConf),
      m_minValid(other.m_minValid),
      m_maxInvalid(other.m_maxInvalid),
      m_nonContiguous(other.m_nonContiguous),
      m_trackNascent(other.m_trackNascent) {}

ObjectSpy::~ObjectSpy() = default;

void ObjectSpy::reset() {
    FrameEventSpy::reset();
    m_records.clear();
    m_frameCopy.reset();
}

bool ObjectSpy::setMinConf(double c) {
    if (!(c >= 0.0)) {
        warn("min-conf refused");
        return false;
    }
    m_minConf = c;
    return true;
}

bool ObjectSpy::setMinValidTime(const kttl::ElapsedTime& t) {
    if (t.getMilliseconds() < 0) return false;
    m_minValid = t;
    return true;
}

bool ObjectSpy::setMaxInvalidTime(const kttl::ElapsedTime& t) {
    if (t.getMilliseconds() < 0) return false;
    m_maxInvalid = t;
    return true;
}

double ObjectSpy::computeConfidence(const Object& object) const {
    if (getClasses().empty()) return 1.0;
    double sum = 0;
    int n = 0;
    for (const kttl::String& cls : getClasses()) {
        bool labelled = false;
        for (const kttl::String& label : object.getClasses()) labelled = labelled || label.equalsNoCase(cls);
        if (!labelled) continue;
        const double c = object.getClassConfidence(cls);
        sum += c < 0 ? 1.0 : c;
        ++n;
    }
    return n ? sum / n : -1.0;
}

const kttl::SmartPtr<Frame>& ObjectSpy::frameCopy(const Frame& frame) {
    if (m_frameCopy.isNull() || !(*m_frameCopy == frame)) {
        m_frameCopy = kttl::SmartPtr<Frame>(new Frame);
        Event::copyWithoutImages(frame, *m_frameCopy);
    }
    return m_frameCopy;
}

void ObjectSpy::updateConfidence(Record& r, double confidence, const Event::TimePosition& at) {
    if (confidence < m_minConf) {
        // Below min-conf: a contiguous run is over; the next valid frame starts a new one.
        if (!m_nonContiguous && !r.valid) {
            r.validFrames = 0;
            r.confidenceSum = 0;
        }
        return;
    }
    if (r.validFrames == 0) r.firstValid = at;
    r.lastValid = at;
    ++r.validFrames;
    r.confidenceSum += confidence;
    if (r.lastValid.second - r.firstValid.second >= m_minValid) r.valid = true;
}

void ObjectSpy::addObjectEvent(unsigned id, const Record& r) {
    const double mean = r.validFrames ? r.confidenceSum / r.validFrames : 0.0;
    Event event(r.firstValid, r.lastValid, getAlarmType(), getPriority(), toPercent(float(mean)));
    event.addObject(static_cast<int>(id), defaultOrigin());
    event.setAttribute("valid-frames", kttl::String::format("%u", r.validFrames));
    addEvent(event, r.frame.isNull() ? nullptr : r.frame.get(), false);
}

void ObjectSpy::internalSpy(ProcessFrame& frame) {
    const Event::TimePosition at = timePosition(frame);
    for (const auto& kv : frame.getObjects()) {
        const Object& object = kv.second;
        const int32_t status = object.getTrackStatus();
        if (!(status > 2 || (m_trackNascent && status == 1))) continue;
        const double confidence = computeConfidence(object);
        const unsigned id = static_cast<unsigned>(kv.first);
        auto it = m_records.find(id);
        if (it == m_records.end()) {
            if (confidence < m_minConf || confidence < 0) continue;
            it = m_records.emplace(id, Record()).first;
            it->second.frame = frameCopy(frame);
        }
        updateConfidence(it->second, confidence, at);
    }
    const bool closeAll = (frame.getFrameFlags() & kCloseAllFlag) != 0;
    for (auto it = m_records.begin(); it != m_records.end();) {
        const Record& r = it->second;
        // A record valid on this very frame stays open, even with a max-invalid-time of 0.
        const bool validNow = r.validFrames > 0 && r.lastValid.second == at.second;
        if (!closeAll && (validNow || at.second - r.lastValid.second < m_maxInvalid)) {
            ++it;
            continue;
        }
        if (r.valid) addObjectEvent(it->first, r);
        it = m_records.erase(it);
    }
}

kttl::String ObjectSpy::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += EventSpy::toXML("EventSpy");
    out += "<min-conf>" + spygeo::numberText(m_minConf) + "</min-conf>";
    out += m_minValid.toXML("min-valid-time");
    out += m_maxInvalid.toXML("max-invalid-time");
    if (m_nonContiguous) out += "<non-contiguous/>";
    if (m_trackNascent) out += "<track-nascent/>";
    out.appendFormat("</%s>", tag);
    return out;
}

bool ObjectSpy::parseXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    reset();
    m_nonContiguous = m_trackNascent = false;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        kttl::ElapsedTime t;
        if (name == "EventSpy") {
            if (!FrameEventSpy::parseXML(it.toXML().c_str())) return false;
        } else if (name == "min-conf") {
            double c;
            if (!kttl::String(it.getValue()).parseDouble(c) || !setMinConf(c)) return false;
        } else if (name == "min-valid-time" || name == "min-life") {
            if (!t.fromXML(it.toXML().c_str()) || !setMinValidTime(t)) return false;
        } else if (name == "max-invalid-time" || name == "max-death") {
            if (!t.fromXML(it.toXML().c_str()) || !setMaxInvalidTime(t)) return false;
        } else if (name == "non-contiguous") {
            m_nonContiguous = true;
        } else if (name == "track-nascent") {
            m_trackNascent = true;
        }
    }
    return true;
}

void ObjectSpy::serialize(ktsl::MemIOStream& stream) const {
    FrameEventSpy::serialize(stream);
    stream.write(kttl::Double(m_minConf));
    stream.write(m_minValid);
    stream.write(m_maxInvalid);
    stream.write(kttl::Integer((m_nonContiguous ? 1 : 0) | (m_trackNascent ? 2 : 0)));
}

void ObjectSpy::unserialize(ktsl::MemIOStream& stream) {
    FrameEventSpy::unserialize(stream);
    kttl::Double minConf;
    kttl::ElapsedTime minValid, maxInvalid;
    kttl::Integer flags;
    stream.read(minConf);
    stream.read(minValid);
    stream.read(maxInvalid);
    stream.read(flags);
    if (!setMinConf(minConf.get()) || !setMinValidTime(minValid) || !setMaxInvalidTime(maxInvalid))
        ktsl::Serializable::fromBinFailed();
    m_nonContiguous = flags.get() & 1;
    m_trackNascent = flags.get() & 2;
    reset();
}
