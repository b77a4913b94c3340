// Durations: unit conversions and choices, human and clock texts, binary and XML forms.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kttl_ElapsedTime.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"

using kttl::ElapsedTime;
using kttl::String;

namespace {
int64_t ms(const ElapsedTime& t) { return t.getMilliseconds(); }
}  // namespace

TEST(ElapsedTime, ConversionsRoundHalfAwayFromZeroAndSaturate) {
    EXPECT_EQ(ms(ElapsedTime::fromMilliseconds(2.5)), 3);
    EXPECT_EQ(ms(ElapsedTime::fromMilliseconds(-2.5)), -3);
    EXPECT_EQ(ms(ElapsedTime::fromMilliseconds(2.49)), 2);
    EXPECT_EQ(ms(ElapsedTime::fromSeconds(1.5)), 1500);
    EXPECT_EQ(ms(ElapsedTime::fromMinutes(0.5)), 30000);
    EXPECT_EQ(ms(ElapsedTime::fromHours(-2)), -7200000);
    EXPECT_EQ(ms(ElapsedTime::fromDays(1)), 86400000);
    EXPECT_EQ(ms(ElapsedTime::roundFromMicroseconds(1500)), 2);
    EXPECT_EQ(ms(ElapsedTime::roundFromMicroseconds(-1500)), -2);
    EXPECT_EQ(ms(ElapsedTime::roundFromMicroseconds(1499)), 1);
    EXPECT_EQ(ms(ElapsedTime::roundFromNanoseconds(2500000)), 3);
    EXPECT_EQ(ms(ElapsedTime::roundFromNanoseconds(2499999)), 2);
    EXPECT_EQ(ms(ElapsedTime::fromDays(1e300)), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ms(ElapsedTime::fromDays(-1e300)), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ms(ElapsedTime::fromSeconds(std::nan(""))), 0);
}

