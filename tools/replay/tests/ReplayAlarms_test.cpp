// Alarms end to end: a scripted scene through the replay chain (a qualifying mover alarms once, a
// still one and one outside the zone never), and the real application against the replay tool on
// the same synthetic frames, with its payload, log lines, last-alarm file and a settings reload.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "../../../app/tests/process_runner.h"
#include "../../../app/tests/temp_home.h"
#include "ReplayRun.h"
#include "csdk_synthetic.h"

namespace {

const std::string kProgram = std::string(KT_BINARY_DIR) + "/app/veltrano";
const int kWaitMs = 30000;
const char* const kPayload =
    "      <CameraAppEventPayload>\\n      <vendorName>Orvandi</vendorName>\\n      <eventName>Veltrano</eventName>\\n"
    "      <eventState>1</eventState>\\n      <severity>info</severity>\\n      <description>Orvandi Veltrano "
    "App</description>\\n      </CameraAppEventPayload>      ";

// The lower half of the frame is the inclusion zone.
std::string settingsXml(const std::string& resolution, const std::string& grace = "0") {
    return "<settings><video_resolution>" + resolution +
           "</video_resolution><zone_type>inclusion</zone_type><zones><polygon>"
           "<point><x>0</x><y>0.5</y></point><point><x>1</x><y>0.5</y></point>"
           "<point><x>1</x><y>1</y></point><point><x>0</x><y>1</y></point></polygon></zones>"
           "<min_distance>20</min_distance><min_age>1</min_age><min_age_unit>seconds</min_age_unit>"
           "<max_width>60</max_width><max_height>80</max_height><alarm_interval>" +
           grace +
           "</alarm_interval><alarm_interval_unit>seconds</alarm_interval_unit><min_width>5</min_width>"
           "<min_height>11</min_height><sensitivity>50</sensitivity><light_sensitivity>50</light_sensitivity>"
           "</settings>";
}

class NullLogger : public kttl::Logger {
public:
    NullLogger() { start(); }
    ~NullLogger() override { stop(kttl::ElapsedTime(5000)); }
    bool output(const kttl::LogType&, const kttl::String&) override { return true; }
};

// "Sending Event N (Confidence C) for Object ID(s) I" lines reduced to "N C I".
std::vector<std::string> alarmLines(const std::vector<std::string>& out) {
    std::vector<std::string> alarms;
    for (const std::string& l : out) {
        const size_t at = l.find("Sending Event ");
        int number = 0, confidence = 0, used = 0;
        if (at == std::string::npos ||
            std::sscanf(l.c_str() + at, "Sending Event %d (Confidence %d) for Object ID(s) %n", &number, &confidence,
                        &used) != 2 || used == 0) {
            continue;
        }
        alarms.push_back(std::to_string(number) + " " + std::to_string(confidence) + " " + l.substr(at + used));
    }
    return alarms;
}

// The event_id of a last-alarm file that is exactly one well-formed line; -1 otherwise.
int eventId(const std::string& text) {
    char stamp[64] = {0};
    int id = -1, used = 0;
    if (std::sscanf(text.c_str(), "{\"event_time\":\"%63[^\"]\",\"event_id\":%d}\n%n", stamp, &id, &used) != 2 ||
        static_cast<size_t>(used) != text.size() || std::strlen(stamp) < 24 || stamp[10] != 'T' || stamp[19] != '.') {
        return -1;
    }
    return id;
}

std::string readFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A textured gray street with painted boxes; NV21 with neutral chroma.
void paintFrame(std::vector<uint8_t>& nv21, int w, int h, const std::vector<std::array<int, 4>>& boxes) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) nv21[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(60 + (x * 7 + y * 13) % 40);
    }
    for (const auto& b : boxes) {
        for (int y = std::max(0, b[1]); y < std::min(h, b[1] + b[3]); ++y) {
            for (int x = std::max(0, b[0]); x < std::min(w, b[0] + b[2]); ++x) {
                nv21[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(((x - b[0]) / 3 + y / 4) % 2 ? 235 : 170);
            }
        }
    }
    std::fill(nv21.begin() + static_cast<size_t>(w) * h, nv21.end(), 128);
}

}  // namespace

// The whole chain on a scene whose truth is plain: a walker crossing the zone alarms exactly once;
// a box that appears and stays put in the zone, and a walker above the zone, never alarm.
TEST(Alarms, QualifyingMoverAlarmsStillOneDoesNot) {
    const int w = 320, h = 240;
    NullLogger logger;
    ReplayRun run(logger);
    std::string error;
    ASSERT_TRUE(run.configure(settingsXml("320x240"), 0, 0, error)) << error;
    std::vector<uint8_t> nv21(static_cast<size_t>(w) * h * 3 / 2);
    const int frames = 12 * 25;
    for (int i = 0; i < frames; ++i) {
        std::vector<std::array<int, 4>> boxes;
        const double t = i / 25.0;
        if (t >= 3) boxes.push_back({static_cast<int>(10 + (t - 3) * 50), 150, 16, 40});   // walker in the zone
        if (t >= 3) boxes.push_back({240, 170, 16, 30});                                    // still, in the zone
        if (t >= 3) boxes.push_back({static_cast<int>(300 - (t - 3) * 50), 20, 16, 40});   // walker above it
        paintFrame(nv21, w, h, boxes);
        ASSERT_TRUE(run.feed(nv21.data(), i * 40));
    }
    ASSERT_EQ(run.alarms().size(), 1u) << "events seen: " << run.events();
    const ReplayAlarm& alarm = run.alarms().front();
    ASSERT_EQ(alarm.boxes.size(), 1u);
    const double at = alarm.clipMs / 1000.0;
    const int walkerX = static_cast<int>(10 + (at - 3) * 50);
    EXPECT_NEAR(alarm.boxes[0].x + alarm.boxes[0].width / 2, walkerX + 8, 12) << "the alarm is the walker's";
    EXPECT_GT(alarm.boxes[0].y, 120);
    EXPECT_GE(at, 4.0) << "not before it is a second old";
    EXPECT_LE(at, 6.0);
}

