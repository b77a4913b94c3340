#include "kttl_UUID.h"

#include <uuid/uuid.h>

#include "kttl_Hex.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

namespace {

constexpr size_t kTextLength = 36;

bool isDashPosition(size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

UUID::~UUID() = default;

UUID UUID::generate() {
    UUID u;
    uuid_generate(u.m_bytes);
    return u;
}

UUID UUID::generateTime() {
    UUID u;
    uuid_generate_time(u.m_bytes);
    return u;
}

bool UUID::isValid() const {
    for (unsigned char b : m_bytes)
        if (b) return true;
    return false;
}

String UUID::toString() const {
    const unsigned char* b = m_bytes;
    return String::format("%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                          b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                          b[15]);
}

bool UUID::fromString(const char* text) {
    if (!text) return false;
    // A scanf-style reader would stop quietly at a bad digit and still count the field as read;
    // every character is checked instead.
    String t = String(text).trimmed();
    if (t.size() != kTextLength) return false;
    unsigned char out[16];
    unsigned n = 0;
    for (size_t i = 0; i < kTextLength;) {
        if (isDashPosition(i)) {
            if (t[i] != '-') return false;
            ++i;
            continue;
        }
        int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
        if (hi < 0 || lo < 0 || isDashPosition(i + 1)) return false;
        out[n++] = static_cast<unsigned char>(hi << 4 | lo);
        i += 2;
    }
    if (n != 16) return false;
    std::memcpy(m_bytes, out, sizeof m_bytes);
    return true;
}

String UUID::getTypeName() const { return "UUID"; }

String UUID::toXML(const char* tag) const {
    if (!tag) return String();
    return String::format("<%s>%s</%s>", tag, toString().c_str(), tag);
}

bool UUID::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    return fromString(it.getValue().c_str());
}

unsigned UUID::toBin(unsigned char* out) const { return ktsl::writeFixed(out, m_bytes); }

unsigned UUID::fromBin(const unsigned char* in, unsigned length) { return ktsl::readFixed(in, length, m_bytes); }

}  // namespace kttl
