// Line crossing, direction and speed spies over scripted object paths: crossing bits and modes,
// direction senses and signs, deferral on the line, direction fits across the wrap, speed timing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "Direction.h"
#include "EventSpyFactory.h"
#include "LineCrossingSpy.h"
#include "Speed.h"
#include "SpyScene.h"
#include "manual_clock.h"

namespace {

typedef ktml::LineSegment2D<float> Seg;
typedef std::vector<size_t> Counts;

LineCrossingSpy lineSpy(const Seg& line, int crossLine, int direction) {
    LineCrossingSpy spy("line", "");
    spy.setMinAge(kttl::ElapsedTime(0));
    spy.setCrossLine(crossLine);
    EXPECT_TRUE(spy.setDirection(direction));
    spy.setLineSegment(line);
    return spy;
}

// 10 x 10 boxes with the given top-left corners.
std::vector<Box> boxes(std::initializer_list<std::pair<int, int>> corners) {
    std::vector<Box> out;
    for (const auto& c : corners) out.push_back(Box(c.first, c.second, 10, 10));
    return out;
}

}  // namespace

TEST(LineCrossingSpy, CrossingModesAndDirections) {
    const Seg vertical(50, 0, 50, 200), horizontal(0, 50, 300, 50), diagonal(0, 0, 100, 100);
    const auto right = boxes({{20, 40}, {38, 40}, {48, 40}, {38, 40}});
    const auto down = boxes({{40, 20}, {40, 30}, {40, 60}}), up = boxes({{40, 60}, {40, 50}, {40, 20}});
    const struct {
        const char* what;
        Seg line;
        int crossLine, direction;
        std::vector<Box> path;
        Counts events;
    } rows[] = {
        // The centre path crosses at frame 2; crossing back clears the bits again.
        {"segment, centre crosses and back", vertical, 0, 0, right, {0, 0, 1, 0}},
        // Three corners and the centre (0x1d) are not enough; the fourth corner completes it.
        {"whole line, three corners then all", diagonal, 1, 0, boxes({{40, 20}, {30, 32}, {20, 40}}), {0, 0, 1}},
        {"horizontal line, direction 1 downward", horizontal, 0, 1, down, {0, 0, 1}},
        {"horizontal line, direction 2 not downward", horizontal, 0, 2, down, {0, 0, 0}},
        {"horizontal line, direction 2 upward", horizontal, 0, 2, up, {0, 0, 1}},
        {"horizontal line, direction 1 not upward", horizontal, 0, 1, up, {0, 0, 0}},
        // A downward vertical line: direction 1 is rightward, 2 leftward.
        {"vertical line, direction 1 rightward", vertical, 0, 1, right, {0, 0, 1, 0}},
        {"vertical line, direction 2 leftward only", vertical, 0, 2, right, {0, 0, 0, 0}},
        // Moving alongside a vertical line while straddling it: every path is parallel.
        {"parallel motion", vertical, 0, 0, boxes({{44, 10}, {44, 60}, {44, 120}}), {0, 0, 0}},
        {"zero-length line", Seg(50, 50, 50, 50), 0, 0, right, {0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        LineCrossingSpy spy = lineSpy(r.line, r.crossLine, r.direction);
        EXPECT_EQ(eventCounts(runPath(spy, r.path)), r.events) << r.what;
    }
}

TEST(LineCrossingSpy, PlacementSignAndDeferral) {
    // Fractions scale with the frame; saturated, not overflowed, far beyond it; NaN leaves it inactive.
    LineCrossingSpy spy = lineSpy(Seg(0.5f, 0.f, 0.5f, 1.f), 0, 0);
    spy.reserveFrameSize(640, 480);
    EXPECT_EQ(spy.getLine().line, Seg(320, 0, 320, 480));
    spy.setLineSegment(Seg(1e30f, 0.f, -INFINITY, 5.f));
    EXPECT_FALSE(spy.getLine().hasLength());
    spy.setLineSegment(Seg(1e30f, 0.f, 3.f, 5.f));
    EXPECT_EQ(spy.getLine().line.first.x, float(INT32_MAX));

    LineCrossing<float> vertical;
    vertical.setLine(Seg(50, 0, 50, 100));
    vertical.direction = 2;
    EXPECT_EQ(vertical.directionSign(), -1);
    vertical.direction = 1;
    vertical.sign = 0;
    EXPECT_EQ(vertical.directionSign(), 1);

    // A corner exactly on an end point defers the judgement: the record keeps the older box.
    LineCrossingSpy deferring = lineSpy(Seg(50, 20, 50, 80), 0, 0);
    const auto path = boxes({{30, 40}, {40, 70}, {55, 40}});
    const auto events = runPath(deferring, std::vector<Box>(path.begin(), path.begin() + 2));
    ASSERT_EQ(deferring.getTripped().count(1), 1u);
    EXPECT_EQ(deferring.getTripped().at(1).box, path[0]);
    EXPECT_EQ(eventCounts(events), (Counts{0, 0}));
}

TEST(Direction, FitsAcrossTheWrapAndNeedsMotion) {
    ManualClock clock;
    const struct {
        const char* what;
        unsigned angle, tolerance;
        std::vector<Box> path;
        Counts events;
    } rows[] = {
        {"slightly downward right at 0 degrees", 0, 30, boxes({{10, 100}, {30, 103}, {50, 106}}), {0, 1, 1}},
        {"leftward at 0 degrees", 0, 30, boxes({{50, 100}, {30, 100}, {10, 100}}), {0, 0, 0}},
        {"upward at 90 degrees", 90, 10, boxes({{50, 100}, {50, 80}, {50, 60}}), {0, 1, 1}},
        {"downward at 90 degrees", 90, 10, boxes({{50, 60}, {50, 80}, {50, 100}}), {0, 0, 0}},
        {"standing still", 0, 180, boxes({{50, 60}, {50, 60}, {50, 60}}), {0, 0, 0}},
        {"upward at 330 with tolerance 60", 330, 60, boxes({{10, 100}, {20, 90}, {30, 80}}), {0, 0, 0}},
    };
    for (const auto& r : rows) {
        Direction spy("dir", "", r.angle, r.tolerance, kttl::ElapsedTime(5000), 0);
        spy.setMinAge(kttl::ElapsedTime(0));
        EXPECT_EQ(eventCounts(runPath(spy, r.path)), r.events) << r.what;
    }
    EXPECT_NEAR(Direction::angleDifference(350 * M_PI / 180, 0), 10 * M_PI / 180, 1e-12);
}

TEST(Direction, DepartedRecordsGoAfterTheirHoldTime) {
    ManualClock clock;
    Direction spy("dir", "", 0, 30, kttl::ElapsedTime(2000), 0);
    spy.setMinAge(kttl::ElapsedTime(0));
    runPath(spy, boxes({{10, 100}, {30, 100}, {50, 100}}));
    ProcessFrame empty;
    loadFrame(empty, 2000, {});
    spy.spy(empty);
    EXPECT_EQ(spy.getRecords().size(), 1u);  // matched just now: held
    clock.advance(2000);
    spy.spy(empty);
    EXPECT_TRUE(spy.getRecords().empty());
}

TEST(Speed, TimesObjectsBetweenTwoLines) {
    Speed probe;
    probe.setUnit(Speed::Metric);
    probe.setDistance(100);
    probe.setSpeedLimit(50);
    EXPECT_EQ(probe.getTimeLimit().getMilliseconds(), 7200);
    EXPECT_EQ(probe.speedText(3600), "100 km/h");
    EXPECT_EQ(probe.speedText(0), "Unkown Speed");
    probe.setDistance(INT32_MAX);
    EXPECT_EQ(probe.speedText(1), "2147483647 km/h");  // saturated, not overflowed
    probe.setUnit(Speed::English);
    probe.setDistance(5280);
    probe.setSpeedLimit(60);
    EXPECT_EQ(probe.getTimeLimit().getMilliseconds(), 60000);
    EXPECT_EQ(probe.speedText(30000), "120 mph");
    probe.setSpeedLimit(0);
    EXPECT_EQ(probe.getTimeLimit().getMilliseconds(), 0);

    // Lines at x = 80 and 260 of 320: a box stepping 20 px every 400 ms crosses the first at frame 2
    // and the second at frame 11, 3.6 s later.
    std::vector<Box> path;
    for (int k = 0; k < 13; ++k) path.push_back(Box(45 + 20 * k, 100, 10, 10));
    const struct { int limit; const char* text; } rows[] = {{50, "100 km/h"}, {150, nullptr}};
    for (const auto& r : rows) {
        Speed spy("speed", "");
        spy.setDistance(100);
        spy.setSpeedLimit(r.limit);
        spy.setSegments(Seg(0.25f, 0.f, 0.25f, 1.f), Seg(0.8125f, 0.f, 0.8125f, 1.f));
        spy.setMinAge(kttl::ElapsedTime(0));
        spy.firstLine().setMinAge(kttl::ElapsedTime(0));
        spy.secondLine().setMinAge(kttl::ElapsedTime(0));
        const auto events = runPath(spy, path);
        Counts expected(13, 0);
        if (r.text) {
            expected[11] = expected[12] = 1;
            EXPECT_EQ(events[11].front().getDescription(), r.text);
            // The speed event carries its frame; the inner crossings, read only for their times, do not.
            EXPECT_EQ(events[11].front().getFrames().size(), 1u);
            LineCrossingSpy bare("l", "");
            bare.setLineSegment(Seg(0.25f, 0.f, 0.25f, 1.f));
            bare.setMinAge(kttl::ElapsedTime(0));
            bare.setEventFrames(false);
            const auto crossings = runPath(bare, path);
            ASSERT_FALSE(crossings[2].empty());
            EXPECT_TRUE(crossings[2].front().getFrames().empty());
            Speed copy(spy);
            EXPECT_FALSE(copy.firstLine().getEventFrames() || copy.secondLine().getEventFrames());
        }
        EXPECT_EQ(eventCounts(events), expected) << r.limit;
    }
}

TEST(Speed, ReadersRunBesideTheLineCallbacks) {
    // The inner lines call back under their cache locks while a reader drains every cache: the
    // callbacks take no lock, so nothing waits on anything and the one speeding object is reported.
    Speed spy("speed", "");
    spy.setDistance(100);
    spy.setSpeedLimit(50);
    spy.setSegments(Seg(0.25f, 0.f, 0.25f, 1.f), Seg(0.8125f, 0.f, 0.8125f, 1.f));
    for (FrameEventSpy* s : {static_cast<FrameEventSpy*>(&spy), static_cast<FrameEventSpy*>(&spy.firstLine()),
                             static_cast<FrameEventSpy*>(&spy.secondLine())})
        s->setMinAge(kttl::ElapsedTime(0));
    std::atomic<bool> done{false};
    std::atomic<size_t> seen{0};
    std::thread reader([&] {
        while (!done) {
            std::list<Event> events;
            spy.firstLine().getEvents(events);
            spy.secondLine().getEvents(events);
            events.clear();
            spy.getEvents(events);
            seen += events.size();
        }
    });
    std::vector<Box> path;
    for (int k = 0; k < 13; ++k) path.push_back(Box(45 + 20 * k, 100, 10, 10));
    for (int round = 0; round < 20; ++round) {
        ProcessFrame frame;
        for (size_t k = 0; k < path.size(); ++k) {
            loadFrame(frame, int64_t(round * 100000 + k * 400), {track(unsigned(round + 1), path, k + 1, 400)});
            spy.spy(frame);
        }
    }
    done = true;
    reader.join();
    std::list<Event> rest;
    spy.getEvents(rest);
    EXPECT_GE(seen + rest.size(), 20u);
}
