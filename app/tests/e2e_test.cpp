// The real program with the stand-in SDK: reload and stop signals, the resolution rule, start-up
// failures and a recorded clip, each run in a home folder of its own with bounded waits.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../../sdk/tests/clip_writer.h"
#include "process_runner.h"
#include "temp_home.h"

namespace {

const std::string kProgram = std::string(KT_BINARY_DIR) + "/app/veltrano";
const int kWaitMs = 15000;  // start-up or exit, however loaded the machine

// The sample settings; the elements in `more` come last, so they replace the sample's of that name.
std::string settingsXml(const std::string& more = "") {
    return "<settings>\n <video_resolution>CIF</video_resolution>\n <zone_type>exclusion</zone_type>\n"
           " <min_distance>20</min_distance> <min_age>2</min_age> <min_age_unit>seconds</min_age_unit>\n"
           " <min_width>5</min_width> <min_height>11</min_height> <sensitivity>50</sensitivity>\n" +
           more + "</settings>\n";
}

// The program's environment: `home`, the stand-in's synthetic scene at 50 frames/s, plus `extra`.
std::map<std::string, std::string> env(const TempHome& home, const std::map<std::string, std::string>& extra = {}) {
    std::map<std::string, std::string> e = {
        {"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_FPS", "50"}, {"CSDK_RESOLUTIONS", ""},
        {"CSDK_DAYNIGHT", ""}, {"CSDK_AT_END", ""}, {"CSDK_INIT_ERROR", ""}, {"CSDK_REFRESH_FAIL", ""}, {"CSDK_EVENT_LOG", ""}};
    for (const auto& x : extra) e[x.first] = x.second;
    return e;
}

}  // namespace

// A settings change starts a new cycle that reads the custom file; SIGTERM or SIGINT then stops. The
// camera offers CIF in the first run and not in the second, where the smallest size is taken.
TEST(VeltranoRun, ReloadThenStopWithStatusZero) {
    struct Case {
        int stop;
        const char *offered, *dayNight, *first;
    };
    const Case cases[] = {{SIGTERM, "", "day", "Set resolution to 352x288"},
                          {SIGINT, "640x480,320x240,176x144", "night", "No resolution specified, using 176x144"}};
    for (const Case& c : cases) {
        TempHome home;
        home.write("default_settings_xml.txt", settingsXml());
        ProcessRunner app(kProgram, {"-port", "0"}, env(home, {{"CSDK_RESOLUTIONS", c.offered}, {"CSDK_DAYNIGHT", c.dayNight}}));
        ASSERT_GE(app.waitForLine("Initializing: sensitivity = 0.90, minSize=5x11", kWaitMs), 0) << app.dump();
        home.write("settings_xml.txt", settingsXml("<video_resolution>320 x 240</video_resolution>"
                                                   "<zones><polygon><point><x>0.1</x><y>0.1</y></point></polygon></zones>"));
        app.sendSignal(SIGUSR1);
        const int changed = app.waitForLine("STAT Configuration change detected ...", kWaitMs);
        ASSERT_GE(changed, 0) << app.dump();
        ASSERT_GE(app.waitForLine("Initializing: sensitivity", kWaitMs, changed), 0) << app.dump();
        app.sendSignal(c.stop);
        EXPECT_EQ(app.waitExit(kWaitMs), 0) << app.dump();
        EXPECT_TRUE(app.inOrder({c.first, std::string("Current Day/Night mode is ") + c.dayNight,
                                 "Using denormalized sensitivity:  0.900000", "Freeing vframe ...", "Unloading SDK ...",
                                 "INFO SDK Unloaded", "Configuration change detected ...", "Set resolution to 320x240"}))
            << app.dump();
        // "Exiting ..." ends the loop; only the pipeline's stage statistics follow it, once per cycle.
        const std::vector<std::string>& out = app.out();
        size_t exiting = out.size();
        for (size_t i = 0; i < out.size(); ++i) {
            if (endsWith(out[i], "INFO Exiting ...")) exiting = i;
        }
        ASSERT_LT(exiting, out.size()) << app.dump();
        for (size_t i = exiting + 1; i < out.size(); ++i) {
            EXPECT_NE(out[i].find(" -- mean: "), std::string::npos) << out[i];
        }
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [](const std::string& l) { return l.find("INFO kt_process -- mean: ") != std::string::npos; }),
                  2) << "one statistics block per cycle";
        EXPECT_EQ(app.count("No resolution specified, using 176x144"), c.stop == SIGINT ? 1u : 0u);
        EXPECT_EQ(app.count("Freeing vframe ..."), 2u);
        EXPECT_EQ(app.count("SDK Unloaded"), 2u);
        EXPECT_EQ(app.count("Configuration change detected ..."), 1u);
        EXPECT_EQ(app.count("csdk_refresh_vframe failed."), 0u);
        EXPECT_EQ(app.count("No custom settings, loading default xml."), 1u) << "only the first cycle";
        EXPECT_EQ(app.count("Exclusion Zones          : <List></List>"), 1u);
        EXPECT_EQ(app.count("Exclusion Zones          : <List><ktml_Polygon><ktml_Point2D x=\"0.1\" y=\"0.1\" />"
                            "</ktml_Polygon></List>"), 1u);
        // Tests run as root: the log file is written beside standard output. Only the last line is sure
        // to be there: the file starts again whenever it reaches its size limit.
        std::stringstream log;
        log << std::ifstream("/var/log/Veltrano.log").rdbuf();
        EXPECT_NE(log.str().find("INFO Exiting ..."), std::string::npos);
    }
}

