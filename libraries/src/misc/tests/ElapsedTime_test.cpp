// Durations: unit conversions and choices, human and clock texts, binary and XML forms.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "TestBytes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Integer.h"

using kttl::ElapsedTime, kttl::String;

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
int64_t ms(const ElapsedTime& t) { return t.getMilliseconds(); }
// getValUnit for an int or a double value (the exact or the approximate choice).
template <class V>
void expectValUnit(int64_t count, V want, const char* wantUnit) {
    V value = -7;
    String unit;
    ElapsedTime(count).getValUnit(value, unit);
    EXPECT_TRUE(value == want && unit == wantUnit) << count << ": " << value << " " << unit;
}
}  // namespace

TEST(ElapsedTime, ConversionsAndArithmeticRoundHalfAwayFromZeroAndSaturate) {
    struct Case { ElapsedTime got; int64_t want; };
    const Case cases[] = {
        {ElapsedTime::fromMilliseconds(2.5), 3}, {ElapsedTime::fromMilliseconds(-2.5), -3},
        {ElapsedTime::fromMilliseconds(2.49), 2}, {ElapsedTime::fromSeconds(1.5), 1500},
        {ElapsedTime::fromMinutes(0.5), 30000}, {ElapsedTime::fromHours(-2), -7200000},
        {ElapsedTime::fromDays(1), 86400000}, {ElapsedTime::roundFromMicroseconds(1500), 2},
        {ElapsedTime::roundFromMicroseconds(-1500), -2}, {ElapsedTime::roundFromMicroseconds(1499), 1},
        {ElapsedTime::roundFromNanoseconds(2500000), 3}, {ElapsedTime::roundFromNanoseconds(2499999), 2},
        {ElapsedTime::fromDays(1e300), kMax}, {ElapsedTime::fromDays(-1e300), kMin},
        {ElapsedTime::fromSeconds(std::nan("")), 0},
        {ElapsedTime(250) * 0.002, 1}, {2.0 * ElapsedTime(250), 500}, {ElapsedTime(1000) / 3, 333},
        {ElapsedTime(1000) - ElapsedTime(250), 750}, {ElapsedTime(1000) / 0.0, kMax}, {ElapsedTime(0) / 0.0, 0},
        {ElapsedTime(kMax) + ElapsedTime(1), kMax}, {ElapsedTime(kMin) - ElapsedTime(1), kMin},
        {-ElapsedTime(kMin), kMax}, {ElapsedTime(kMin).abs(), kMax}, {ElapsedTime(-7).abs(), 7}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) EXPECT_EQ(ms(cases[i].got), cases[i].want) << i;
}

TEST(ElapsedTime, UnitNamesAreCaseInsensitiveSingularOrPlural) {
    struct Case { double value; const char* unit; int64_t expected; };
    const Case cases[] = {{1.5, "Minutes", 90000}, {2, "MILLISECONDS", 2}, {2, "millisecond", 2},
                          {3, "Second", 3000}, {1, "hours", 3600000}, {2, "days", 172800000}, {1.5, "fortnight", 0},
                          {1, "", 0}, {1, "min", 0}, {1, "secondss", 0}};
    for (const Case& c : cases) EXPECT_EQ(ms(ElapsedTime::fromValUnit(c.value, c.unit)), c.expected) << c.unit;
}

TEST(ElapsedTime, UnitChoices) {
    // Exact: the largest unit that divides the count, value clamped to the int range.
    struct Exact { int64_t count; int value; const char* unit; };
    const Exact exact[] = {
        {0, 0, "millisecond"}, {1500, 1500, "millisecond"}, {-1500, -1500, "millisecond"}, {90000, 90, "second"},
        {60000, 1, "minute"}, {5400000, 90, "minute"}, {7200000, 2, "hour"}, {90000000, 25, "hour"},
        {86400000, 1, "day"}, {86400000ll * 3000000000ll, 2147483647, "day"},
        {4000000000001ll, 2147483647, "millisecond"}, {-4000000000001ll, -2147483647 - 1, "millisecond"}};
    for (const Exact& c : exact) expectValUnit(c.count, c.value, c.unit);
    // Approximate: the largest unit in which the value exceeds 1.5 (1.5 itself does not).
    struct Approx { int64_t count; double value; const char* unit; };
    const Approx approx[] = {
        {1500, 1500, "millisecond"}, {1501, 1.501, "second"}, {90000, 90, "second"},
        {90001, 90001 / 60000.0, "minute"}, {5400000, 90, "minute"}, {5400001, 5400001 / 3600000.0, "hour"},
        {129600000, 36, "hour"}, {129600001, 129600001 / 86400000.0, "day"}, {-5000000, -5000000, "millisecond"}};
    for (const Approx& c : approx) expectValUnit(c.count, c.value, c.unit);
    auto asInt = [](int64_t count, const char* unit) { return ElapsedTime(count).toInteger(unit).get(); };
    EXPECT_TRUE(asInt(7199999, "hour") == 1 && asInt(-1999, "second") == -1 && asInt(1234, "fortnight") == 1234 &&
                asInt(1ll << 40, "millisecond") == 2147483647);  // truncated toward zero; clamped
}

