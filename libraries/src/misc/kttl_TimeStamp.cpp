// Time stamps: normalisation, arithmetic, formatting and parsing, binary and XML forms.
#include "kttl_TimeStamp.h"

#include <strings.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace kttl {

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// strftime output that does not fit is retried with larger buffers up to this size.
constexpr size_t kMaxFormattedLength = 65536;

// 64-bit arithmetic that saturates instead of wrapping; 32-bit targets have no wider integer.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

// sec * 1000 + ms for |ms| < 1000: exact wherever the result fits, else the nearer limit.
int64_t toMilliseconds(int64_t sec, int64_t ms) {
    // Give both parts one sign, so an overflow of the product means the sum overflows too.
    if (sec > 0 && ms < 0) {
        --sec;
        ms += 1000;
    } else if (sec < 0 && ms > 0) {
        ++sec;
        ms -= 1000;
    }
    int64_t r;
    if (__builtin_mul_overflow(sec, int64_t(1000), &r) || __builtin_add_overflow(r, ms, &r))
        return sec < 0 || ms < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

// Splits seconds + milliseconds into seconds and 0..999 milliseconds (floor division).
void normalise(int64_t seconds, int64_t ms, int64_t& outSec, uint16_t& outMs) {
    int64_t carry = ms / 1000;
    int64_t rem = ms % 1000;
    if (rem < 0) {
        rem += 1000;
        --carry;
    }
    outSec = saturatingAdd(seconds, carry);
    outMs = static_cast<uint16_t>(rem);
}

bool breakDown(int64_t seconds, bool gmt, struct tm& out) {
    std::memset(&out, 0, sizeof out);
    if (seconds < std::numeric_limits<time_t>::min() || seconds > std::numeric_limits<time_t>::max()) return false;
    const time_t t = static_cast<time_t>(seconds);
    return gmt ? gmtime_r(&t, &out) != nullptr : localtime_r(&t, &out) != nullptr;
}

bool sameDay(const struct tm& a, const struct tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// Reads exactly `width` characters at `pos` as a decimal number in [lo, hi]. `spacePad` admits
// leading blanks in the field (the "%D" form " 5").
bool readNumber(const String& text, size_t& pos, unsigned width, int lo, int hi, bool spacePad, int& out) {
    if (pos > text.size() || text.size() - pos < width) return false;
    int v = 0;
    bool digits = false;
    for (unsigned i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            digits = true;
        } else if (!(spacePad && c == ' ' && !digits)) {
            return false;
        }
    }
    if (!digits || v < lo || v > hi) return false;
    pos += width;
    out = v;
    return true;
}

// Matches one of `names` (full, or their first three letters when `abbreviated`) at `pos`,
// ignoring case. Returns the index or -1.
int readName(const String& text, size_t& pos, const char* const* names, int count, bool abbreviated) {
    for (int i = 0; i < count; ++i) {
        const size_t len = abbreviated ? 3 : std::strlen(names[i]);
        if (pos <= text.size() && text.size() - pos >= len && strncasecmp(text.c_str() + pos, names[i], len) == 0) {
            pos += len;
            return i;
        }
    }
    return -1;
}

// Zone written at a "%Z" or "%z" code: letters (an abbreviation such as "CET") or a numeric
// offset such as "+0100" / "+03".
size_t zoneTextLength(const String& text, size_t pos) {
    size_t end = pos;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) {
        ++end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        return end - pos;
    }
    while (end < text.size() && ((text[end] >= 'A' && text[end] <= 'Z') || (text[end] >= 'a' && text[end] <= 'z'))) ++end;
    return end - pos;
}

// Calendar fields read from a text. `zone`: the zone text found at "%Z"/"%z" ("" when none).
struct ParsedFields {
    struct tm tm;
    int ms = 0;
    String zone;
};

