// Event: the record of one alarm: its kind, when it started and was last seen, which objects of
// which source caused it, how sure and how urgent it is, and whether a consumer has taken it.
#include "Event.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_MapForms.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"
#include "ktxml_DomIterator.h"

namespace {

// Smallest binary form of one objects entry: two empty strings of 5 bytes each.
constexpr unsigned kMinObjectEntryBytes = 10;
// Status, priority, uid and confidence: 4 + 2 + 4 + 2 bytes.
constexpr unsigned kFixedFieldBytes = 12;

// Strict unsigned decimal of at most `max`; false when the text is anything else.

unsigned objectsBinLength(const Event::ObjectsMap& objects) {
    uint64_t n = 4;
    for (const auto& kv : objects) n += uint64_t(kv.first.getBinLength()) + kv.second.getBinLength();
    if (n > std::numeric_limits<unsigned>::max()) KT_THROW("Event", "getBinLength() - objects too large");
    return static_cast<unsigned>(n);
}

}  // namespace

const std::map<int, kttl::String> Event::mPriorityStringMap = Event::getDefaultPriorityMap();

std::map<int, kttl::String> Event::getDefaultPriorityMap() {
    return {{0, ""}, {1, "critical"}, {2, "major"}, {3, "minor"}, {4, "warning"}, {5, "info"}};
}

int Event::stringToPriority(const kttl::String& name) {
    for (const auto& kv : mPriorityStringMap)
        if (kv.second == name) return kv.first;
    return -1;
}

kttl::String Event::priorityToString(int priority) {
    auto it = mPriorityStringMap.find(priority);
    return it == mPriorityStringMap.end() ? kttl::String() : it->second;
}

kttl::String Event::stringFromStatus(Status status) {
    switch (status) {
        case New: return "New";
        case Reviewed: return "Reviewed";
        case Flagged: return "Flagged";
        case Deleted: return "Deleted";
    }
    return kttl::String();
}

bool Event::statusFromString(const kttl::String& text, Status& status) {
    const kttl::String word = text.toLower();
    if (word == "new") {
        status = New;
    } else if (word == "reviewed") {
        status = Reviewed;
    } else if (word == "flagged") {
        status = Flagged;
    } else if (word == "deleted") {
        status = Deleted;
    } else {
        return false;
    }
    return true;
}

Event::Event() : m_type("alarm") {}

Event::Event(const TimePosition& start, const TimePosition& stop, const kttl::String& type, unsigned short priority,
             unsigned short confidence)
    : m_type(type),
      m_start(start),
      m_stop(stop),
      m_updated(kttl::TimeStamp::systemTime()),
      m_priority(priority),
      m_confidence(confidence) {}

Event::~Event() = default;

void Event::setStop(const TimePosition& stop) {
    m_stop = stop;
    m_updated = kttl::TimeStamp::systemTime();
}

bool Event::setConfidence(unsigned short c) {
    if (c > 100) return false;
    m_confidence = c;
    return true;
}

void Event::setReviewed(bool reviewed) {
    if (!reviewed) {
        m_status = New;
        return;
    }
    m_status = Reviewed;
    m_frames.clear();
}

bool Event::objectList(const kttl::String& url, const char*& p, const char*& end) const {
    if (url.empty()) return false;
    auto it = m_objects.find(url);
    if (it == m_objects.end()) return false;
    p = it->second.c_str();
    end = p + it->second.size();
    return true;
}

bool Event::nextObjectID(const char*& p, const char* end, int& id) {
    while (p < end) {
        const char* stop = std::find(p, end, ',');
        const char* a = p;
        const char* b = stop;
        p = stop < end ? stop + 1 : end;
        while (a < b && std::strchr(kttl::String::kBlanks, *a)) ++a;
        while (b > a && std::strchr(kttl::String::kBlanks, b[-1])) --b;
        const bool negative = a < b && *a == '-';
        if (a < b && (*a == '-' || *a == '+')) ++a;
        if (a == b) continue;
        int64_t value = 0;
        bool digits = true;
        for (const char* c = a; digits && c < b; ++c) {
            digits = *c >= '0' && *c <= '9';
            value = value * 10 + (*c - '0');
            digits = digits && value <= int64_t(INT32_MAX) + 1;
        }
        if (negative) value = -value;
        if (!digits || value < INT32_MIN || value > INT32_MAX) continue;
        id = static_cast<int>(value);
        return true;
    }
    return false;
}

