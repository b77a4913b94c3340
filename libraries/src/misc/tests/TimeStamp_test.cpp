// Time stamps: normalisation, arithmetic, text forms in several zones, binary and XML forms.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "TestBytes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_TimeStamp.h"

using kttl::ElapsedTime, kttl::String, kttl::TimeStamp;

namespace {

// Monday 2024-01-15 10:20:30 UTC and Monday 2024-07-15 10:20:30 UTC.
constexpr int64_t kWinter = 1705314030, kSummer = 1721038830;

// Sets the process time zone for one scope and restores UTC, the zone every test assumes, afterwards.
struct Zone {
    explicit Zone(const char* tz) { set(tz); }
    ~Zone() { set("UTC"); }
    static void set(const char* tz) { setenv("TZ", tz, 1), tzset(); }
    static bool available(const char* n) {
        return access(("/usr/share/zoneinfo/" + std::string(n)).c_str(), R_OK) == 0;
    }
};

const bool kStartInUtc = (Zone::set("UTC"), true);

#define REQUIRE_ZONE(name) if (!Zone::available(name)) GTEST_SKIP() << "no tzdata for " << name

}  // namespace

TEST(TimeStamp, ConstructionAndArithmeticKeepMillisecondsBelowAThousand) {
    struct Case { TimeStamp t; int64_t sec; unsigned ms; };
    const timeval tv{3, 1500000};  // an out-of-range microsecond count carries
    const Case cases[] = {
        {TimeStamp(5, 2500), 7, 500}, {TimeStamp(10, -1), 9, 999}, {TimeStamp(tv), 4, 500},
        {TimeStamp(2024, 1, 15, 10, 20, 30, 7, true), kWinter, 7}, {TimeStamp(10, 200) - ElapsedTime(600), 9, 600},
        {TimeStamp(9, 600) + ElapsedTime(1401), 11, 1}, {TimeStamp(11, 1) - ElapsedTime(-2999), 14, 0},
        {TimeStamp(0, 0, true).fromElapsedTime(ElapsedTime(-1)), -1, 999}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_TRUE(cases[i].t.getSeconds() == cases[i].sec && cases[i].t.getMilliseconds() == cases[i].ms) << i;
    const timeval back = TimeStamp(12, 345);
    EXPECT_TRUE(back.tv_sec == 12 && back.tv_usec == 345000 &&
                TimeStamp(3, 250).toElapsedTime().getMilliseconds() == 3250);
    EXPECT_EQ((TimeStamp(10, 200) - TimeStamp(14, 0)).getMilliseconds(), -3800);
    // Huge durations saturate instead of overflowing.
    EXPECT_GT((TimeStamp(1, 0) + ElapsedTime(INT64_MAX)).getSeconds(), INT64_MAX / 1000 - 1);
    EXPECT_EQ(TimeStamp(5, 1, true), TimeStamp(5, 1, false));  // the flag is presentation only
}

TEST(TimeStamp, ArithmeticAtTheLimitsIsExactOrSaturates) {
    // 32-bit targets have no 128-bit integer: every row is exact where the result fits, else the limit.
    const int64_t kMax = INT64_MAX, kMin = INT64_MIN;
    const int64_t kLastSec = kMax / 1000;  // 9223372036854775 s 807 ms is the largest duration
    struct Case { int64_t got, want; };
    const Case cases[] = {
        {TimeStamp(kLastSec, 807).toElapsedTime().getMilliseconds(), kMax},
        {TimeStamp(kLastSec, 808).toElapsedTime().getMilliseconds(), kMax},
        {TimeStamp(kLastSec, 806).toElapsedTime().getMilliseconds(), kMax - 1},
        {TimeStamp(-kLastSec - 1, 192).toElapsedTime().getMilliseconds(), kMin},
        {TimeStamp(-kLastSec - 1, 193).toElapsedTime().getMilliseconds(), kMin + 1},
        {TimeStamp(-kLastSec - 1, 191).toElapsedTime().getMilliseconds(), kMin},
        {TimeStamp(kMax, 999).toElapsedTime().getMilliseconds(), kMax},
        {TimeStamp(kMin, 0).toElapsedTime().getMilliseconds(), kMin},
        {(TimeStamp(kLastSec, 0) - TimeStamp(-1, 193)).getMilliseconds(), kMax},
        {(TimeStamp(kLastSec, 0) - TimeStamp(0, 193)).getMilliseconds(), kMax - 1000},
        {(TimeStamp(kMax, 0) - TimeStamp(kMin, 0)).getMilliseconds(), kMax},
        {(TimeStamp(kMin, 0) - TimeStamp(kMax, 0)).getMilliseconds(), kMin},
        {(TimeStamp(-1, 0) - TimeStamp(0, 1)).getMilliseconds(), -1001},
        {(TimeStamp(kMax, 0) + ElapsedTime(kMax)).getSeconds(), kMax},
        {(TimeStamp(kMin, 0) - ElapsedTime(kMax)).getSeconds(), kMin},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) EXPECT_EQ(cases[i].got, cases[i].want) << "row " << i;
}

TEST(TimeStamp, FormattingCodesOfMillisecondsDayAndZone) {
    const TimeStamp t(kWinter - 10 * 86400, 7, false);  // Friday 2024-01-05
    struct Case { const char* format; const char* text; };
    const Case cases[] = {
        {"%H:%M:%S.%s", "10:20:30.007"}, {"%%s", "%s"}, {"100%% at %s", "100% at 007"}, {"[%D]", "[ 5]"},
        {"%d", "05"}, {"%Z", "UTC"}, {"", ""}, {"ISO8601", "2024-01-05T10:20:30.007+00:00"},
        {"%a %b %d %H:%M:%S.%s %Z %Y", "Fri Jan 05 10:20:30.007 UTC 2024"},
        {"%c", "Fri Jan  5 10:20:30 2024"}};  // the last is longer than ten times its format
    for (const Case& c : cases) EXPECT_EQ(t.toString(c.format), c.text) << c.format;
    EXPECT_EQ(t.toGMT().toString("%Z|%z") + t.toString(nullptr) + " " + t.toGMT().toISOString(),
              "GMT|GMT 2024-01-05T10:20:30.007Z");
    EXPECT_EQ(TimeStamp::monthStr(11) + TimeStamp::monthStr(12) + TimeStamp::dayStr(6) + TimeStamp::dayStr(-1),
              "DecemberSaturday");
}

TEST(TimeStamp, LocalFormsFollowTheZoneInForceAtTheInstant) {
    REQUIRE_ZONE("Europe/Berlin");
    // The measured offset (-1: depends on today's season) is rounded to the nearest half hour,
    // halves away from zero.
    struct Case { const char* zone; const char* iso; int64_t offsetMs; };
    const Case cases[] = {{"America/New_York", "2024-01-15T05:20:30.005-05:00", -1},
                          {"Asia/Kathmandu", "2024-01-15T16:05:30.005+05:45", 6 * 3600000},
                          {"Asia/Kolkata", "2024-01-15T15:50:30.005+05:30", 5 * 3600000 + 1800000},
                          {"UTC", "2024-01-15T10:20:30.005+00:00", 0}};
    for (const Case& c : cases) {
        if (!Zone::available(c.zone)) continue;
        Zone z(c.zone);
        EXPECT_EQ(TimeStamp(kWinter, 5).toISOString(), c.iso) << c.zone;
        EXPECT_TRUE(c.offsetMs < 0 || TimeStamp::tzOffset().getMilliseconds() == c.offsetMs) << c.zone;
    }
    Zone berlin("Europe/Berlin");
    EXPECT_EQ(TimeStamp(kWinter, 0).toString("%H %Z|") + TimeStamp(kSummer, 0).toString("%H %Z|") +
                  TimeStamp(kWinter, 0, true).toString("%H %Z"), "11 CET|12 CEST|10 GMT");
    EXPECT_EQ(TimeStamp(kSummer, 5).toISOString(), "2024-07-15T12:20:30.005+02:00");
}

TEST(TimeStamp, ParsingChecksEveryFieldAndTheCalendar) {
    struct Case { const char* text; const char* format; int64_t seconds; unsigned ms; };  // seconds -1: zero stamp
    const char *ymd = "%Y-%m-%d", *full = "%Y-%m-%d %H:%M:%S", *ampm = "%Y-%m-%d %I:%M:%S %p",
               *xml = TimeStamp::DEFAULT_XML_FORMAT;
    const Case cases[] = {
        {"2024-01-15 10:20:30.007", "%Y-%m-%d %H:%M:%S.%s", kWinter, 7},
        {"2024-02-30", ymd, -1, 0}, {"2024-13-01", ymd, -1, 0},  // normalised to 1 March; month out of range
        {"2024-1-15", ymd, -1, 0}, {"2024-01", ymd, -1, 0},  // not two digits; text ends inside the format
        {"2024/01/15 10:20:30", full, -1, 0},  // literal mismatch
        {"15 Jan 2024 10:20:30", "%d %b %Y %H:%M:%S", kWinter, 0},
        {"15 JANUARY 2024 10:20:30", "%d %B %Y %H:%M:%S", -1, 0},  // names match, re-format differs in case
        {"Monday 15 January 2024 10:20:30", "%A %d %B %Y %H:%M:%S", kWinter, 0},
        {"Mon Jan 15 10:20:30.007 UTC 2024", xml, kWinter, 7}, {"Tue Jan 15 10:20:30.007 UTC 2024", xml, -1, 0},
        {"2024-01-15 12:20:30 AM", ampm, kWinter - 10 * 3600, 0},
        {"2024-01-15 10:20:30 PM", ampm, kWinter + 12 * 3600, 0},  // hour 22 prints as 10
        {"x", nullptr, -1, 0}, {"2024-01-15 10:20:30 XM", ampm, -1, 0},
        {"2024 015 10:20:30", "%Y %j %H:%M:%S", kWinter, 0}, {"2024 000 10:20:30", "%Y %j %H:%M:%S", -1, 0},
        {"2024-01-15 10:20:30 trailing", full, kWinter, 0},  // the text may go on
        // Literals running past the end of the text before a zone code once read out of range.
        {"", "x%z", -1, 0}, {"", "%%%Z", -1, 0}, {"2024", "%Yxx%Z%z", -1, 0}, {"1", "%", -1, 0}};
    for (const Case& c : cases) {
        const TimeStamp t = TimeStamp::fromString(c.text, c.format);
        EXPECT_TRUE(c.seconds < 0 ? t.isZero()
                                  : t.getSeconds() == c.seconds && t.getMilliseconds() == c.ms && !t.isGMT())
            << c.text << " -> " << t.getSeconds() << "." << t.getMilliseconds();
    }
    // Two-digit years pivot at 70; missing date fields are today's.
    EXPECT_EQ(TimeStamp::fromString("69-06-15", "%y-%m-%d").toString(ymd) + " " +
                  TimeStamp::fromString("70-06-15", "%y-%m-%d").toString(ymd), "2069-06-15 1970-06-15");
    const struct tm got = TimeStamp::fromString("07:08:09", "%H:%M:%S").getTM();
    const struct tm now = TimeStamp::systemTime().getTM();
    EXPECT_TRUE(got.tm_hour == 7 && got.tm_min == 8 && got.tm_sec == 9);
    // Unless the day changed during the test, the date is today's.
    EXPECT_TRUE((now.tm_hour == 0 && now.tm_min == 0) ||
                (got.tm_mday == now.tm_mday && got.tm_mon == now.tm_mon && got.tm_year == now.tm_year));
}

TEST(TimeStamp, TextFormsRoundTripInAZoneWithDaylightSaving) {
    REQUIRE_ZONE("Europe/Berlin");
    Zone berlin("Europe/Berlin");
    for (int64_t s : {kWinter, kSummer})
        for (bool gmt : {false, true}) {
            const TimeStamp t(s, 42, gmt);
            const String text = t.toString(TimeStamp::DEFAULT_XML_FORMAT);
            const TimeStamp back = TimeStamp::fromString(text, TimeStamp::DEFAULT_XML_FORMAT);
            EXPECT_TRUE(back == t && back.isGMT() == gmt) << text;
            EXPECT_EQ(TimeStamp::fromISOString(t.toISOString()), t) << t.toISOString();
        }
    // Local fields without a zone: the repeated hour at the end of summer time is settled by the
    // zone name when one is given.
    const char* zoned = "%Y-%m-%d %H:%M:%S %Z";
    const TimeStamp cest = TimeStamp::fromString("2024-10-27 02:30:00 CEST", zoned),
                    cet = TimeStamp::fromString("2024-10-27 02:30:00 CET", zoned);
    EXPECT_TRUE(cest == TimeStamp(2024, 10, 27, 0, 30, 0, 0, true) && (cet - cest).getMilliseconds() == 3600000);
    // A local time that does not exist (spring gap) does not parse.
    EXPECT_TRUE(TimeStamp::fromString("2024-03-31 02:30:00", "%Y-%m-%d %H:%M:%S").isZero());
}

TEST(TimeStamp, IsoTextsWithAndWithoutZones) {
    REQUIRE_ZONE("Europe/Berlin");
    Zone berlin("Europe/Berlin");
    struct Case { const char* text; int64_t seconds; unsigned ms; };  // seconds -1: the zero stamp
    const Case cases[] = {
        {"2024-01-15T10:20:3", -1, 0} /* 18 characters */, {"2024-01-15T11:20:30", kWinter, 0} /* local */,
        {"2024-01-15T11:20:30.250", kWinter, 250}, {"2024-01-15T11:20:30.2", -1, 0},
        {"2024-01-15T10:20:30.007Z", kWinter, 7}, {"2024-01-15T12:20:30+02:00", kWinter, 0},
        {"2024-01-15T04:50:30.001-05:30", kWinter, 1}, {"2024-07-15T10:20:30+00:00", kSummer, 0} /* in winter */,
        {"2024-01-15T10:20:30+0", -1, 0}, {"2024-01-15T10:20:30?01:00", -1, 0}, {"2024-02-30T10:20:30Z", -1, 0}};
    for (const Case& c : cases) {
        const TimeStamp t = TimeStamp::fromISOString(c.text);
        EXPECT_TRUE(c.seconds < 0 ? t.isZero() : t.getSeconds() == c.seconds && t.getMilliseconds() == c.ms)
            << c.text << " -> " << t.getSeconds() << "." << t.getMilliseconds();
    }
    EXPECT_EQ(TimeStamp::fromString("2024-01-15T10:20:30Z", "ISO8601").getSeconds(), kWinter);
}

TEST(TimeStamp, ConditionalTextDependsOnTheDay) {
    EXPECT_EQ(TimeStamp().toCondString("today", "other") + TimeStamp(-5, 0).toCondString("today", "other"), "");
    const TimeStamp now = TimeStamp::systemTime();
    const struct tm tm = now.getTM();
    // A moment at noon today / two days ago, so the test does not depend on the hour it runs.
    const TimeStamp noon = now + ElapsedTime(((12 - tm.tm_hour) * 3600 - tm.tm_min * 60 - tm.tm_sec) * 1000ll);
    EXPECT_EQ(noon.toCondString("%H today", "%d other") +
                  (noon - ElapsedTime::fromDays(2)).toCondString("today", "|other"), "12 today|other");
}

TEST(TimeStamp, BinaryFormIsNineBytesOfLocalCalendarFields) {
    EXPECT_TRUE(binOf(TimeStamp()) == Bytes(9, 0) && binOf(TimeStamp(-100, 5)) == Bytes(9, 0));  // the empty time
    EXPECT_EQ(binOf(TimeStamp(0, 0, true)), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(binOf(TimeStamp(kWinter, 0x1E7, true)), (Bytes{124, 0, 15, 10, 20, 30, 0xE7, 0x01, 1}));
    TimeStamp back(1, 1);
    EXPECT_TRUE(readBin(back, Bytes(9, 0)) == 9u && back.isZero());
    const Bytes b = binOf(TimeStamp(kSummer, 999, true));
    EXPECT_TRUE(readBin(back, b) == 9u && back == TimeStamp(kSummer, 999) && back.isGMT());
    for (size_t n : {0u, 1u, 8u})
        EXPECT_TRUE(fromBinRefused(back, Bytes(b.begin(), b.begin() + n)) && back == TimeStamp(kSummer, 999)) << n;
    REQUIRE_ZONE("Europe/Berlin");
    Zone berlin("Europe/Berlin");  // the fields are local time whatever the flag
    EXPECT_EQ(binOf(TimeStamp(kWinter, 0, true)), (Bytes{124, 0, 15, 11, 20, 30, 0, 0, 1}));
    EXPECT_EQ(binOf(TimeStamp(kSummer, 0, false)), (Bytes{124, 6, 15, 12, 20, 30, 0, 0, 0}));
    EXPECT_TRUE(readBin(back, binOf(TimeStamp(kSummer, 3))) == 9u && back == TimeStamp(kSummer, 3));
}

TEST(TimeStamp, XmlFormCarriesItsFormat) {
    const TimeStamp t(kWinter, 7);
    EXPECT_EQ(t.toXML("When"),
              "<When format=\"%a %b %d %H:%M:%S.%s %Z %Y\">Mon Jan 15 10:20:30.007 UTC 2024</When>");
    EXPECT_EQ(t.toXML("D", "%Y<%m"), "<D format=\"%Y&lt;%m\">2024&lt;01</D>");
    EXPECT_TRUE(t.toXML(nullptr) == "" && t.toXML() == t.toXML("kttl_TimeStamp"));

    TimeStamp back;
    EXPECT_TRUE(back.fromXML(t.toXML("When").c_str()) && back == t);
    EXPECT_TRUE(back.fromXML("<T format=\"%Y-%m-%d %H:%M:%S\">2024-01-15 10:20:30</T>") &&
                back == TimeStamp(kWinter, 0));
    EXPECT_TRUE(back.fromXML("<T>Mon Jan 15 10:20:30.007 UTC 2024</T>") && back == t);  // default format
    EXPECT_TRUE(back.fromXML("<T format=\"%Y\">nonsense</T>") && back.isZero() &&
                back.fromXML("<t format=\"x%z\"/>") && back.isZero());
    back = t;
    EXPECT_TRUE(!back.fromXML("") && !back.fromXML(nullptr) && back == t);
}
