#include "kttl_Buffer.h"

#include <limits>

#include "kttl_Exception.h"
#include "kttl_Hex.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

Buffer::Buffer(const void* data, unsigned size) { assign(data, size); }

Buffer::~Buffer() = default;

void Buffer::assign(const void* data, unsigned size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (!p) size = 0;
    m_bytes.assign(p, p + size);
}

String Buffer::getTypeName() const { return "Buffer"; }

String Buffer::toXML(const char* tag) const {
    if (!tag) return String();
    if (m_bytes.empty()) return String::format("<%s/>", tag);
    static const char kHex[] = "0123456789abcdef";
    String out = String::format("<%s>", tag);
    out.reserve(2 * out.size() + 1 + 2 * m_bytes.size());  // both tags and two digits a byte
    for (unsigned char b : m_bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    out.appendFormat("</%s>", tag);
    return out;
}

bool Buffer::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    String text = String(it.getValue()).trimmed();
    if (text.size() % 2) return false;
    std::vector<unsigned char> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        int hi = hexDigit(text[2 * i]), lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    m_bytes.swap(bytes);
    return true;
}

unsigned Buffer::getBinLength() const {
    if (m_bytes.size() > std::numeric_limits<unsigned>::max() - 4u)
        KT_THROW("kttl::Buffer", "getBinLength() - buffer too large for its binary form");
    return static_cast<unsigned>(m_bytes.size()) + 4;
}

unsigned Buffer::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u32(static_cast<uint32_t>(m_bytes.size()));
    w.bytes(m_bytes.data(), static_cast<unsigned>(m_bytes.size()));
    return w.written();
}

unsigned Buffer::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const unsigned n = r.u32();
    const unsigned char* p = r.bytes(n);  // refuses a count beyond the input before allocating
    m_bytes.assign(p, p + n);
    return r.consumed();
}

}  // namespace kttl