bool Event::getObjectIDs(const kttl::String& url, std::set<int>& ids) const {
    return forEachObjectID(url, [&](int id) { ids.insert(id); });
}

bool Event::setObjects(const std::set<int>& ids, const kttl::String& url) {
    if (url.empty()) return false;
    kttl::String text;
    for (int id : ids) {
        if (!text.empty()) text += ',';
        text.appendFormat("%d", id);
    }
    if (text.size() > 2 && text.compare(0, 2, "0,") == 0) text.erase(0, 2);
    m_objects[url] = text;
    return true;
}

bool Event::addObject(int id, const kttl::String& url) {
    if (url.empty()) return false;
    std::set<int> ids;
    getObjectIDs(url, ids);
    if (ids.count(id)) return true;
    ids.insert(id);
    setObjects(ids, url);
    return false;
}

bool Event::addObjects(const std::set<int>& ids, const kttl::String& url) {
    if (url.empty()) return false;
    std::set<int> all;
    getObjectIDs(url, all);
    all.insert(ids.begin(), ids.end());
    return setObjects(all, url);
}

bool Event::addObject(int id, const Frame& frame, const kttl::String& url) {
    if (url.empty() || addObject(id, url)) return false;
    for (const Frame& stored : m_frames)
        if (stored == frame) return false;
    addFrame(frame, url, false);
    return true;
}

bool Event::setOrigin(const kttl::String& url, bool moveAll) {
    if (url.empty()) return false;
    const kttl::String previous = m_origin;
    m_origin = url;
    if (!moveAll) return true;
    for (Frame& frame : m_frames) frame.setOrigin(url);
    auto it = m_objects.find(previous);
    if (it != m_objects.end() && previous != url) {
        kttl::String text = it->second;
        m_objects.erase(it);
        m_objects[url] = text;
    }
    return true;
}

void Event::addFrame(const Frame& frame, const kttl::String& url, bool keepAll) {
    if (m_frames.size() == kMaxFrames && !keepAll) m_frames.pop_back();
    Frame& copy = m_frames.emplace_back();
    copyWithoutImages(frame, copy);
    copy.setOrigin(url);
    // The copy refers to the event's one picture and carries its objects in its binary form.
    copy.getRequestedImages().insert(kFrameImageName);
    copy.setObjectsIncluded(true);
    for (auto& entry : copy.getObjects()) entry.second.setFullTrack(true);
    if (!keepAll) m_status = New;
}

void Event::copyWithoutImages(const Frame& frame, Frame& copy) {
    // Field by field, so that no pixel buffer is ever copied into an event.
    copy.setTimePosition(frame.getTimeStamp(), frame.getPosition());
    copy.setFrameFlags(frame.getFrameFlags());
    copy.setScale(frame.getScale());
    copy.getAttributeMap() = frame.getAttributeMap();
    copy.getObjects().assignReusing(frame.getObjects());
}

void Event::updateData(const Event& other, bool appendFrames) {
    if (other.m_uid != m_uid) KT_THROW("Event::updateData()", "Events do not match.");
    if (appendFrames) {
        // Copied first: a throwing frame copy leaves the event as it was.
        std::list<Frame> extra(other.m_frames.begin(), other.m_frames.end());
        m_frames.splice(m_frames.end(), extra);
    }
    m_stop = other.m_stop;
    m_objects = other.m_objects;
    m_status = other.m_status;
    m_priority = other.m_priority;
    m_confidence = other.m_confidence;
    m_type = other.m_type;
    getAttributeMap() = other.getAttributeMap();
    m_updated = kttl::TimeStamp::systemTime();
}

kttl::String Event::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    out += m_type.toXML("type");
    out += m_subtitle.toXML("subtitle");
    out.appendFormat("<priority>%u</priority>", unsigned(m_priority));
    out.appendFormat("<uid>%u</uid>", unsigned(m_uid));
    out += m_start.first.toXML("start");
    out += (m_stop.first - m_start.first).toXML("length");
    out += m_origin.toXML("origin");
    // Escaped, unlike a raw copy, so that an origin holding '&' or '<' still gives a readable document.
    for (const auto& kv : m_objects) {
        out += "<objects origin=\"" + kttl::String::xmlEscape(kv.first.c_str()) + "\">" +
               kttl::String::xmlEscape(kv.second.c_str()) + "</objects>";
    }
    out += "<status>" + stringFromStatus(m_status).toLower() + "</status>";
    out.appendFormat("<confidence>%u</confidence>", unsigned(m_confidence));
    out += attributesToXML("attributes");
    out.appendFormat("</%s>", tag);
    return out;
}

