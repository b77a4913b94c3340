// kttl::TimeStamp: an absolute wall-clock instant with millisecond resolution, shown in local
// time or UTC, with text, binary and XML forms.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <ctime>

#include "kttl_ElapsedTime.h"
#include "ktsl_Serializable.h"

namespace kttl {

// Seconds since 1970-01-01 00:00:00 UTC plus milliseconds 0..999 (kept so by every operation),
// and a GMT flag that only chooses how the instant is shown and broken down. The seconds are held
// in 64 bits so instants after 2038 (e.g. "%y" 69 = 2069) survive; the stored binary form is made
// of calendar fields and does not depend on that width.
// The default stamp (0 s, 0 ms, local) is the zero stamp: every parser's failure result.
class TimeStamp : public ktsl::Serializable {
public:
    static constexpr const char* DEFAULT_XML_FORMAT = "%a %b %d %H:%M:%S.%s %Z %Y";

    TimeStamp() = default;
    // Milliseconds outside 0..999 carry into (or borrow from) the seconds.
    explicit TimeStamp(int64_t seconds, int64_t milliseconds = 0, bool gmt = false);
    // Milliseconds = microseconds / 1000; out-of-range microseconds carry into the seconds.
    explicit TimeStamp(const timeval& tv, bool gmt = false);
    // Calendar fields: full year (2024), month 1..12, day 1..31, hour, minute, second, millisecond;
    // read as UTC when `gmt`, else as local time (daylight saving decided by the C library).
    // Out-of-range fields are normalised the way mktime does.
    TimeStamp(int year, int month, int day, int hour, int minute, int second, int millisecond, bool gmt);
    ~TimeStamp() override;

    // Now, local / now, GMT flag set.
    static TimeStamp systemTime();
    static TimeStamp systemTimeGMT();
    TimeStamp toGMT() const;
    TimeStamp toLocal() const;

    int64_t getSeconds() const { return m_sec; }
    unsigned getMilliseconds() const { return m_ms; }
    bool isGMT() const { return m_gmt; }
    void setGMT(bool gmt) { m_gmt = gmt; }
    bool isZero() const { return m_sec == 0 && m_ms == 0; }

    explicit operator long() const { return static_cast<long>(m_sec); }
    operator timeval() const;
    // seconds x 1000 + milliseconds.
    ElapsedTime toElapsedTime() const;
    // The inverse of toElapsedTime(); the GMT flag is kept. Returns *this.
    TimeStamp& fromElapsedTime(const ElapsedTime& t);
    // localtime or gmtime of the seconds, as the flag says.
    struct tm getTM() const;

    TimeStamp operator+(const ElapsedTime& d) const;
    TimeStamp operator-(const ElapsedTime& d) const;
    TimeStamp& operator+=(const ElapsedTime& d) { return *this = *this + d; }
    TimeStamp& operator-=(const ElapsedTime& d) { return *this = *this - d; }
    ElapsedTime operator-(const TimeStamp& o) const;

    // Instants compare by seconds, then milliseconds; the flag is ignored.
    bool operator==(const TimeStamp& o) const { return m_sec == o.m_sec && m_ms == o.m_ms; }
    bool operator!=(const TimeStamp& o) const { return !(*this == o); }
    bool operator<(const TimeStamp& o) const { return m_sec < o.m_sec || (m_sec == o.m_sec && m_ms < o.m_ms); }
    bool operator>(const TimeStamp& o) const { return o < *this; }
    bool operator<=(const TimeStamp& o) const { return !(o < *this); }
    bool operator>=(const TimeStamp& o) const { return !(*this < o); }

    // The local offset from UTC measured now, rounded to the nearest half hour.
    static ElapsedTime tzOffset();
    // "January".."December" for 0..11, "Sunday".."Saturday" for 0..6; "" outside.
    static String monthStr(int month);
    static String dayStr(int day);

    // strftime with the extra codes "%s" (milliseconds, 3 digits) and "%D" (day of month, space
    // padded), and "%z"/"%Z" printed as "GMT" for GMT stamps; "ISO8601" gives toISOString().
    String toString(const char* format) const;
    // "2024-01-15T10:00:00.007Z" for GMT stamps, else with the local offset at that instant
    // ("+01:00").
    String toISOString() const;
    // "" for the zero stamp or a negative one; otherwise todayFormat when the stamp falls on the
    // current calendar day, else otherFormat.
    String toCondString(const char* todayFormat, const char* otherFormat) const;
    // Parses `text` with the codes of toString(); fields the format leaves out keep today's values.
    // The zero stamp when a field is malformed or out of range, when mktime fails, or when the
    // result formatted with `format` is not a prefix of `text`. The result is local.
    [[nodiscard]] static TimeStamp fromString(const String& text, const char* format);
    // "YYYY-MM-DDTHH:MM:SS[.mmm][Z|+hh:mm|-hh:mm]"; without a suffix the fields are local time.
    [[nodiscard]] static TimeStamp fromISOString(const String& text);

    // Serializable. toXML(tag) uses DEFAULT_XML_FORMAT.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::TimeStamp; }
    String getTypeName() const override { return "kttl_TimeStamp"; }
    String toXML(const char* tag) const override;
    String toXML(const char* tag, const char* format) const;
    // Reads the "format" attribute (DEFAULT_XML_FORMAT when absent) and the element text; false
    // (unchanged) only without an element. Unparseable text gives the zero stamp.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 9; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    int64_t m_sec = 0;
    uint16_t m_ms = 0;
    bool m_gmt = false;
};

}  // namespace kttl