// Runs that end without a frame loop: exit status and the messages, the last one ending the output.
TEST(VeltranoRun, StartUpFailuresAndRefusedParameters) {
    const std::vector<std::string> noSettings = {"No custom settings, loading default xml.",
                                                 "No default settings available.", "ERR  Unable to load settings, stopping."};
    const std::vector<std::string> unparsable = {"ERR  Failed to parse xml into a tree.", "ERR  Unable to load settings, stopping."};
    const std::vector<std::string> badResolution = {"ERR  Unable to parse resolution, exiting ..."};
    const std::string none = "-";  // no such file
    struct Case {
        std::string custom, defaults;
        std::map<std::string, std::string> env;
        int status;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {none, none, {}, 1, noSettings},
        {"", "", {}, 1, noSettings},
        {none, "<settings><video_resolution>CIF</video_resolution>", {}, 1, unparsable},
        {"<?xml version=\"1.0\"?>\n" + settingsXml(), none, {}, 1, unparsable},
        {settingsXml() + std::string(2 << 20, ' '), settingsXml(), {}, 1, unparsable},
        {std::string("<s>\x01\x02<\x7f\xff>\0<a>", 11), none, {}, 1, unparsable},
        {settingsXml("<zones><polygon><point><y>1</y><x>2</x></point></polygon></zones>"), none, {}, 1,
         {"ERR  Unable to error parsing zone xml, stopping."}},
        {settingsXml("<video_resolution>VGA</video_resolution>"), none, {}, 1, badResolution},
        {settingsXml("<video_resolution></video_resolution>"), none, {}, 1, badResolution},
        {settingsXml(), none, {{"CSDK_INIT_ERROR", "-42"}}, 1,
         {"Error initializing video SDK error code = -42: injected failure (CSDK_INIT_ERROR=-42)",
          "ERR  Unable to initialize coordinator, exiting ..."}},
        {settingsXml(), none, {{"CSDK_SOURCE", "/nonexistent/clip.mp4"}}, 1,
         {"Error initializing video SDK error code = -4: cannot open video source '/nonexistent/clip.mp4': No such "
          "file or directory",
          "ERR  Unable to initialize coordinator, exiting ..."}},
        {settingsXml("<sensitivity>101</sensitivity>"), none, {}, 0,
         {"Sensitivity              : 1.010000", "Unable to set parameters:  Invalid Sensitivity: SimpleTracker (474)",
          "Freeing vframe ...", "INFO SDK Unloaded"}},
    };
    for (const Case& c : cases) {
        TempHome home;
        if (c.custom != none) home.write("settings_xml.txt", c.custom);
        if (c.defaults != none) home.write("default_settings_xml.txt", c.defaults);
        ProcessRunner app(kProgram, {}, env(home, c.env));
        const std::string what = c.messages.back() + " from " + c.custom.substr(0, 60) + "\n";
        EXPECT_EQ(app.waitExit(kWaitMs), c.status) << what << app.dump();
        EXPECT_TRUE(app.inOrder(c.messages)) << what << app.dump();
        ASSERT_FALSE(app.out().empty()) << what;
        EXPECT_TRUE(endsWith(app.out().back(), c.messages.back())) << what << app.dump();
    }
}

TEST(VeltranoRun, RecordedClipPlaysToItsEnd) {
    TempHome home;
    home.write("default_settings_xml.txt", settingsXml("<video_resolution>320x240</video_resolution>"));
    const std::string clip = home.path() + "/clip.mkv";
    ASSERT_TRUE(testclip::writeRampClip(clip, 160, 120, 30));
    ProcessRunner app(kProgram, {},
                      env(home, {{"CSDK_SOURCE", clip}, {"CSDK_AT_END", "stop"}, {"CSDK_FPS", "0"}, {"CSDK_RESOLUTIONS", "320x240"}}));
    EXPECT_EQ(app.waitExit(kWaitMs), 0) << app.dump();
    EXPECT_TRUE(app.inOrder({"Set resolution to 320x240", "Unloading SDK ...", "Exiting ..."})) << app.dump();
    const std::vector<std::string>& err = app.err();
    EXPECT_NE(std::find(err.begin(), err.end(), "csdk: end of source after 30 frames, raising SIGTERM"), err.end())
        << app.dump();
}
