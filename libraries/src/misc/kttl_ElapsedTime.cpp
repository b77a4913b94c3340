// Durations: unit conversions, unit choice, human and clock texts, binary and XML forms.
#include "kttl_ElapsedTime.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"
#include "kttl_Integer.h"

namespace kttl {

namespace {

struct UnitName {
    const char* singular;
    const char* plural;
    int64_t ms;
};

// Largest first: the unit choices walk this table top-down.
const UnitName kUnits[] = {
    {"day", "days", ElapsedTime::MS_PER_DAY},
    {"hour", "hours", ElapsedTime::MS_PER_HOUR},
    {"minute", "minutes", ElapsedTime::MS_PER_MINUTE},
    {"second", "seconds", ElapsedTime::MS_PER_SECOND},
    {"millisecond", "milliseconds", 1},
};

// Rounds half away from zero and saturates at the int64 range; NaN gives 0.
int64_t roundToMs(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::round(v);  // std::round rounds halves away from zero
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (r >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

int clampToInt(int64_t v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

int64_t saturatingSub(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

}  // namespace

ElapsedTime::~ElapsedTime() = default;

ElapsedTime ElapsedTime::fromMilliseconds(double value) { return ElapsedTime(roundToMs(value)); }
ElapsedTime ElapsedTime::fromSeconds(double value) { return ElapsedTime(roundToMs(value * MS_PER_SECOND)); }
ElapsedTime ElapsedTime::fromMinutes(double value) { return ElapsedTime(roundToMs(value * MS_PER_MINUTE)); }
ElapsedTime ElapsedTime::fromHours(double value) { return ElapsedTime(roundToMs(value * MS_PER_HOUR)); }
ElapsedTime ElapsedTime::fromDays(double value) { return ElapsedTime(roundToMs(value * MS_PER_DAY)); }
ElapsedTime ElapsedTime::roundFromMicroseconds(double value) { return ElapsedTime(roundToMs(value / 1000.0)); }
ElapsedTime ElapsedTime::roundFromNanoseconds(double value) { return ElapsedTime(roundToMs(value / 1000000.0)); }

int64_t ElapsedTime::unitLength(const String& unit) {
    const String lower = unit.toLower();
    for (const UnitName& u : kUnits)
        if (lower == u.singular || lower == u.plural) return u.ms;
    return 0;
}

ElapsedTime ElapsedTime::fromValUnit(double value, const String& unit) {
    const int64_t len = unitLength(unit);
    if (len == 0) return ElapsedTime();
    return ElapsedTime(roundToMs(value * static_cast<double>(len)));
}

void ElapsedTime::getValUnit(int& value, String& unit) const {
    if (m_ms == 0) {
        value = 0;
        unit = "millisecond";
        return;
    }
    // Walk from the smallest unit up: stop below the first unit that does not divide the count.
    const size_t n = sizeof kUnits / sizeof kUnits[0];
    size_t chosen = n - 1;  // millisecond
    while (chosen > 0 && m_ms % kUnits[chosen - 1].ms == 0) --chosen;
    value = clampToInt(m_ms / kUnits[chosen].ms);
    unit = kUnits[chosen].singular;
}

void ElapsedTime::getValUnit(double& value, String& unit) const {
    const double m = static_cast<double>(m_ms);
    for (const UnitName& u : kUnits) {
        if (u.ms == 1) break;
        if (m / static_cast<double>(u.ms) > 1.5) {
            value = m / static_cast<double>(u.ms);
            unit = u.singular;
            return;
        }
    }
    value = m;
    unit = "millisecond";
}

Integer ElapsedTime::toInteger(const String& unit) const {
    int64_t len = 1;
    for (const UnitName& u : kUnits)
        if (unit == u.singular) len = u.ms;
    return Integer(clampToInt(m_ms / len));
}

String ElapsedTime::toHumanString(bool approximate) const {
    int value = 0;
    String unit;
    if (approximate) {
        double v = 0;
        getValUnit(v, unit);
        value = clampToInt(roundToMs(v));
    } else {
        getValUnit(value, unit);
    }
    return String::format("%d %s%s", value, unit.c_str(), value == 1 ? "" : "s");
}

bool ElapsedTime::fromHumanString(const String& text) {
    // "%d %s" by hand: strtol reports an out-of-range number where sscanf would be undefined.
    const char* p = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || number > INT_MAX || number < INT_MIN) return false;
    p = end;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    const char* wordEnd = p;
    while (*wordEnd && *wordEnd != ' ' && *wordEnd != '\t' && *wordEnd != '\r' && *wordEnd != '\n') ++wordEnd;
    if (wordEnd == p) return false;
    // A number with a word that names no unit is a zero duration, as fromValUnit has it. Unit
    // names have at most 12 characters ("milliseconds"), so a longer word is never a unit.
    const size_t wordLength = static_cast<size_t>(wordEnd - p);
    const int64_t len = wordLength > 12 ? 0 : unitLength(String(p, wordLength));
    m_ms = static_cast<int64_t>(number) * len;  // |number| < 2^31, len < 2^27: no overflow
    return true;
}

String ElapsedTime::toTimeString(unsigned fields) const {
    // Magnitude in unsigned arithmetic so INT64_MIN has one too.
    const uint64_t mag = m_ms < 0 ? 0 - static_cast<uint64_t>(m_ms) : static_cast<uint64_t>(m_ms);
    const uint64_t hours64 = mag / MS_PER_HOUR;
    const int hours = hours64 > INT_MAX ? INT_MAX : static_cast<int>(hours64);
    uint64_t rest = mag % MS_PER_HOUR;
    const int minutes = static_cast<int>(rest / MS_PER_MINUTE);
    rest %= MS_PER_MINUTE;
    const int seconds = static_cast<int>(rest / MS_PER_SECOND);
    const int millis = static_cast<int>(rest % MS_PER_SECOND);

    String out = m_ms < 0 ? "-" : "";
    if (fields >= 4) out.appendFormat("%02d:", hours);
    if (fields >= 3) out.appendFormat("%02d:", minutes);
    if (fields >= 2) out.appendFormat("%02d.", seconds);
    out.appendFormat("%03d", millis);
    return out;
}

ElapsedTime ElapsedTime::operator+(const ElapsedTime& o) const { return ElapsedTime(saturatingAdd(m_ms, o.m_ms)); }
ElapsedTime ElapsedTime::operator-(const ElapsedTime& o) const { return ElapsedTime(saturatingSub(m_ms, o.m_ms)); }
ElapsedTime ElapsedTime::operator-() const { return ElapsedTime(saturatingSub(0, m_ms)); }
ElapsedTime ElapsedTime::operator*(double f) const { return ElapsedTime(roundToMs(static_cast<double>(m_ms) * f)); }
ElapsedTime ElapsedTime::operator/(double d) const { return ElapsedTime(roundToMs(static_cast<double>(m_ms) / d)); }
ElapsedTime ElapsedTime::abs() const { return m_ms < 0 ? -*this : *this; }

String ElapsedTime::toXML(const char* tag) const {
    if (!tag) return String();
    const double m = static_cast<double>(m_ms);
    const char* unit = "millisecond";
    double value = m;
    // Coarsest unit (at most hours) in which the value reaches 1.5: a value of exactly one and a
    // half units reads better in the larger unit ("1.5 hour" rather than "90 minute").
    for (const UnitName& u : kUnits) {
        if (u.ms == MS_PER_DAY || u.ms == 1) continue;
        if (m / static_cast<double>(u.ms) >= 1.5) {
            unit = u.singular;
            value = m / static_cast<double>(u.ms);
            break;
        }
    }
    std::ostringstream text;
    text << value;  // default stream precision: six significant digits
    return String::format("<%s unit=\"%s\">%s</%s>", tag, unit, text.str().c_str(), tag);
}

bool ElapsedTime::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    double value = 0;
    if (!String(it.getValue()).parseDouble(value)) return false;
    const String unit = it.getAttribute("unit");
    if (unitLength(unit) == 0) return false;
    *this = fromValUnit(value, unit);
    return true;
}

unsigned ElapsedTime::toBin(unsigned char* out) const { return ktsl::writeFixed(out, m_ms); }

unsigned ElapsedTime::fromBin(const unsigned char* in, unsigned length) { return ktsl::readFixed(in, length, m_ms); }

}  // namespace kttl
