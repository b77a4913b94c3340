#include "kttl_Integer.h"

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

Integer::~Integer() = default;

String Integer::getTypeName() const { return "Integer"; }

String Integer::toXML(const char* tag) const {
    if (!tag) return String();
    return String::format("<%s>%d</%s>", tag, static_cast<int>(m_value), tag);
}

bool Integer::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    int v;
    if (!String(it.getValue()).parseInt(v)) return false;
    m_value = v;
    return true;
}

unsigned Integer::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.i32(m_value);
    return w.written();
}

unsigned Integer::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    m_value = r.i32();
    return r.consumed();
}

}  // namespace kttl