bool Event::fromXML(const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    Event e(*this);
    e.m_objects.clear();
    kttl::ElapsedTime length = e.m_stop.first - e.m_start.first;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        const std::string child = it.toXML();
        uint64_t n;
        if (name == "start") {
            kttl::TimeStamp t;
            if (t.fromXML(child.c_str())) e.m_start = TimePosition(t, kttl::ElapsedTime(-1));
        } else if (name == "length") {
            length.fromXML(child.c_str());
        } else if (name == "type") {
            e.m_type.fromXML(child.c_str());
        } else if (name == "origin") {
            e.m_origin.fromXML(child.c_str());
        } else if (name == "subtitle") {
            e.m_subtitle.fromXML(child.c_str());
        } else if (name == "priority") {
            if (kttl::String(it.getValue()).parseUnsigned(0xFFFF, n)) e.m_priority = static_cast<unsigned short>(n);
        } else if (name == "uid") {
            if (kttl::String(it.getValue()).parseUnsigned(0xFFFFFFFFul, n)) e.m_uid = static_cast<uint32_t>(n);
        } else if (name == "objects") {
            if (it.hasAttribute("origin")) e.m_objects[it.getAttribute("origin")] = it.getValue();
        } else if (name == "status") {
            statusFromString(it.getValue(), e.m_status);
        } else if (name == "confidence") {
            // Not range-checked against 100, but a value the field cannot hold is ignored.
            int c;
            if (kttl::String(it.getValue()).parseInt(c) && c >= 0 && c <= 0xFFFF)
                e.m_confidence = static_cast<unsigned short>(c);
        } else if (name == "attributes") {
            e.attributesFromXML(child.c_str());
        }
    }
    e.m_stop = TimePosition(e.m_start.first + length, kttl::ElapsedTime(-1));
    *this = e;
    return true;
}

unsigned Event::getBinLength() const {
    uint64_t n = uint64_t(m_origin.getBinLength()) + 3 * m_start.first.getBinLength() +
                 2 * m_start.second.getBinLength() + m_type.getBinLength() + m_subtitle.getBinLength() +
                 objectsBinLength(m_objects) + kFixedFieldBytes + m_frames.getBinLength() + attributesBinLength();
    if (n > std::numeric_limits<unsigned>::max()) KT_THROW("Event", "getBinLength() - event too large");
    return static_cast<unsigned>(n);
}

unsigned Event::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.value(m_origin);
    w.value(m_start.first);
    w.value(m_start.second);
    w.value(m_stop.first);
    w.value(m_stop.second);
    w.value(m_updated);
    w.value(m_type);
    w.value(m_subtitle);
    w.i32(static_cast<int32_t>(m_objects.size()));
    for (const auto& kv : m_objects) {
        w.value(kv.first);
        w.value(kv.second);
    }
    w.i32(static_cast<int32_t>(m_status));
    w.u16(m_priority);
    w.u32(m_uid);
    w.u16(m_confidence);
    w.value(m_frames);
    const unsigned n = w.written();
    return n + attributesToBin(out + n);
}

unsigned Event::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    Event e;
    r.value(e.m_origin);
    r.value(e.m_start.first);
    r.value(e.m_start.second);
    r.value(e.m_stop.first);
    r.value(e.m_stop.second);
    r.value(e.m_updated);
    r.value(e.m_type);
    r.value(e.m_subtitle);
    const int32_t count = r.i32();
    if (count < 0 || unsigned(count) > r.remaining() / kMinObjectEntryBytes) ktsl::Serializable::fromBinFailed();
    for (int32_t i = 0; i < count; ++i) {
        kttl::String key, value;
        r.value(key);
        r.value(value);
        e.m_objects.emplace(std::move(key), std::move(value));
    }
    e.m_status = static_cast<Status>(r.i32());
    e.m_priority = r.u16();
    e.m_uid = r.u32();
    e.m_confidence = r.u16();
    r.value(e.m_frames);
    r.skip(e.attributesFromBin(r.current(), r.remaining()));
    *this = e;
    return r.consumed();
}