TEST(ElapsedTime, HumanAndClockTexts) {
    struct Case { int64_t count; bool approximate; const char* text; };
    const Case cases[] = {{90000, false, "90 seconds"}, {90000, true, "90 seconds"}, {3600000, false, "1 hour"},
                          {3600000, true, "60 minutes"}, {100000, true, "2 minutes"} /* 1.67 rounded */,
                          {0, false, "0 milliseconds"}, {1, false, "1 millisecond"}, {86400000, false, "1 day"}};
    for (const Case& c : cases) EXPECT_EQ(ElapsedTime(c.count).toHumanString(c.approximate), c.text);
    ElapsedTime t(42);
    EXPECT_TRUE(t.fromHumanString("  -2 Hours") && ms(t) == -7200000);
    EXPECT_TRUE(t.fromHumanString(ElapsedTime(90000).toHumanString(false)) && ms(t) == 90000);
    for (const char* bad : {"5", "minutes", "", "x 5 minutes", "99999999999 seconds"})
        EXPECT_TRUE(!t.fromHumanString(bad) && ms(t) == 90000) << bad;
    for (const char* unknown : {"2 fortnights", "5 millisecondsss"})  // no unit: a zero duration
        EXPECT_TRUE((t = ElapsedTime(42)).fromHumanString(unknown) && ms(t) == 0) << unknown;

    // Dropped leading fields are not folded into the first printed one.
    const ElapsedTime clock(3725042);  // 1 h 2 min 5 s 42 ms
    const char* const byFields[] = {"042", "042", "05.042", "02:05.042", "01:02:05.042", "01:02:05.042"};
    for (unsigned f = 0; f <= 5; ++f) EXPECT_EQ(clock.toTimeString(f), byFields[f]) << f;
    EXPECT_EQ(ElapsedTime(-3725042).toTimeString(4) + " " + ElapsedTime(100ll * 3600000).toTimeString(4),
              "-01:02:05.042 100:00:00.000");
    EXPECT_EQ(ElapsedTime(kMax).toTimeString(4).substr(0, 11), "2147483647:");
}

TEST(ElapsedTime, BinaryFormIsEightBytesLittleEndian) {
    EXPECT_EQ(binOf(ElapsedTime(0x0102030405060708ll)), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    const Bytes minusTwo{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ElapsedTime back;
    EXPECT_TRUE(binOf(ElapsedTime(-2)) == minusTwo && readBin(back, minusTwo) == 8u && ms(back) == -2);
    EXPECT_TRUE(fromBinRefused(back, {}) && fromBinRefused(back, Bytes(7, 0)) && ms(back) == -2);
}

TEST(ElapsedTime, XmlFormPicksAUnitAndReadsItBack) {
    struct Case { int64_t count; const char* xml; };
    const Case cases[] = {  // six significant digits
        {5400000, "<t unit=\"hour\">1.5</t>"}, {5399999, "<t unit=\"minute\">90</t>"},
        {90000, "<t unit=\"minute\">1.5</t>"}, {89999, "<t unit=\"second\">89.999</t>"},
        {1500, "<t unit=\"second\">1.5</t>"}, {1499, "<t unit=\"millisecond\">1499</t>"},
        {-5400000, "<t unit=\"millisecond\">-5.4e+06</t>"}, {86400000ll * 3, "<t unit=\"hour\">72</t>"}};
    for (const Case& c : cases) EXPECT_EQ(std::string(ElapsedTime(c.count).toXML("t")), c.xml) << c.count;
    EXPECT_TRUE(ElapsedTime(5).toXML(nullptr) == "" &&
                ElapsedTime(5).toXML() == "<kttl_ElapsedTime unit=\"millisecond\">5</kttl_ElapsedTime>");

    ElapsedTime back(1);
    EXPECT_TRUE(back.fromXML("<t unit=\"hour\">1.5</t>") && ms(back) == 5400000 && !back.fromXML(nullptr));
    EXPECT_TRUE(back.fromXML("<Timeout unit=\"Seconds\"> 2.5 </Timeout>") && ms(back) == 2500);
    for (const char* bad : {"", "<t unit=\"hour\">x</t>", "<t>5</t>", "<t unit=\"eon\">5</t>", "not xml"})
        EXPECT_TRUE(!back.fromXML(bad) && ms(back) == 2500) << bad;
}
