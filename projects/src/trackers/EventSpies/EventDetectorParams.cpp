// EventDetectorParams: the event detector's parameter block: its spies and its processing interval.
#include "EventDetectorParams.h"

#include "kttl_Exception.h"
#include "ktxml_DomIterator.h"

EventDetectorParams::EventDetectorParams(const kttl::ElapsedTime& interval) : m_interval(interval) {
    setEnabled(true);
    setElementName(kProcessType);
    setName(kProcessType);
}

EventDetectorParams::~EventDetectorParams() = default;

bool EventDetectorParams::removeSpy(const kttl::String& name) {
    const size_t before = m_spies.size();
    m_spies.remove_if([&](const EventSpyFactory& f) { return f.hasSpy() && f.getSpy()->getName() == name; });
    return m_spies.size() != before;
}

bool EventDetectorParams::renameSpy(const kttl::String& oldName, const kttl::String& newName) {
    bool found = false;
    for (EventSpyFactory& f : m_spies) {
        if (f.hasSpy() && f.getSpy()->getName() == oldName) {
            f.getSpy()->setName(newName);
            found = true;
        }
    }
    return found;
}

ktsl::MemIOStream EventDetectorParams::binSerialize() const {
    ktsl::MemIOStream stream;
    stream.write(m_spies);
    stream.write(m_interval);
    return stream;
}

bool EventDetectorParams::binUnserialize(const ktsl::MemIOStream& payload) {
    if (payload.isEmpty()) return false;
    ktsl::MemIOStream stream(payload);
    ktsl::List<EventSpyFactory> spies;
    kttl::ElapsedTime interval;
    try {
        stream.read(spies);
        stream.read(interval);
    } catch (const kttl::Exception&) {
        return false;
    }
    m_spies.swap(spies);
    m_interval = interval;
    return true;
}

kttl::String EventDetectorParams::xmlSerialize() const {
    kttl::String out = m_interval.toXML("processing-interval");
    for (const EventSpyFactory& f : m_spies) {
        out += f.toXML();
        out += "\n";
    }
    return out;
}

bool EventDetectorParams::xmlUnserialize(const kttl::String& body) {
    ktxml::DomIterator root;
    if (!root.parse("<TempTag>" + body + "</TempTag>")) return false;
    ktsl::List<EventSpyFactory> spies;
    kttl::ElapsedTime interval(kDefaultIntervalMs);
    std::list<kttl::String> skipped;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string xml = it.toXML();
        if (it.getName() == "processing-interval") {
            interval.fromXML(xml.c_str());
            continue;
        }
        EventSpyFactory factory;
        if (factory.fromXML(xml.c_str())) {
            spies.push_back(factory);
        } else {
            skipped.push_back(factory.getLastError());
        }
    }
    m_spies.swap(spies);
    m_interval = interval;
    m_skipped.swap(skipped);
    return true;
}