// The application on paced synthetic frames raises the same alarms as the replay tool's chain on the
// same frames; its payload, log lines and last-alarm file agree; a reload counts from 1 again.
TEST(Alarms, LiveApplicationMatchesReplayAndRestartsCounting) {
    const int seconds = 16;
    TempHome home;
    home.write("default_settings_xml.txt", settingsXml("320x240"));
    const std::string eventLog = home.path() + "/events.log";
    const std::map<std::string, std::string> env = {
        {"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic:frames=" + std::to_string(seconds * 25)},
        {"CSDK_FPS", ""}, {"CSDK_RESOLUTIONS", ""}, {"CSDK_DAYNIGHT", ""}, {"CSDK_AT_END", "stop"},
        {"CSDK_INIT_ERROR", ""}, {"CSDK_REFRESH_FAIL", ""}, {"CSDK_EVENT_FAIL", ""}, {"CSDK_EVENT_LOG", eventLog}};
    ProcessRunner app(kProgram, {}, env);
    ASSERT_EQ(app.waitExit(kWaitMs + seconds * 1000), 0) << app.dump();
    const std::vector<std::string> live = alarmLines(app.out());

    NullLogger logger;
    ReplayRun run(logger);
    std::string error;
    ASSERT_TRUE(run.configure(settingsXml("320x240"), 0, 0, error)) << error;
    csdk_standin::SyntheticScene scene(false, false, 0);
    ASSERT_TRUE(scene.prepare(320, 240));
    std::vector<uint8_t> nv21(320 * 240 * 3 / 2);
    for (int i = 0; i < seconds * 25; ++i) {
        ASSERT_EQ(scene.next(nv21.data()), csdk_standin::FrameSource::Result::Ok);
        run.feed(nv21.data(), i * 40);
    }
    std::vector<std::string> replayed;
    for (const ReplayAlarm& a : run.alarms()) {
        std::string ids;
        for (int id : a.ids) ids += (ids.empty() ? "" : ",") + std::to_string(id);
        replayed.push_back(std::to_string(a.number) + " " + std::to_string(a.confidence) + " " + ids);
    }
    ASSERT_GE(live.size(), 3u) << app.dump();
    // The live loop runs on the wall clock: a machine too loaded to keep the pace can split off one
    // more short-lived object and so shift later object ids. The alarms themselves must agree.
    ASSERT_EQ(live.size(), replayed.size()) << app.dump();
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(live[i].substr(0, live[i].rfind(' ')), replayed[i].substr(0, replayed[i].rfind(' '))) << i;
    }
    EXPECT_EQ(live.front(), replayed.front());

    // Every alarm reached the service with the exact payload; the file holds the last number.
    std::istringstream sent(readFile(eventLog));
    size_t records = 0;
    for (std::string l; std::getline(sent, l); ++records) {
        EXPECT_NE(l.find("\"flags\":0,\"length\":262,\"result\":0,\"payload\":\"" + std::string(kPayload) + "\"}"),
                  std::string::npos) << l;
    }
    EXPECT_EQ(records, live.size());
    const std::string last = readFile(home.path() + "/html/event_time.json");
    EXPECT_EQ(eventId(last), static_cast<int>(live.size())) << last;

    // A reload with a 60 s grace period: the counter starts at 1 again, and only one alarm comes.
    ProcessRunner reloaded(kProgram, {}, std::map<std::string, std::string>(env.begin(), env.end()));
    const int first = reloaded.waitForLine("Sending Event 2 ", kWaitMs);
    ASSERT_GE(first, 0) << reloaded.dump();
    home.write("settings_xml.txt", settingsXml("320x240", "60"));
    reloaded.sendSignal(SIGUSR1);
    const int changed = reloaded.waitForLine("Configuration change detected ...", kWaitMs);
    ASSERT_GE(changed, 0) << reloaded.dump();
    ASSERT_GE(reloaded.waitForLine("Sending Event 1 ", kWaitMs, static_cast<size_t>(changed)), 0) << reloaded.dump();
    EXPECT_EQ(reloaded.waitExit(kWaitMs + seconds * 1000), 0) << reloaded.dump();
    const std::vector<std::string> after(reloaded.out().begin() + changed, reloaded.out().end());
    EXPECT_EQ(alarmLines(after).size(), 1u) << reloaded.dump();
    const std::string relast = readFile(home.path() + "/html/event_time.json");
    EXPECT_EQ(eventId(relast), 1) << relast;
}
