// Alarm output on a hand-stepped clock: grace, suppression and purge, counter, file, refusals, tick wrap, floods.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <iterator>
#include <string>

#include "Coordinator.h"
#include "EventOrigin.h"
#include "capture_logger.h"
#include "manual_clock.h"
#include "temp_home.h"

namespace {

// What the stand-in event service saw; its answer is `refuse` (0 accepts).
struct Service {
    static inline int sent = 0, refuse = 0;
    static inline std::string payload;
    static int send(const char* text, int32_t flags, uint32_t length) {
        EXPECT_EQ(flags, 0);
        payload.assign(text, length);
        return sent += refuse == 0, refuse;
    }
};

const uint32_t kSecond = 1000;

Event makeEvent(uint32_t uid, std::set<int> ids = {}, unsigned short confidence = 100) {
    const Event::TimePosition start(kttl::TimeStamp(1700000000, 250), kttl::ElapsedTime(0));
    Event event(start, start, "alarm", 0, confidence);
    event.setUID(uid);
    event.setOrigin(kDefaultEventOrigin, false);
    event.setObjects(ids, kDefaultEventOrigin);
    return event;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A Coordinator with the stand-in service and a grace period, its file in `home` (when given).
struct Rig {
    CaptureLogger logger;
    Coordinator coordinator;
    explicit Rig(uint32_t graceMs, const std::string& payload = "p") : coordinator(0, logger, payload) {
        Service::sent = Service::refuse = 0;
        coordinator.setEventSender(&Service::send);
        coordinator.setEventGracePeriod(kttl::ElapsedTime(static_cast<int64_t>(graceMs)));
    }
};

}  // namespace

// Scripted reports (seconds in, uid): whether each alarmed, and the uids then suppressed (-1: unchecked).
TEST(AlarmOutput, GracePeriodSuppressionAndTickWrap) {
    struct Step { double at; uint32_t uid; bool alarm; int suppressed = -1; };
    struct Case { const char* what; uint32_t graceMs; std::vector<Step> steps; uint32_t start = 5000000; };
    const std::vector<Case> cases = {
        {"grace 0: every new uid alarms, an alarmed one not while it keeps being reported",
         0, {{0, 1, true}, {0, 2, true}, {10, 1, false}, {20, 1, false}, {34.9, 1, false}, {35, 3, true}}},
        {"grace 60 s: a second event within it is not remembered and alarms after it",
         60 * kSecond, {{0, 1, true}, {10, 2, false}, {30, 1, false}, {61, 2, true}, {62, 3, false}}},
        {"an entry 16 s old is still found when nothing was handled in between",
         0, {{0, 5, true}, {16, 5, false}, {16.5, 5, false}}},
        {"an entry leaves only in a purge: another event after its 15 s, then it alarms again",
         0, {{0, 5, true}, {15.5, 6, true}, {16, 5, true}}},
        {"a purge runs after a suppressed report too",
         0, {{0, 5, true}, {0, 6, true}, {14, 6, false}, {15, 6, false}, {16, 5, true}}},
        {"the 32-bit tick wraps 5 s in: uid 1 stays suppressed, grace and purge still run their time",
         60 * kSecond, {{0, 1, true}, {10, 2, false}, {10, 1, false, 1}, {61, 2, true}, {77, 3, false, 0}},
         0xFFFFFFFFu - 5 * kSecond},
    };
    for (const Case& c : cases) {
        ManualClock clock(c.start);
        Rig rig(c.graceMs);
        int expected = 0;
        for (const Step& s : c.steps) {
            clock.set(c.start + static_cast<uint32_t>(s.at * 1000));
            rig.coordinator.onEvent(makeEvent(s.uid));
            EXPECT_TRUE(rig.coordinator.getAlarmCount() == (expected += s.alarm) &&
                        (s.suppressed < 0 || rig.coordinator.getSuppressedCount() == unsigned(s.suppressed)))
                << c.what << " at " << s.at << " s, uid " << s.uid;
        }
        EXPECT_EQ(Service::sent, expected) << c.what;
    }
}

TEST(AlarmOutput, LogLinesFileAndRestart) {
    TempHome home;
    setenv("CS_APP_HOME", home.path().c_str(), 1);
    const std::string file = home.path() + "/html/event_time.json";
    ManualClock clock;
    {
        Rig rig(0, "<payload>\n  ");
        for (const Event& e : {makeEvent(40, {12, 3, 7}, 87), makeEvent(41, {}, 250), makeEvent(42, {9})})
            rig.coordinator.onEvent(e);  // 41: no objects, a confidence out of range
        EXPECT_TRUE(rig.coordinator.getAlarmFile() == file && Service::payload == "<payload>\n  ");  // no terminator
        EXPECT_EQ(rig.logger.lines(),
                  (std::vector<std::string>{"INFO Sending Event 1 (Confidence 87) for Object ID(s) 3,7,12",
                                            "INFO Sending Event 2 (Confidence 250) for Object ID(s) ",
                                            "INFO Sending Event 3 (Confidence 100) for Object ID(s) 9"}));
        const std::string stamp = makeEvent(0).getStart().first.toString("ISO8601");
        EXPECT_EQ(readFile(file), "{\"event_time\":\"" + stamp + "\",\"event_id\":3}\n");
        EXPECT_NE(access((file + ".tmp").c_str(), F_OK), 0) << "no temporary left behind";
    }
    Rig restarted(0);
    restarted.coordinator.onEvent(makeEvent(40));
    EXPECT_TRUE(restarted.coordinator.getAlarmCount() == 1 &&  // a new cycle counts from 1
                readFile(file).find("\"event_id\":1}") != std::string::npos);
    unsetenv("CS_APP_HOME");
}

// A refusal counts nothing, writes nothing, remembers nothing and keeps the grace period expired.
TEST(AlarmOutput, RefusedBySdk) {
    TempHome home;
    setenv("CS_APP_HOME", home.path().c_str(), 1);
    ManualClock clock;
    Rig rig(60 * kSecond);
    Service::refuse = -7;
    rig.coordinator.onEvent(makeEvent(8, {1}));
    EXPECT_TRUE(rig.coordinator.getAlarmCount() == 0 && rig.coordinator.getSuppressedCount() == 0u &&
                rig.logger.has("ERR  Error sending APP event: -7") &&
                access((home.path() + "/html/event_time.json").c_str(), F_OK) != 0);
    Service::refuse = 0;
    clock.advance(40);
    rig.coordinator.onEvent(makeEvent(8, {1}));
    EXPECT_TRUE(rig.coordinator.getAlarmCount() == 1 &&  // the next report tries again at once
                rig.logger.has("INFO Sending Event 1 (Confidence 100) for Object ID(s) 1"));
    unsetenv("CS_APP_HOME");
}

// A home that cannot hold the file: the alarm still counts and is logged, and the loop goes on.
TEST(AlarmOutput, UnusableHomes) {
    TempHome blocked;
    std::system(("rm -rf " + blocked.path() + "/html && touch " + blocked.path() + "/html").c_str());
    const std::string tooLong(5000, 'h');
    struct Case { const char* what; const char* home; };  // home null: unset
    const Case cases[] = {{"unset", nullptr}, {"relative", "no/such/relative/home"},
                          {"html is a file", blocked.path().c_str()}, {"too long", tooLong.c_str()}};
    ManualClock clock;
    for (const Case& c : cases) {
        c.home ? setenv("CS_APP_HOME", c.home, 1) : unsetenv("CS_APP_HOME");
        Rig rig(0);
        rig.coordinator.onEvent(makeEvent(1, {4}));
        rig.coordinator.onEvent(makeEvent(2, {5}));
        EXPECT_TRUE(rig.coordinator.getAlarmCount() == 2 &&
                    rig.logger.has("INFO Sending Event 2 (Confidence 100) for Object ID(s) 5")) << c.what;
    }
    unsetenv("CS_APP_HOME");
}

// A noisy night: far more distinct uids within 15 s than the map keeps; it stays bounded, keeping the latest.
TEST(AlarmOutput, FloodOfUidsStaysBounded) {
    ManualClock clock;
    Rig rig(0);
    rig.coordinator.setAlarmFile("");
    const uint32_t kUids = 3 * Coordinator::kMaxSuppressed;
    for (uint32_t uid = 1; uid <= kUids; ++uid) {
        clock.advance(1);
        rig.coordinator.onEvent(makeEvent(uid));
        ASSERT_LE(rig.coordinator.getSuppressedCount(), Coordinator::kMaxSuppressed);
    }
    EXPECT_EQ(rig.coordinator.getAlarmCount(), static_cast<int32_t>(kUids));
    rig.coordinator.onEvent(makeEvent(kUids - 1));  // the one before the newest
    EXPECT_EQ(rig.coordinator.getAlarmCount(), static_cast<int32_t>(kUids)) << "the latest stay suppressed";
    clock.advance(Coordinator::kSuppressMs);
    rig.coordinator.onEvent(makeEvent(kUids + 1));
    EXPECT_EQ(rig.coordinator.getSuppressedCount(), 1u);
}
