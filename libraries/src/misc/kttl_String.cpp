#include "kttl_String.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

namespace {

int lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

int compareNoCaseBytes(const char* a, size_t na, const char* b, size_t nb) {
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        int d = lowerAscii(static_cast<unsigned char>(a[i])) - lowerAscii(static_cast<unsigned char>(b[i]));
        if (d) return d;
    }
    return na < nb ? -1 : (na > nb ? 1 : 0);
}

// Length (u32) and terminating zero around the characters.
constexpr unsigned kBinOverhead = 5;

}  // namespace

String::~String() = default;

String String::vformat(const char* fmt, va_list args) {
    String out;
    if (!fmt) return out;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return out;
    if (static_cast<size_t>(n) < sizeof small) {
        out.std::string::assign(small, static_cast<size_t>(n));
        return out;
    }
    out.resize(static_cast<size_t>(n));
    std::vsnprintf(&out[0], static_cast<size_t>(n) + 1, fmt, args);
    return out;
}

String String::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    String s = vformat(fmt, args);
    va_end(args);
    return s;
}

String& String::assignFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    String s = vformat(fmt, args);
    va_end(args);
    std::string::operator=(std::move(s));
    return *this;
}

String& String::appendFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    String s = vformat(fmt, args);
    va_end(args);
    append(s);
    return *this;
}

int String::compareNoCase(const char* other) const {
    if (!other) other = "";
    return compareNoCaseBytes(data(), size(), other, std::strlen(other));
}

int String::compareNoCase(const std::string& other) const {
    return compareNoCaseBytes(data(), size(), other.data(), other.size());
}

int String::compareIgnoringCase(const std::string& a, const std::string& b) {
    return compareNoCaseBytes(a.data(), a.size(), b.data(), b.size());
}

String String::toLower() const {
    String s(*this);
    for (char& c : s) c = static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
    return s;
}

String String::toUpper() const {
    String s(*this);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool String::startsWith(const char* prefix) const {
    if (!prefix) return true;
    size_t n = std::strlen(prefix);
    return size() >= n && compare(0, n, prefix) == 0;
}

bool String::endsWith(const char* suffix) const {
    if (!suffix) return true;
    size_t n = std::strlen(suffix);
    return size() >= n && compare(size() - n, n, suffix) == 0;
}

String& String::trimLeft(const char* chars) {
    if (!chars) return *this;
    erase(0, std::min(find_first_not_of(chars), size()));
    return *this;
}

String& String::trimRight(const char* chars) {
    if (!chars) return *this;
    size_t last = find_last_not_of(chars);
    erase(last == npos ? 0 : last + 1);
    return *this;
}

String& String::trim(const char* chars) { return trimRight(chars).trimLeft(chars); }

String String::trimmed(const char* chars) const {
    String s(*this);
    s.trim(chars);
    return s;
}

std::vector<String> String::tokenize(const char* delimiters, bool keepEmpty) const {
    std::vector<String> tokens;
    if (!delimiters) delimiters = "";
    size_t start = 0;
    for (;;) {
        size_t end = find_first_of(delimiters, start);
        size_t stop = end == npos ? size() : end;
        if (keepEmpty || stop > start) tokens.emplace_back(substr(start, stop - start));
        if (end == npos) break;
        start = end + 1;
    }
    return tokens;
}

size_t String::replaceAll(const char* from, const char* to) {
    if (!from || !*from) return 0;
    if (!to) to = "";
    const size_t nf = std::strlen(from), nt = std::strlen(to);
    size_t count = 0;
    for (size_t at = find(from); at != npos; at = find(from, at + nt)) {
        replace(at, nf, to);
        ++count;
    }
    return count;
}

bool String::parseInt(int& out) const {
    String t = trimmed();
    if (t.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool String::parseUnsigned(uint64_t max, uint64_t& out) const {
    const String t = trimmed();
    // Twenty digits hold every 64-bit value; more cannot be in range.
    if (t.empty() || t.size() > 20) return false;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v > max) return false;
    out = v;
    return true;
}

bool String::parseDouble(double& out) const {
    String t = trimmed();
    if (t.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (*end != '\0') return false;
    out = v;
    return true;
}

String String::xmlEscape(const char* text) {
    String out;
    if (!text) return out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\'': out += "&apos;"; break;
            case '"': out += "&quot;"; break;
            default: out += *p;
        }
    }
    return out;
}

String String::toXML(const char* tag) const {
    if (!tag) return String();
    if (empty()) return format("<%s/>", tag);
    String out;
    out.reserve(size() + 2 * std::strlen(tag) + 5);
    out += '<';
    out += tag;
    out += '>';
    out += xmlEscaped();
    out += "</";
    out += tag;
    out += '>';
    return out;
}

bool String::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    std::string::operator=(it.getValue());
    return true;
}

unsigned String::getBinLength() const {
    if (size() > std::numeric_limits<unsigned>::max() - kBinOverhead)
        KT_THROW("kttl::String", "getBinLength() - string too long for its binary form");
    return static_cast<unsigned>(size()) + kBinOverhead;
}

unsigned String::toBin(unsigned char* out) const {
    const unsigned n = getBinLength() - kBinOverhead;
    ktsl::BinWriter w(out);
    w.u32(n);
    w.bytes(data(), n);
    w.u8(0);
    return w.written();
}

unsigned String::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const unsigned n = r.u32();
    // Checked before touching the string so a lying length allocates nothing.
    if (r.remaining() < 1 || n > r.remaining() - 1) fromBinFailed();
    const unsigned char* chars = r.bytes(n);
    r.skip(1);
    std::string::assign(reinterpret_cast<const char*>(chars), n);
    return r.consumed();
}

}  // namespace kttl
