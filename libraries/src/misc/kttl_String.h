// kttl::String: the string of every name, key and message, and a serializable value (id 501).
#pragma once

#include <cstdint>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

#include "ktsl_Serializable.h"

namespace kttl {

// A std::string (all of its operations, ordering and use as a map key included) that is also a
// serializable value. Binary form: u32 length n, the n bytes, one zero byte (n + 5 bytes).
// XML form: <tag>escaped text</tag>, or <tag/> when empty.
class String : public ktsl::Serializable, public std::string {
public:
    String() = default;
    // A null pointer gives the empty string.
    String(const char* s) : std::string(s ? s : "") {}
    String(const char* s, size_t n) : std::string(s ? s : "", s ? n : 0) {}
    String(size_t n, char c) : std::string(n, c) {}
    String(const std::string& s) : std::string(s) {}
    String(std::string&& s) : std::string(std::move(s)) {}
    String(const String&) = default;
    String(String&&) = default;
    ~String() override;

    String& operator=(const String&) = default;
    String& operator=(String&&) = default;
    String& operator=(const std::string& s) { std::string::operator=(s); return *this; }
    String& operator=(std::string&& s) { std::string::operator=(std::move(s)); return *this; }
    String& operator=(const char* s) { std::string::operator=(s ? s : ""); return *this; }
    String& operator=(char c) { std::string::operator=(c); return *this; }

    // printf-style construction; a null format gives the empty string.
    static String format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static String vformat(const char* fmt, va_list args);
    // Replaces the content with / appends the printf-style formatted text. Returns *this.
    String& assignFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    String& appendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // ASCII case-insensitive three-way comparison (<0, 0, >0); null compares as "".
    int compareNoCase(const char* other) const;
    int compareNoCase(const std::string& other) const;
    static int compareIgnoringCase(const std::string& a, const std::string& b);
    bool equalsNoCase(const char* other) const { return compareNoCase(other) == 0; }
    bool equalsNoCase(const std::string& other) const { return compareNoCase(other) == 0; }
    String toLower() const;
    String toUpper() const;
    bool startsWith(const char* prefix) const;
    bool endsWith(const char* suffix) const;

    // Removes the given characters (default: blanks, tabs, line ends) from both ends / one end,
    // in place. Returns *this.
    String& trim(const char* chars = kBlanks);
    String& trimLeft(const char* chars = kBlanks);
    String& trimRight(const char* chars = kBlanks);
    String trimmed(const char* chars = kBlanks) const;

    // Splits at every character of `delimiters`. Empty tokens are dropped unless keepEmpty, in
    // which case "a,,b" gives "a", "", "b" and "" gives one empty token.
    std::vector<String> tokenize(const char* delimiters = kBlanks, bool keepEmpty = false) const;
    // Replaces every occurrence of `from` (not empty) by `to`; returns the number replaced.
    size_t replaceAll(const char* from, const char* to);

    // Strict number parsing of the whole text (blanks around allowed): false when anything else
    // is present or the value is out of range; `out` is then unchanged.
    bool parseInt(int& out) const;
    bool parseDouble(double& out) const;
    // Strict unsigned decimal (digits only, blanks around allowed) of at most `max`; false, out
    // untouched, for anything else.
    bool parseUnsigned(uint64_t max, uint64_t& out) const;

    // The five XML entities: & < > ' " become &amp; &lt; &gt; &apos; &quot;.
    static String xmlEscape(const char* text);
    String xmlEscaped() const { return xmlEscape(c_str()); }

    // Serializable
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::String; }
    String getTypeName() const override { return "kttl_String"; }
    String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

    static constexpr const char* kBlanks = " \t\r\n\v\f";

    // Orders strings ignoring ASCII case, for maps whose keys are compared that way.
    struct NoCaseLess {
        bool operator()(const std::string& a, const std::string& b) const {
            return compareIgnoringCase(a, b) < 0;
        }
    };
};

}  // namespace kttl

namespace std {
template <>
struct hash<kttl::String> {
    size_t operator()(const kttl::String& s) const noexcept { return hash<string>()(s); }
};
}  // namespace std