// The fixed-width numeric codes of the format walk: digits read and the range accepted.
struct NumericCode {
    char code;
    unsigned width;
    int lo, hi;
};
const NumericCode kNumericCodes[] = {
    {'Y', 4, 0, 9999}, {'y', 2, 0, 99}, {'m', 2, 1, 12}, {'d', 2, 1, 31}, {'D', 2, 1, 31}, {'H', 2, 0, 23},
    {'I', 2, 1, 12},   {'M', 2, 0, 59}, {'S', 2, 0, 60}, {'s', 3, 0, 999}, {'j', 3, 1, 366}, {'w', 1, 0, 6},
};

const NumericCode* numericCode(char code) {
    for (const NumericCode& n : kNumericCodes)
        if (n.code == code) return &n;
    return nullptr;
}

// Steps of the format walk; false on a malformed or out-of-range field.
bool parseFields(const String& text, const char* format, ParsedFields& p) {
    const time_t now = time(nullptr);
    if (!localtime_r(&now, &p.tm)) return false;
    p.ms = 0;
    size_t pos = 0;
    int ampm = 0;  // 0 none, 1 AM, 2 PM
    int hour12 = -1;
    int yday = -1;
    for (size_t i = 0; format[i]; ++i) {
        // Every position is checked against the text: a format longer than its text is a mismatch.
        if (format[i] != '%' || format[i + 1] == '\0') {
            if (pos >= text.size()) return false;
            ++pos;
            continue;
        }
        const char code = format[++i];
        int v = 0;
        if (const NumericCode* n = numericCode(code)) {
            // "%D" is the space-padded day ("%2d"), so blanks may lead its digits.
            if (!readNumber(text, pos, n->width, n->lo, n->hi, code == 'D', v)) return false;
            switch (code) {
                case 'Y': p.tm.tm_year = v - 1900; break;
                case 'y': p.tm.tm_year = v < 70 ? 100 + v : v; break;
                case 'm': p.tm.tm_mon = v - 1; break;
                case 'd':
                case 'D': p.tm.tm_mday = v; break;
                case 'H': p.tm.tm_hour = v; break;
                case 'I': hour12 = v; break;
                case 'M': p.tm.tm_min = v; break;
                case 'S': p.tm.tm_sec = v; break;
                case 's': p.ms = v; break;
                case 'j': yday = v; break;
                case 'w': p.tm.tm_wday = v; break;
            }
            continue;
        }
        switch (code) {
            case '%':
                if (pos >= text.size()) return false;
                ++pos;
                break;
            case 'p':
                if (pos <= text.size() && text.compare(pos, 2, "AM") == 0) {
                    ampm = 1;
                } else if (pos <= text.size() && text.compare(pos, 2, "PM") == 0) {
                    ampm = 2;
                } else {
                    return false;
                }
                pos += 2;
                break;
            case 'a':
            case 'A':
                if ((v = readName(text, pos, kDays, 7, code == 'a')) < 0) return false;
                p.tm.tm_wday = v;
                break;
            case 'b':
            case 'B':
                if ((v = readName(text, pos, kMonths, 12, code == 'b')) < 0) return false;
                p.tm.tm_mon = v;
                break;
            case 'Z':
            case 'z': {
                // The zone is consumed so that fields after it stay aligned with the text.
                if (pos > text.size()) return false;
                const size_t len = zoneTextLength(text, pos);
                p.zone.assign(text, pos, len);
                pos += len;
                break;
            }
            default:  // %U %W %X %c %x and unknown codes read nothing
                break;
        }
    }
    if (hour12 >= 0) p.tm.tm_hour = hour12;
    if (ampm == 2 && p.tm.tm_hour < 12) p.tm.tm_hour += 12;
    if (ampm == 1 && p.tm.tm_hour == 12) p.tm.tm_hour = 0;
    if (yday > 0) {  // day of the year: day `yday` of January, normalised by the conversion
        p.tm.tm_mon = 0;
        p.tm.tm_mday = yday;
    }
    return true;
}