TEST(ElapsedTime, UnitNamesAreCaseInsensitiveSingularOrPlural) {
    struct Case {
        double value;
        const char* unit;
        int64_t expected;
    };
    const Case cases[] = {
        {1.5, "Minutes", 90000},    {1.5, "minute", 90000},   {2, "MILLISECONDS", 2},  {2, "millisecond", 2},
        {3, "Second", 3000},        {3, "seconds", 3000},     {1, "hours", 3600000},   {1, "Day", 86400000},
        {2, "days", 172800000},     {1.5, "fortnight", 0},    {1, "", 0},              {1, "min", 0},
        {1, "secondss", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ms(ElapsedTime::fromValUnit(c.value, c.unit)), c.expected) << c.unit;
}

TEST(ElapsedTime, ExactUnitIsTheLargestThatDividesTheCount) {
    struct Case {
        int64_t count;
        int value;
        const char* unit;
    };
    const Case cases[] = {
        {0, 0, "millisecond"},
        {1, 1, "millisecond"},
        {1500, 1500, "millisecond"},
        {-1500, -1500, "millisecond"},
        {90000, 90, "second"},
        {60000, 1, "minute"},
        {5400000, 90, "minute"},
        {7200000, 2, "hour"},
        {86400000, 1, "day"},
        {90000000, 25, "hour"},
        {86400000ll * 3000000000ll, 2147483647, "day"},  // clamped
        {4000000000001ll, 2147483647, "millisecond"},
        {-4000000000001ll, -2147483647 - 1, "millisecond"},
    };
    for (const Case& c : cases) {
        int value = -7;
        String unit;
        ElapsedTime(c.count).getValUnit(value, unit);
        EXPECT_EQ(value, c.value) << c.count;
        EXPECT_EQ(unit, c.unit) << c.count;
    }
}

TEST(ElapsedTime, ApproximateUnitIsTheLargestAboveOneAndAHalf) {
    struct Case {
        int64_t count;
        double value;
        const char* unit;
    };
    const Case cases[] = {
        {1500, 1500, "millisecond"},      {1501, 1.501, "second"},       {90000, 90, "second"},
        {90001, 90001 / 60000.0, "minute"}, {5400000, 90, "minute"},       {5400001, 5400001 / 3600000.0, "hour"},
        {129600000, 36, "hour"},          {129600001, 129600001 / 86400000.0, "day"}, {-5000000, -5000000, "millisecond"},
    };
    for (const Case& c : cases) {
        double value = -7;
        String unit;
        ElapsedTime(c.count).getValUnit(value, unit);
        EXPECT_DOUBLE_EQ(value, c.value) << c.count;
        EXPECT_EQ(unit, c.unit) << c.count;
    }
}

TEST(ElapsedTime, HumanTexts) {
    EXPECT_EQ(ElapsedTime(90000).toHumanString(false), "90 seconds");
    EXPECT_EQ(ElapsedTime(90000).toHumanString(true), "90 seconds");
    EXPECT_EQ(ElapsedTime(3600000).toHumanString(false), "1 hour");
    EXPECT_EQ(ElapsedTime(3600000).toHumanString(true), "60 minutes");
    EXPECT_EQ(ElapsedTime(100000).toHumanString(true), "2 minutes");  // 1.67 rounded
    EXPECT_EQ(ElapsedTime(100000).toHumanString(false), "100 seconds");
    EXPECT_EQ(ElapsedTime(0).toHumanString(false), "0 milliseconds");
    EXPECT_EQ(ElapsedTime(1).toHumanString(false), "1 millisecond");
    EXPECT_EQ(ElapsedTime(86400000).toHumanString(false), "1 day");

    ElapsedTime t(42);
    EXPECT_TRUE(t.fromHumanString("5 minutes"));
    EXPECT_EQ(ms(t), 300000);
    EXPECT_TRUE(t.fromHumanString("  -2 Hours"));
    EXPECT_EQ(ms(t), -7200000);
    EXPECT_TRUE(t.fromHumanString(ElapsedTime(90000).toHumanString(false)));
    EXPECT_EQ(ms(t), 90000);
    for (const char* bad : {"5", "minutes", "", "5 fortnights", "x 5 minutes", "99999999999 seconds",
                            "5 millisecondsss"}) {
        EXPECT_FALSE(t.fromHumanString(bad)) << bad;
        EXPECT_EQ(ms(t), 90000) << bad;
    }
}

TEST(ElapsedTime, ClockTextsDropLeadingFieldsWithoutFoldingThem) {
    const ElapsedTime t(3725042);  // 1 h 2 min 5 s 42 ms
    EXPECT_EQ(t.toTimeString(5), "01:02:05.042");
    EXPECT_EQ(t.toTimeString(4), "01:02:05.042");
    EXPECT_EQ(t.toTimeString(3), "02:05.042");
    EXPECT_EQ(t.toTimeString(2), "05.042");
    EXPECT_EQ(t.toTimeString(1), "042");
    EXPECT_EQ(t.toTimeString(0), "042");
    EXPECT_EQ(ElapsedTime(-3725042).toTimeString(4), "-01:02:05.042");
    EXPECT_EQ(ElapsedTime(100ll * 3600000).toTimeString(4), "100:00:00.000");
    EXPECT_EQ(ElapsedTime(std::numeric_limits<int64_t>::max()).toTimeString(4).substr(0, 11), "2147483647:");
}

TEST(ElapsedTime, IntegerInAUnitTruncatesAndClamps) {
    EXPECT_EQ(static_cast<int>(ElapsedTime(7199999).toInteger("hour")), 1);
    EXPECT_EQ(static_cast<int>(ElapsedTime(7199999).toInteger("minute")), 119);
    EXPECT_EQ(static_cast<int>(ElapsedTime(-1999).toInteger("second")), -1);
    EXPECT_EQ(static_cast<int>(ElapsedTime(172800000).toInteger("day")), 2);
    EXPECT_EQ(static_cast<int>(ElapsedTime(1234).toInteger("fortnight")), 1234);
    EXPECT_EQ(static_cast<int>(ElapsedTime(1ll << 40).toInteger("millisecond")), 2147483647);
}

TEST(ElapsedTime, ArithmeticAndOrder) {
    const ElapsedTime a(1000), b(250);
    EXPECT_EQ(ms(a + b), 1250);
    EXPECT_EQ(ms(a - b), 750);
    EXPECT_EQ(ms(-a), -1000);
    EXPECT_EQ(ms(a * 1.5), 1500);
    EXPECT_EQ(ms(2.0 * b), 500);
    EXPECT_EQ(ms(b * 0.002), 1);  // 0.5 rounds away from zero
    EXPECT_EQ(ms(a / 3), 333);
    EXPECT_EQ(ms(ElapsedTime(-7).abs()), 7);
    EXPECT_EQ(ms(a / 0.0), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ms(ElapsedTime(0) / 0.0), 0);
    ElapsedTime c(10);
    c += b;
    c -= ElapsedTime(5);
    c *= 2;
    c /= 5;
    EXPECT_EQ(ms(c), 102);
    const ElapsedTime max(std::numeric_limits<int64_t>::max()), min(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(max + ElapsedTime(1), max);
    EXPECT_EQ(min - ElapsedTime(1), min);
    EXPECT_EQ(-min, max);
    EXPECT_EQ(min.abs(), max);
    EXPECT_LT(b, a);
    EXPECT_GT(a, b);
    EXPECT_LE(a, ElapsedTime(1000));
    EXPECT_NE(a, b);
}

TEST(ElapsedTime, BinaryFormIsEightBytesLittleEndian) {
    std::vector<unsigned char> out(8);
    EXPECT_EQ(ElapsedTime(0x0102030405060708ll).toBin(out.data()), 8u);
    EXPECT_EQ(out, (std::vector<unsigned char>{8, 7, 6, 5, 4, 3, 2, 1}));
    ElapsedTime(-2).toBin(out.data());
    EXPECT_EQ(out, (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    ElapsedTime back;
    EXPECT_EQ(back.fromBin(out.data(), 8), 8u);
    EXPECT_EQ(ms(back), -2);
    EXPECT_EQ(back.getBinLength(), 8u);
    for (unsigned n : {0u, 7u}) {
        try {
            back.fromBin(out.data(), n);
            ADD_FAILURE() << n;
        } catch (const kttl::Exception& e) {
            EXPECT_STREQ(e.what(), "ktsl::Serializable::fromBin() - Failed!");
        }
        EXPECT_EQ(ms(back), -2);
    }
    EXPECT_EQ(back.getTypeId(), 503);
    EXPECT_EQ(back.getTypeName(), "kttl_ElapsedTime");
}

TEST(ElapsedTime, XmlFormPicksAUnitAndReadsItBack) {
    struct Case {
        int64_t count;
        const char* xml;
    };
    const Case cases[] = {
        {5400000, "<t unit=\"hour\">1.5</t>"},
        {5399999, "<t unit=\"minute\">90</t>"},  // six significant digits
        {90000, "<t unit=\"minute\">1.5</t>"},
        {89999, "<t unit=\"second\">89.999</t>"},
        {1500, "<t unit=\"second\">1.5</t>"},
        {1499, "<t unit=\"millisecond\">1499</t>"},
        {0, "<t unit=\"millisecond\">0</t>"},
        {-5400000, "<t unit=\"millisecond\">-5.4e+06</t>"},
        {86400000ll * 3, "<t unit=\"hour\">72</t>"},
    };
    for (const Case& c : cases) EXPECT_EQ(std::string(ElapsedTime(c.count).toXML("t")), c.xml) << c.count;
    EXPECT_EQ(ElapsedTime(5).toXML(nullptr), "");
    EXPECT_EQ(ElapsedTime(5).toXML(), "<kttl_ElapsedTime unit=\"millisecond\">5</kttl_ElapsedTime>");

    ElapsedTime back(1);
    ASSERT_TRUE(back.fromXML("<t unit=\"hour\">1.5</t>"));
    EXPECT_EQ(ms(back), 5400000);
    ASSERT_TRUE(back.fromXML("<Timeout unit=\"Seconds\"> 2.5 </Timeout>"));
    EXPECT_EQ(ms(back), 2500);
    for (const char* bad : {"", "<t unit=\"hour\">x</t>", "<t>5</t>", "<t unit=\"eon\">5</t>", "not xml"}) {
        EXPECT_FALSE(back.fromXML(bad)) << bad;
        EXPECT_EQ(ms(back), 2500) << bad;
    }
    EXPECT_FALSE(back.fromXML(nullptr));
}
