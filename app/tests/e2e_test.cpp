// The real program with the stand-in SDK: stop and reload signals, start-up failures, the resolution
// rule and a recorded clip, each run in a home folder of its own with bounded waits.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../../sdk/tests/clip_writer.h"
#include "process_runner.h"

namespace {

const std::string kProgram = std::string(KT_BINARY_DIR) + "/app/veltrano";
const int kStartMs = 15000;  // start-up, however loaded the machine
const int kExitMs = 15000;

class Home {
public:
    Home() {
        char dir[] = "/tmp/veltrano_e2e_XXXXXX";
        path_ = mkdtemp(dir);
        mkdir((path_ + "/html").c_str(), 0755);
    }
    ~Home() { std::system(("rm -rf " + path_).c_str()); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(path_ + "/html/" + name, std::ios::binary) << text;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A settings document: the sample values, with `overrides` replacing or adding elements (an empty
// value drops the element).
std::string settingsXml(const std::map<std::string, std::string>& overrides = {}) {
    std::map<std::string, std::string> values = {
        {"video_resolution", "CIF"}, {"zone_type", "exclusion"}, {"min_distance", "20"},
        {"min_age", "2"},            {"min_age_unit", "seconds"}, {"max_width", "60"},
        {"max_height", "80"},        {"alarm_interval", "30"},    {"alarm_interval_unit", "seconds"},
        {"min_width", "5"},          {"min_height", "11"},        {"sensitivity", "50"},
        {"light_sensitivity", "50"},
    };
    for (const auto& o : overrides) {
        if (o.second.empty()) {
            values.erase(o.first);
        } else {
            values[o.first] = o.second;
        }
    }
    std::string xml = "<settings>\n";
    for (const auto& v : values) xml += "  <" + v.first + ">" + v.second + "</" + v.first + ">\n";
    return xml + "</settings>\n";
}

std::map<std::string, std::string> baseEnv(const Home& home) {
    return {{"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_FPS", "50"},
            {"CSDK_RESOLUTIONS", ""},     {"CSDK_DAYNIGHT", ""},         {"CSDK_AT_END", ""},
            {"CSDK_INIT_ERROR", ""},      {"CSDK_REFRESH_FAIL", ""},     {"CSDK_EVENT_LOG", ""}};
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool increasing(const std::vector<int>& at) {
    for (size_t i = 0; i < at.size(); ++i) {
        if (at[i] < 0 || (i > 0 && at[i] <= at[i - 1])) return false;
    }
    return true;
}

}  // namespace

TEST(VeltranoRun, StopSignalsEndWithStatusZero) {
    for (int sig : {SIGTERM, SIGINT}) {
        Home home;
        home.write("default_settings_xml.txt", settingsXml());
        ProcessRunner app(kProgram, {}, baseEnv(home));
        ASSERT_TRUE(app.started());
        ASSERT_GE(app.waitForLine("Initializing: sensitivity = 0.90, minSize=5x11", kStartMs), 0) << app.dump();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a few frames
        app.sendSignal(sig);
        EXPECT_EQ(app.waitExit(kExitMs), 0) << app.dump();
        EXPECT_TRUE(increasing(app.order({"Using denormalized sensitivity:  0.900000", "Freeing vframe ...",
                                          "Unloading SDK ...", "SDK Unloaded", "Exiting ..."})))
            << app.dump();
        EXPECT_TRUE(app.lines("Configuration change detected ...").empty());
        EXPECT_TRUE(app.lines("csdk_refresh_vframe failed.").empty());
        // Every line carries the time, the padded level and the message.
        EXPECT_EQ(app.lines("INFO SDK Unloaded").size(), 1u);
        EXPECT_EQ(app.lines("STAT SDK Unloaded").size(), 0u);
        if (sig == SIGTERM) {
            // Tests run as root: the log file is written beside standard output. Only the last line is
            // sure to be there: the file starts again whenever it reaches its size limit.
            const std::string log = fileText("/var/log/Veltrano.log");
            EXPECT_NE(log.find("INFO Exiting ..."), std::string::npos);
        }
    }
}

TEST(VeltranoRun, ConfigurationChangeReadsTheSettingsAgain) {
    Home home;
    home.write("default_settings_xml.txt", settingsXml());
    ProcessRunner app(kProgram, {"-port", "0"}, baseEnv(home));
    ASSERT_GE(app.waitForLine("Set resolution to 352x288", kStartMs), 0) << app.dump();
    ASSERT_GE(app.waitForLine("Initializing: sensitivity", kStartMs), 0) << app.dump();
    home.write("settings_xml.txt",
               settingsXml({{"video_resolution", "320 x 240"},
                            {"zones", "<polygon><point><x>0.1</x><y>0.1</y></point></polygon>"}}));
    app.sendSignal(SIGUSR1);
    const int changed = app.waitForLine("Configuration change detected ...", kExitMs);
    ASSERT_GE(changed, 0) << app.dump();
    const int second = app.waitForLine("Set resolution to 320x240", kStartMs, changed);
    ASSERT_GE(second, 0) << app.dump();
    ASSERT_GE(app.waitForLine("Initializing: sensitivity", kStartMs, second), 0) << app.dump();
    app.sendSignal(SIGTERM);
    EXPECT_EQ(app.waitExit(kExitMs), 0) << app.dump();
    EXPECT_TRUE(increasing(app.order({"Freeing vframe ...", "Unloading SDK ...", "SDK Unloaded",
                                      "Configuration change detected ..."})))
        << app.dump();
    const std::vector<std::string> out = app.out();
    EXPECT_NE(out[changed].find("STAT Configuration change detected ..."), std::string::npos);
    EXPECT_EQ(app.lines("SDK Unloaded").size(), 2u);
    EXPECT_EQ(app.lines("Exiting ...").size(), 1u);
    EXPECT_EQ(app.lines("No custom settings, loading default xml.").size(), 1u) << "only the first cycle";
    EXPECT_EQ(app.lines("Exclusion Zones          : <List></List>").size(), 1u);
    EXPECT_EQ(app.lines("Exclusion Zones          : <List><ktml_Polygon><ktml_Point2D x=\"0.1\" y=\"0.1\" />"
                        "</ktml_Polygon></List>")
                  .size(),
              1u)
        << app.dump();
}

TEST(VeltranoRun, StartUpFailuresEndWithStatusOne) {
    struct Case {
        const char* what;
        std::string custom;   // "-" for no file
        std::string defaults; // "-" for no file
        std::map<std::string, std::string> env;
        std::vector<std::string> messages;  // in order, each the end of a line
    };
    const std::vector<std::string> noSettings = {"No custom settings, loading default xml.",
                                                 "No default settings available.",
                                                 "Unable to load settings, stopping."};
    const std::vector<std::string> unparsable = {"Failed to parse xml into a tree.", "Unable to load settings, stopping."};
    const std::vector<std::string> badZones = {"Unable to error parsing zone xml, stopping."};
    const std::vector<std::string> badResolution = {"Unable to parse resolution, exiting ..."};
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<a>";
    std::string manyChildren = "<s>";
    for (int i = 0; i < 100; ++i) manyChildren += "<c>1</c>";
    manyChildren += "</s>";
    const std::vector<Case> cases = {
        {"no settings files", "-", "-", {}, noSettings},
        {"empty files", "", "", {}, noSettings},
        {"unclosed document", "-", "<settings><video_resolution>CIF</video_resolution>", {}, unparsable},
        {"xml declaration", "<?xml version=\"1.0\"?>\n" + settingsXml(), "-", {}, unparsable},
        {"comment", "<settings><!-- c --><video_resolution>CIF</video_resolution></settings>", "-", {}, unparsable},
        {"two megabytes", settingsXml() + std::string(2 << 20, ' '), settingsXml(), {}, unparsable},
        {"deep nesting", deep, "-", {}, unparsable},
        {"long name", "<settings><" + std::string(200, 'n') + ">1</" + std::string(200, 'n') + "></settings>", "-",
         {}, unparsable},
        {"long value", settingsXml({{"min_age", std::string(1000, '7')}}), "-", {}, unparsable},
        {"too many settings", manyChildren, "-", {}, unparsable},
        {"control bytes", std::string("<s>\x01\x02<\x7f\xff>\0<a>", 11), "-", {}, unparsable},
        {"zone point y before x", settingsXml({{"zones", "<polygon><point><y>1</y><x>2</x></point></polygon>"}}), "-",
         {}, badZones},
        {"zone number", settingsXml({{"zones", "<polygon><point><x>a</x><y>2</y></point></polygon>"}}), "-", {}, badZones},
        {"resolution name", settingsXml({{"video_resolution", "VGA"}}), "-", {}, badResolution},
        {"no resolution", settingsXml({{"video_resolution", ""}}), "-", {}, badResolution},
        {"sdk refuses",
         settingsXml(),
         "-",
         {{"CSDK_INIT_ERROR", "-42"}},
         {"Error initializing video SDK error code = -42: injected failure (CSDK_INIT_ERROR=-42)",
          "Unable to initialize coordinator, exiting ..."}},
        {"video source missing",
         settingsXml(),
         "-",
         {{"CSDK_SOURCE", "/nonexistent/clip.mp4"}},
         {"Error initializing video SDK error code = -4: cannot open video source '/nonexistent/clip.mp4': No such "
          "file or directory",
          "Unable to initialize coordinator, exiting ..."}},
    };
    for (const Case& c : cases) {
        Home home;
        if (c.custom != "-") home.write("settings_xml.txt", c.custom);
        if (c.defaults != "-") home.write("default_settings_xml.txt", c.defaults);
        std::map<std::string, std::string> env = baseEnv(home);
        for (const auto& e : c.env) env[e.first] = e.second;
        ProcessRunner app(kProgram, {}, env);
        EXPECT_EQ(app.waitExit(kExitMs), 1) << c.what << "\n" << app.dump();
        EXPECT_TRUE(increasing(app.order(c.messages))) << c.what << "\n" << app.dump();
        const std::vector<std::string> out = app.out();
        ASSERT_FALSE(out.empty()) << c.what;
        EXPECT_NE(out.back().find("ERR  "), std::string::npos) << c.what << ": the last line is the error";
    }
}

TEST(VeltranoRun, RefusedParametersEndWithStatusZero) {
    Home home;
    home.write("default_settings_xml.txt", settingsXml({{"sensitivity", "101"}}));
    ProcessRunner app(kProgram, {}, baseEnv(home));
    EXPECT_EQ(app.waitExit(kExitMs), 0) << app.dump();
    EXPECT_TRUE(increasing(app.order({"Sensitivity              : 1.010000",
                                      "Unable to set parameters:  Invalid Sensitivity: SimpleTracker (474)",
                                      "Freeing vframe ...", "SDK Unloaded"})))
        << app.dump();
    EXPECT_TRUE(app.lines("Exiting ...").empty());
}

TEST(VeltranoRun, ResolutionRuleAndDayNight) {
    struct Case {
        const char* requested;
        const char* chosen;
        bool defaulted;
        const char* dayNight;
    };
    const Case cases[] = {
        {"320 x 240", "320x240", false, "day"},
        {"0x0", "176x144", true, "night"},
        {"800x600", "176x144", true, "day"},
        {"cif", "176x144", true, "day"},  // 352x288 is not among this camera's sizes
    };
    for (const Case& c : cases) {
        Home home;
        home.write("default_settings_xml.txt", settingsXml({{"video_resolution", c.requested}}));
        std::map<std::string, std::string> env = baseEnv(home);
        env["CSDK_RESOLUTIONS"] = "640x480,320x240,176x144";
        env["CSDK_DAYNIGHT"] = c.dayNight;
        ProcessRunner app(kProgram, {}, env);
        ASSERT_GE(app.waitForLine(std::string("Set resolution to ") + c.chosen, kStartMs), 0) << app.dump();
        ASSERT_GE(app.waitForLine("Initializing", kStartMs), 0) << app.dump();
        app.sendSignal(SIGTERM);
        EXPECT_EQ(app.waitExit(kExitMs), 0) << app.dump();
        EXPECT_EQ(app.lines(std::string("No resolution specified, using ") + c.chosen).size(), c.defaulted ? 1u : 0u)
            << c.requested;
        EXPECT_EQ(app.lines(std::string("Current Day/Night mode is ") + c.dayNight).size(), 1u) << app.dump();
    }
}

TEST(VeltranoRun, RecordedClipPlaysToItsEnd) {
    Home home;
    home.write("default_settings_xml.txt", settingsXml({{"video_resolution", "320x240"}}));
    const std::string clip = home.path() + "/clip.mkv";
    ASSERT_TRUE(testclip::writeClip(clip, 160, 120, 30, 25, [](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        testclip::rampPainter(i, y, ys, u, v, cs, 160, 120);
    }));
    std::map<std::string, std::string> env = baseEnv(home);
    env["CSDK_SOURCE"] = clip;
    env["CSDK_AT_END"] = "stop";
    env["CSDK_FPS"] = "0";
    env["CSDK_RESOLUTIONS"] = "320x240";
    ProcessRunner app(kProgram, {}, env);
    EXPECT_EQ(app.waitExit(kExitMs), 0) << app.dump();
    EXPECT_TRUE(increasing(app.order({"Set resolution to 320x240", "Unloading SDK ...", "Exiting ..."}))) << app.dump();
    bool ended = false;
    for (const std::string& line : app.err()) ended |= line == "csdk: end of source after 30 frames, raising SIGTERM";
    EXPECT_TRUE(ended) << app.dump();
}
