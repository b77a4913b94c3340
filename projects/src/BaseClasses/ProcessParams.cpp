// ProcessParams: the parameter block every video process is configured with.
#include "ProcessParams.h"

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

ProcessParams::ProcessParams() = default;
ProcessParams::ProcessParams(const ProcessParams& other) = default;
ProcessParams& ProcessParams::operator=(const ProcessParams& other) = default;
ProcessParams::~ProcessParams() = default;

ktsl::MemIOStream ProcessParams::binSerialize() const {
    return m_binPayload;
}

bool ProcessParams::binUnserialize(const ktsl::MemIOStream& payload) {
    return !payload.isEmpty();
}

kttl::String ProcessParams::xmlSerialize() const {
    return m_xmlPayload;
}

bool ProcessParams::xmlUnserialize(const kttl::String&) {
    return true;
}

kttl::String ProcessParams::toXML(const char* tag) const {
    kttl::String name = m_elementName.empty() ? kttl::String(tag) : m_elementName;
    if (name.empty())
        return kttl::String();
    kttl::String out = "<" + name + " enabled=\"" + (m_enabled ? "true" : "false") + "\"";
    if (!m_mode.empty())
        out += " mode=\"" + m_mode.xmlEscaped() + "\"";
    if (m_name != name)
        out += " name=\"" + m_name.xmlEscaped() + "\"";
    const kttl::String body = xmlSerialize();
    if (body.empty())
        return out + "/>";
    return out + ">" + body + "</" + name + ">";
}

bool ProcessParams::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml))
        return false;
    kttl::String body;
    for (ktxml::DomIterator child = it.childrenBegin(); !child.atEnd(); child.nextSibling())
        body += child.toXML();
    // The hook sees the new body before the common fields change; it refuses without side effects.
    if (!xmlUnserialize(body))
        return false;
    m_elementName = it.getName();
    m_name = it.hasAttribute("name") ? kttl::String(it.getAttribute("name")) : m_elementName;
    m_enabled = it.getAttribute("enabled") == "true";
    if (it.hasAttribute("mode"))
        m_mode = it.getAttribute("mode");
    m_xmlPayload = body;
    return true;
}

unsigned ProcessParams::getBinLength() const {
    return 1 + m_mode.getBinLength() + m_elementName.getBinLength() + m_name.getBinLength() +
           binSerialize().getBinLength() + xmlSerialize().getBinLength();
}

unsigned ProcessParams::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u8(m_enabled ? 1 : 0);
    w.value(m_mode);
    w.value(m_elementName);
    w.value(m_name);
    w.value(binSerialize());
    w.value(xmlSerialize());
    return w.written();
}

unsigned ProcessParams::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const bool enabled = r.u8() != 0;
    kttl::String mode, elementName, name, body;
    ktsl::MemIOStream payload;
    r.value(mode);
    r.value(elementName);
    r.value(name);
    r.value(payload);
    r.value(body);
    if (!binUnserialize(payload) && !xmlUnserialize(body))
        fromBinFailed();
    m_enabled = enabled;
    m_mode = std::move(mode);
    m_elementName = std::move(elementName);
    m_name = std::move(name);
    m_binPayload = std::move(payload);
    m_xmlPayload = std::move(body);
    return r.consumed();
}