// The fields as a local instant; the zone text, when it names standard or daylight time, settles
// the repeated hour at the end of daylight saving.
bool localInstant(ParsedFields& p, int64_t& seconds) {
    p.tm.tm_isdst = -1;
    if (!p.zone.empty()) {
        tzset();
        if (tzname[0] && p.zone == tzname[0]) p.tm.tm_isdst = 0;
        else if (tzname[1] && p.zone == tzname[1] && std::strcmp(tzname[0], tzname[1]) != 0) p.tm.tm_isdst = 1;
    }
    const time_t t = mktime(&p.tm);
    if (t == static_cast<time_t>(-1)) return false;
    seconds = t;
    return true;
}

}  // namespace

TimeStamp::TimeStamp(int64_t seconds, int64_t milliseconds, bool gmt) : m_gmt(gmt) {
    normalise(seconds, milliseconds, m_sec, m_ms);
}

TimeStamp::TimeStamp(const timeval& tv, bool gmt) : m_gmt(gmt) {
    normalise(tv.tv_sec, static_cast<int64_t>(tv.tv_usec) / 1000, m_sec, m_ms);
}

TimeStamp::TimeStamp(int year, int month, int day, int hour, int minute, int second, int millisecond, bool gmt)
    : m_gmt(gmt) {
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const time_t t = gmt ? timegm(&tm) : mktime(&tm);
    normalise(t, millisecond, m_sec, m_ms);
}

TimeStamp::~TimeStamp() = default;

TimeStamp TimeStamp::systemTime() {
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return TimeStamp();
    return TimeStamp(ts.tv_sec, ts.tv_nsec / 1000000, false);
}

TimeStamp TimeStamp::systemTimeGMT() { return systemTime().toGMT(); }

TimeStamp TimeStamp::toGMT() const {
    TimeStamp t(*this);
    t.m_gmt = true;
    return t;
}

TimeStamp TimeStamp::toLocal() const {
    TimeStamp t(*this);
    t.m_gmt = false;
    return t;
}

TimeStamp::operator timeval() const {
    timeval tv;
    tv.tv_sec = static_cast<time_t>(m_sec);
    tv.tv_usec = static_cast<suseconds_t>(m_ms) * 1000;
    return tv;
}

ElapsedTime TimeStamp::toElapsedTime() const {
    return ElapsedTime(toMilliseconds(m_sec, m_ms));
}

TimeStamp& TimeStamp::fromElapsedTime(const ElapsedTime& t) {
    const int64_t ms = t.getMilliseconds();
    normalise(ms / 1000, ms % 1000, m_sec, m_ms);
    return *this;
}

struct tm TimeStamp::getTM() const {
    struct tm tm;
    breakDown(m_sec, m_gmt, tm);
    return tm;
}

TimeStamp TimeStamp::operator+(const ElapsedTime& d) const {
    // Split the duration first so that the millisecond sum cannot overflow.
    const int64_t ms = d.getMilliseconds();
    TimeStamp r(*this);
    normalise(saturatingAdd(m_sec, ms / 1000), static_cast<int64_t>(m_ms) + ms % 1000, r.m_sec, r.m_ms);
    return r;
}

TimeStamp TimeStamp::operator-(const ElapsedTime& d) const {
    return *this + (-d);
}

ElapsedTime TimeStamp::operator-(const TimeStamp& o) const {
    int64_t seconds;
    if (__builtin_sub_overflow(m_sec, o.m_sec, &seconds))  // the difference is beyond any duration
        return ElapsedTime(m_sec > o.m_sec ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min());
    return ElapsedTime(toMilliseconds(seconds, static_cast<int64_t>(m_ms) - o.m_ms));
}

