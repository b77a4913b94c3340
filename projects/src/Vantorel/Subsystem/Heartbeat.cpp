// Heartbeat: the binary form of viewer state reports.
#include "Heartbeat.h"

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

Heartbeat::Heartbeat() : m_timestamp(kttl::TimeStamp::systemTime()), m_version(kVersion) {}

unsigned Heartbeat::getBinLength() const {
    return attributesBinLength() + m_timestamp.getBinLength() + m_version.getBinLength();
}

unsigned Heartbeat::toBin(unsigned char* out) const {
    const unsigned n = attributesToBin(out);
    ktsl::BinWriter w(out + n);
    w.value(m_timestamp);
    w.value(m_version);
    return n + w.written();
}

unsigned Heartbeat::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    kttl::Attributes attributes;
    r.skip(attributes.attributesFromBin(r.current(), r.remaining()));
    kttl::TimeStamp t;
    kttl::Integer v;
    r.value(t);
    r.value(v);
    static_cast<kttl::Attributes&>(*this) = std::move(attributes);
    m_timestamp = t;
    m_version = v;
    return r.consumed();
}

kttl::String Heartbeat::toXML(const char*) const { KT_THROW("Heartbeat", "toXML() - Not implemented"); }

bool Heartbeat::fromXML(const char*) { KT_THROW("Heartbeat", "fromXML() - Not implemented"); }
