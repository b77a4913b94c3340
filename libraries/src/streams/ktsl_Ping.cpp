// ktsl::Ping: the binary form of connection tests.
#include "ktsl_Ping.h"

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

namespace ktsl {

Ping::Ping() : m_timestamp(kttl::TimeStamp::systemTime()) {}

unsigned Ping::getBinLength() const {
    return m_timestamp.getBinLength() + m_version.getBinLength() + attributesBinLength();
}

unsigned Ping::toBin(unsigned char* out) const {
    BinWriter w(out);
    w.value(m_timestamp);
    w.value(m_version);
    const unsigned n = attributesToBin(w.current());
    return w.written() + n;
}

unsigned Ping::fromBin(const unsigned char* in, unsigned length) {
    BinReader r(in, length);
    kttl::TimeStamp t;
    kttl::Integer v;
    r.value(t);
    r.value(v);
    kttl::Attributes attributes;
    const unsigned used = attributes.attributesFromBin(r.current(), r.remaining());
    r.skip(used);
    m_timestamp = t;
    m_version = v;
    static_cast<kttl::Attributes&>(*this) = std::move(attributes);
    return r.consumed();
}

kttl::String Ping::toXML(const char*) const { KT_THROW("ktsl::Ping", "toXML() - Not implemented"); }

bool Ping::fromXML(const char*) { KT_THROW("ktsl::Ping", "fromXML() - Not implemented"); }

}  // namespace ktsl