ElapsedTime TimeStamp::tzOffset() {
    const time_t now = time(nullptr);
    struct tm local, utc;
    if (!localtime_r(&now, &local) || !gmtime_r(&now, &utc)) return ElapsedTime();
    local.tm_isdst = 0;
    utc.tm_isdst = 0;
    const double seconds = difftime(mktime(&local), mktime(&utc));
    // Nearest half hour, halves away from zero.
    const double halfHours = std::round(seconds / 1800.0);
    return ElapsedTime(static_cast<int64_t>(halfHours) * 1800 * 1000);
}

String TimeStamp::monthStr(int month) { return month >= 0 && month < 12 ? kMonths[month] : ""; }
String TimeStamp::dayStr(int day) { return day >= 0 && day < 7 ? kDays[day] : ""; }

String TimeStamp::toString(const char* format) const {
    if (!format) return String();
    if (std::strcmp(format, "ISO8601") == 0) return toISOString();
    struct tm tm;
    breakDown(m_sec, m_gmt, tm);

    // The codes strftime does not know (or knows differently) are replaced by their text first.
    String expanded;
    for (size_t i = 0; format[i]; ++i) {
        const char c = format[i];
        const char next = format[i + 1];
        if (c != '%' || next == '\0') {
            expanded += c;
            continue;
        }
        ++i;
        if (next == 's') {
            expanded.appendFormat("%03d", static_cast<int>(m_ms));
        } else if (next == 'D') {
            expanded.appendFormat("%2d", tm.tm_mday);
        } else if ((next == 'z' || next == 'Z') && m_gmt) {
            expanded += "GMT";
        } else {
            expanded += c;  // "%%" and every other code stay for strftime
            expanded += next;
        }
    }
    if (expanded.empty()) return String();
    // Ten times the format's length is the usual fit; longer output ("%c") gets a larger buffer.
    // Short formats (every log line's time) are done on the stack.
    char small[256];
    std::vector<char> large;
    for (size_t size = expanded.size() * 10; size <= kMaxFormattedLength; size *= 2) {
        char* buf = small;
        if (size > sizeof small) {
            large.resize(size);
            buf = large.data();
        }
        const size_t n = strftime(buf, size, expanded.c_str(), &tm);
        if (n > 0) return String(buf, n);
    }
    return String();
}

String TimeStamp::toISOString() const {
    String s = toString("%Y-%m-%dT%H:%M:%S.%s");
    if (m_gmt) return s + "Z";
    // The offset in force at this instant, so stamps on the other side of a daylight-saving change
    // are written with their own offset.
    struct tm tm;
    breakDown(m_sec, false, tm);
    const long off = tm.tm_gmtoff;
    const long mag = off < 0 ? -off : off;
    s.appendFormat("%c%02ld:%02ld", off < 0 ? '-' : '+', (mag / 3600) % 24, (mag / 60) % 60);
    return s;
}

String TimeStamp::toCondString(const char* todayFormat, const char* otherFormat) const {
    if (m_sec < 0 || isZero()) return String();
    struct tm mine, today;
    breakDown(m_sec, m_gmt, mine);
    const time_t now = time(nullptr);
    localtime_r(&now, &today);
    return toString(sameDay(mine, today) ? todayFormat : otherFormat);
}

TimeStamp TimeStamp::fromString(const String& text, const char* format) {
    if (!format) return TimeStamp();
    if (std::strcmp(format, "ISO8601") == 0) return fromISOString(text);
    ParsedFields p;
    if (!parseFields(text, format, p)) return TimeStamp();

    // A stamp written with its GMT flag set names its zone "GMT" and carries UTC fields.
    const bool gmt = p.zone == "GMT";
    int64_t seconds = 0;
    if (gmt) {
        p.tm.tm_isdst = 0;
        const time_t t = timegm(&p.tm);
        if (t == static_cast<time_t>(-1)) return TimeStamp();
        seconds = t;
    } else if (!localInstant(p, seconds)) {
        return TimeStamp();
    }
    // Calendar normalisation (30 February) or a mismatching literal shows as a different text.
    const TimeStamp result(seconds, p.ms, gmt);
    const String check = result.toString(format);
    if (check.empty() || text.compare(0, check.size(), check) != 0) return TimeStamp();
    return result;
}

