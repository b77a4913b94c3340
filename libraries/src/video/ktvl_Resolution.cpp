// ktvl::Resolution: a frame size (width x height) as a serializable value (id 815, "Resolution").
#include "ktvl_Resolution.h"

#include <cctype>
#include <climits>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace ktvl {

namespace {

// A decimal 32-bit number after optional white space, as "%d" reads one; false on overflow.
bool readInt(const char*& p, int32_t& out) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

struct Named {
    const char* name;
    int32_t width, height;
};
const Named kNamed[] = {
    {"QCIF", 176, 144}, {"CIF", 352, 288}, {"4CIF", 704, 576}, {"720p", 1280, 720}, {"1080p", 1920, 1080},
};

}  // namespace

Resolution::~Resolution() = default;

bool Resolution::fromString(const kttl::String& text) {
    const char* p = text.c_str();
    int32_t w = 0, h = 0;
    if (readInt(p, w)) {
        while (std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (*p == 'x' && readInt(++p, h)) {
            set(w, h);
            return true;
        }
    }
    for (const Named& n : kNamed) {
        if (text.trimmed().equalsNoCase(n.name)) {
            set(n.width, n.height);
            return true;
        }
    }
    return false;
}

kttl::String Resolution::toString() const {
    return kttl::String::format("%dx%d", static_cast<int>(m_width), static_cast<int>(m_height));
}

Resolution Resolution::getMax(const Resolution& a, const Resolution& b) {
    return Resolution(a.getWidth() > b.getWidth() ? a.getWidth() : b.getWidth(),
                      a.getHeight() > b.getHeight() ? a.getHeight() : b.getHeight());
}

kttl::String Resolution::toXML(const char* tag) const {
    if (tag == nullptr) return kttl::String();
    return kttl::String::format("<%s><width>%d</width><height>%d</height></%s>", tag, static_cast<int>(m_width),
                                static_cast<int>(m_height), tag);
}

bool Resolution::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    if (!it.hasChildren()) return fromString(it.getValue());
    int w = 0, h = 0;
    bool haveW = false, haveH = false;
    for (ktxml::DomIterator child = it.childrenBegin(); !child.atEnd(); child.nextSibling()) {
        if (child.getName() == "width") haveW = kttl::String(child.getValue()).parseInt(w);
        if (child.getName() == "height") haveH = kttl::String(child.getValue()).parseInt(h);
    }
    if (!haveW || !haveH) return false;
    set(w, h);
    return true;
}

unsigned Resolution::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.i32(m_width);
    w.i32(m_height);
    return w.written();
}

unsigned Resolution::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const int32_t w = r.i32();
    const int32_t h = r.i32();
    set(w, h);
    return r.consumed();
}

}  // namespace ktvl
