// kttl::ElapsedTime: a signed duration in whole milliseconds, with units, text, binary and XML forms.
#pragma once

#include <cstdint>

#include "ktsl_Serializable.h"

namespace kttl {

class Integer;

// One signed 64-bit millisecond count. Conversions from doubles round half away from zero and
// saturate at the int64 range (NaN gives 0), so no input can overflow.
// Binary form: the count as 8 bytes little-endian. XML form: <tag unit="hour">1.5</tag>.
class ElapsedTime : public ktsl::Serializable {
public:
    // Unit lengths in milliseconds, shared by every conversion.
    static constexpr int64_t MS_PER_SECOND = 1000;
    static constexpr int64_t MS_PER_MINUTE = 60000;
    static constexpr int64_t MS_PER_HOUR = 3600000;
    static constexpr int64_t MS_PER_DAY = 86400000;

    ElapsedTime() = default;
    explicit ElapsedTime(int64_t milliseconds) : m_ms(milliseconds) {}
    ~ElapsedTime() override;

    int64_t getMilliseconds() const { return m_ms; }
    void setMilliseconds(int64_t ms) { m_ms = ms; }
    double toSeconds() const { return static_cast<double>(m_ms) / MS_PER_SECOND; }

    // value x unit, rounded half away from zero to whole milliseconds.
    [[nodiscard]] static ElapsedTime fromMilliseconds(double value);
    [[nodiscard]] static ElapsedTime fromSeconds(double value);
    [[nodiscard]] static ElapsedTime fromMinutes(double value);
    [[nodiscard]] static ElapsedTime fromHours(double value);
    [[nodiscard]] static ElapsedTime fromDays(double value);
    [[nodiscard]] static ElapsedTime roundFromMicroseconds(double value);
    [[nodiscard]] static ElapsedTime roundFromNanoseconds(double value);
    // value in the named unit ("second" or "Seconds": lower-cased, singular or plural); an
    // unrecognised unit gives 0.
    [[nodiscard]] static ElapsedTime fromValUnit(double value, const String& unit);
    // Milliseconds per named unit (same matching as fromValUnit); 0 when the name is unknown.
    static int64_t unitLength(const String& unit);

    // The largest unit that divides the count exactly: 0 gives (0, "millisecond"); the value is
    // clamped to the int range.
    void getValUnit(int& value, String& unit) const;
    // The largest unit in which the count exceeds 1.5 (days, hours, minutes, seconds), else the
    // raw count in milliseconds.
    void getValUnit(double& value, String& unit) const;
    // The count divided (truncating) by "day", "hour", "minute" or "second" (any other name
    // divides by 1), clamped to the int range.
    Integer toInteger(const String& unit) const;
    // "90 seconds", "1 hour": exact unit (false) or the approximate one rounded (true).
    String toHumanString(bool approximate) const;
    // Reads "<whole number> <unit word>"; when both are present the duration becomes
    // fromValUnit(number, word) (0 for a word that names no unit) and the result is true;
    // otherwise (no number, a number outside the int range, no word) false, duration unchanged.
    bool fromHumanString(const String& text);
    // "hh:mm:ss.mmm" with `fields` of 4 or more, "mm:ss.mmm" with 3, "ss.mmm" with 2, "mmm" with 0
    // or 1. Dropped leading fields are not folded into the first printed one. Negative durations
    // print a leading "-" and the fields of the magnitude.
    String toTimeString(unsigned fields) const;

    ElapsedTime operator+(const ElapsedTime& o) const;
    ElapsedTime operator-(const ElapsedTime& o) const;
    ElapsedTime operator-() const;
    ElapsedTime& operator+=(const ElapsedTime& o) { return *this = *this + o; }
    ElapsedTime& operator-=(const ElapsedTime& o) { return *this = *this - o; }
    // Scaling rounds half away from zero; dividing by 0 saturates (0 / 0 gives 0).
    ElapsedTime operator*(double f) const;
    ElapsedTime operator/(double d) const;
    ElapsedTime& operator*=(double f) { return *this = *this * f; }
    ElapsedTime& operator/=(double d) { return *this = *this / d; }
    ElapsedTime abs() const;

    bool operator==(const ElapsedTime& o) const { return m_ms == o.m_ms; }
    bool operator!=(const ElapsedTime& o) const { return m_ms != o.m_ms; }
    bool operator<(const ElapsedTime& o) const { return m_ms < o.m_ms; }
    bool operator<=(const ElapsedTime& o) const { return m_ms <= o.m_ms; }
    bool operator>(const ElapsedTime& o) const { return m_ms > o.m_ms; }
    bool operator>=(const ElapsedTime& o) const { return m_ms >= o.m_ms; }

    // Serializable
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::ElapsedTime; }
    String getTypeName() const override { return "kttl_ElapsedTime"; }
    String toXML(const char* tag) const override;
    // False (value unchanged) without an element, with a text that is not a number or with a
    // unit that is missing or unknown.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 8; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    int64_t m_ms = 0;
};

// Factor first: 2.0 * t.
inline ElapsedTime operator*(double f, const ElapsedTime& t) { return t * f; }

}  // namespace kttl