TimeStamp TimeStamp::fromISOString(const String& text) {
    if (text.size() < 19) return TimeStamp();
    const char* format = "%Y-%m-%dT%H:%M:%S";
    size_t len = 19;
    if (text[19] == '.') {
        if (text.size() < 23) return TimeStamp();
        format = "%Y-%m-%dT%H:%M:%S.%s";
        len = 23;
    }
    const String head = text.substr(0, len);
    if (text.size() == len) return fromString(head, format);

    // An explicit zone: the fields are UTC shifted by the given offset.
    int64_t offset = 0;
    const char zone = text[len];
    if (zone != 'Z') {
        if (zone != '+' && zone != '-') return TimeStamp();
        size_t pos = len + 1;
        int hours = 0, minutes = 0;
        if (!readNumber(text, pos, 2, 0, 23, false, hours)) return TimeStamp();
        pos = len + 4;
        if (!readNumber(text, pos, 2, 0, 59, false, minutes)) return TimeStamp();
        offset = (hours * 3600 + minutes * 60) * (zone == '-' ? -1 : 1);
    }
    ParsedFields p;
    if (!parseFields(head, format, p)) return TimeStamp();
    p.tm.tm_isdst = 0;
    const time_t t = timegm(&p.tm);
    if (t == static_cast<time_t>(-1)) return TimeStamp();
    if (TimeStamp(t, p.ms, true).toString(format) != head) return TimeStamp();
    return TimeStamp(static_cast<int64_t>(t) - offset, p.ms, false);
}

String TimeStamp::toXML(const char* tag) const { return toXML(tag, DEFAULT_XML_FORMAT); }

String TimeStamp::toXML(const char* tag, const char* format) const {
    if (!tag) return String();
    if (!format) format = DEFAULT_XML_FORMAT;
    return String::format("<%s format=\"%s\">%s</%s>", tag, String::xmlEscape(format).c_str(),
                          toString(format).xmlEscaped().c_str(), tag);
}

bool TimeStamp::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    const String format = it.hasAttribute("format") ? String(it.getAttribute("format")) : String(DEFAULT_XML_FORMAT);
    *this = fromString(it.getValue(), format.c_str());
    return true;
}

unsigned TimeStamp::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    struct tm tm;
    // The byte-wide year holds 1900..2155; other instants are written as the empty time.
    const bool representable = !isZero() && m_sec >= 0 && breakDown(m_sec, false, tm) && tm.tm_year >= 0 &&
                               tm.tm_year <= 255;
    if (!representable) {
        for (int i = 0; i < 8; ++i) w.u8(0);
    } else {
        w.u8(static_cast<uint8_t>(tm.tm_year));
        w.u8(static_cast<uint8_t>(tm.tm_mon));
        w.u8(static_cast<uint8_t>(tm.tm_mday));
        w.u8(static_cast<uint8_t>(tm.tm_hour));
        w.u8(static_cast<uint8_t>(tm.tm_min));
        w.u8(static_cast<uint8_t>(tm.tm_sec));
        w.u16(m_ms);
    }
    w.u8(m_gmt ? 1 : 0);
    return w.written();
}

unsigned TimeStamp::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    r.need(9);
    const unsigned char* b = r.bytes(6);
    const uint16_t ms = r.u16();
    const bool gmt = r.u8() != 0;
    if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0 && b[4] == 0 && b[5] == 0 && ms == 0) {
        *this = TimeStamp();
        m_gmt = gmt;
        return r.consumed();
    }
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    tm.tm_year = b[0];
    tm.tm_mon = b[1];
    tm.tm_mday = b[2];
    tm.tm_hour = b[3];
    tm.tm_min = b[4];
    tm.tm_sec = b[5];
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    normalise(t, ms, m_sec, m_ms);
    m_gmt = gmt;
    return r.consumed();
}

}  // namespace kttl
