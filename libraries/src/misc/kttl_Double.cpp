#include "kttl_Double.h"

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

namespace {
// Keeps the printed text (and the format string built for it) bounded.
constexpr int kMaxPrecision = 60;
}  // namespace

Double::~Double() = default;

String Double::getTypeName() const { return "Double"; }

String Double::toXML(const char* tag) const {
    if (!tag) return String();
    return String::format("<%s>%g</%s>", tag, m_value, tag);
}

String Double::toXML(const char* tag, int precision) const {
    if (!tag) return String();
    if (precision < 0) precision = 0;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    const String fmt = String::format("<%%s>%%.%df</%%s>", precision);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return String::format(fmt.c_str(), tag, m_value, tag);
#pragma GCC diagnostic pop
}

bool Double::fromXML(const char* xml) {
    ktxml::DomIterator it;
    double v;
    if (!it.parse(xml) || !String(it.getValue()).parseDouble(v)) return false;
    m_value = v;
    return true;
}

unsigned Double::toBin(unsigned char* out) const { return ktsl::writeFixed(out, m_value); }

unsigned Double::fromBin(const unsigned char* in, unsigned length) { return ktsl::readFixed(in, length, m_value); }

}  // namespace kttl
