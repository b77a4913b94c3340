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
    int v;
    if (!it.parse(xml) || !String(it.getValue()).parseInt(v)) return false;
    m_value = v;
    return true;
}

unsigned Integer::toBin(unsigned char* out) const { return ktsl::writeFixed(out, m_value); }

unsigned Integer::fromBin(const unsigned char* in, unsigned length) { return ktsl::readFixed(in, length, m_value); }

}  // namespace kttl
