// The stand-in SDK's environment settings: every accepted and refused form.
#include <gtest/gtest.h>

#include "csdk_config.h"

using namespace csdk_standin;

TEST(StandinConfig, Resolutions) {
    struct Case {
        const char* text;
        size_t count;  // 0: refused
        int firstW, firstH;
    };
    const Case cases[] = {
        {"320x240", 1, 320, 240},    {" 176x144 , 1920X1080 ", 2, 176, 144}, {"2x2", 1, 2, 2},
        {"8192x8192", 1, 8192, 8192}, {"8194x8192", 0, 0, 0},  // beyond the largest side
        {"0x240", 0, 0, 0},          {"321x240", 0, 0, 0},  {"320x241", 0, 0, 0},  // odd sizes cannot be NV21
        {"320*240", 0, 0, 0},        {"320x", 0, 0, 0},     {"320x240,", 0, 0, 0},  // empty entry
        {"", 0, 0, 0},               {"-320x240", 0, 0, 0}, {"320x240x2", 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<Size> out;
        std::string error;
        EXPECT_EQ(parseResolutions(c.text, out, error), c.count > 0) << c.text;
        ASSERT_EQ(out.size(), c.count) << c.text;
        EXPECT_EQ(error.empty(), c.count > 0) << c.text;
        if (c.count > 0) {
            EXPECT_EQ(out[0].width, c.firstW);
            EXPECT_EQ(out[0].height, c.firstH);
        }
    }
    std::vector<Size> defaults;
    std::string error;
    ASSERT_TRUE(parseResolutions(nullptr, defaults, error));
    EXPECT_GE(defaults.size(), 5u);
}

TEST(StandinConfig, DurationsAndDayNight) {
    const std::pair<const char*, int64_t> durations[] = {  // -1: refused
        {"5s", 5000}, {"500ms", 500}, {"2m", 120000}, {"1.5", 1500}, {"0", 0},
        {"s", -1},    {"-1s", -1},    {"5h", -1},     {"", -1},      {"1e10", -1}};
    for (const auto& d : durations) {
        uint32_t ms = 7;
        EXPECT_EQ(parseDurationMs(d.first, ms), d.second >= 0) << d.first;
        EXPECT_EQ(ms, d.second >= 0 ? d.second : 7) << d.first;
    }

    std::vector<DayNightStep> steps;
    std::string error;
    ASSERT_TRUE(parseDayNight("day,night@5s,day@20s", steps, error));
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].atMs, 0u);
    EXPECT_EQ(steps[0].mode, CSDK_DAYNIGHT_DAY);
    EXPECT_EQ(steps[1].atMs, 5000u);
    EXPECT_EQ(steps[1].mode, CSDK_DAYNIGHT_NIGHT);
    EXPECT_EQ(steps[2].atMs, 20000u);
    ASSERT_TRUE(parseDayNight("NIGHT", steps, error));
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].mode, CSDK_DAYNIGHT_NIGHT);
    ASSERT_TRUE(parseDayNight("unknown", steps, error));
    EXPECT_EQ(steps[0].mode, CSDK_DAYNIGHT_UNKNOWN);
    for (const char* bad : {"dusk", "day,night@5s,day@2s", "day@x", "", "day,,night"}) {
        EXPECT_FALSE(parseDayNight(bad, steps, error)) << bad;
    }
}

TEST(StandinConfig, SourceAtEndInfraredAndNumbers) {
    SourceSpec spec;
    std::string error;
    ASSERT_TRUE(parseSource(nullptr, spec, error));
    EXPECT_TRUE(spec.synthetic);
    ASSERT_TRUE(parseSource("synthetic:night:lightchange,frames=100", spec, error));
    EXPECT_TRUE(spec.synthetic && spec.night && spec.lightchange);
    EXPECT_EQ(spec.frames, 100u);
    EXPECT_FALSE(parseSource("synthetic:dark", spec, error));
    EXPECT_FALSE(parseSource("synthetic:frames=0", spec, error));
    ASSERT_TRUE(parseSource("/tmp/synthetic.mp4", spec, error));
    EXPECT_FALSE(spec.synthetic);
    EXPECT_EQ(spec.location, "/tmp/synthetic.mp4");

    AtEnd atEnd = AtEnd::Fail;
    ASSERT_TRUE(parseAtEnd(nullptr, atEnd, error));
    EXPECT_EQ(atEnd, AtEnd::Loop);
    ASSERT_TRUE(parseAtEnd("STOP", atEnd, error));
    EXPECT_EQ(atEnd, AtEnd::Stop);
    EXPECT_FALSE(parseAtEnd("pause", atEnd, error));

    IrMode mode = IrMode::On;
    ASSERT_TRUE(parseIrMode(nullptr, false, mode, error));
    EXPECT_EQ(mode, IrMode::Auto);
    EXPECT_FALSE(parseIrMode("disabled", false, mode, error));  // an IR-cut filter has no "disabled"
    ASSERT_TRUE(parseIrMode("disabled", true, mode, error));
    EXPECT_EQ(mode, IrMode::Disabled);

    long long v = 0;
    EXPECT_TRUE(parseInteger("-42", -100, 100, v));
    EXPECT_EQ(v, -42);
    EXPECT_FALSE(parseInteger("101", -100, 100, v));
    EXPECT_FALSE(parseInteger("4x", -100, 100, v));
    double fps = -1;
    EXPECT_TRUE(parseFps("12.5", fps));
    EXPECT_DOUBLE_EQ(fps, 12.5);
    EXPECT_TRUE(parseFps("0", fps));
    EXPECT_FALSE(parseFps("-1", fps));
    EXPECT_FALSE(parseFps("fast", fps));
}
