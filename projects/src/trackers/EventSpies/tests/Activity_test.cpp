// Activity: the four types over scripted frames, the qualifying conditions (distance rounding, track
// status, zones in fractions and pixels), merge-events and alarm-blobs.
#include "Activity.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "SpyScene.h"

namespace {

// `n` confirmed objects, ids from 1, each in its own place.
std::vector<Object> crowd(int n, bool sameBox = false) {
    std::vector<Object> out;
    for (int i = 0; i < n; ++i) {
        const Box b = sameBox ? Box(10, 10, 20, 20) : Box(10 + 30 * i, 10, 20, 20);
        out.push_back(mover(i + 1, b, b));
    }
    return out;
}

// Runs one frame per count through the spy; returns the events each frame handed out.
std::vector<std::list<Event>> runCounts(Activity& spy, const std::vector<int>& counts, bool sameBox = false) {
    std::vector<std::list<Event>> out;
    ProcessFrame frame;
    int64_t ms = 0;
    for (int n : counts) {
        loadFrame(frame, ms += 40, {});
        for (const Object& o : crowd(n, sameBox)) frame.getObjects().addObject(o);
        spy.spy(frame);
        out.emplace_back();
        spy.getEvents(out.back());
    }
    return out;
}

std::set<int> idsOf(const Event& e) {
    std::set<int> ids;
    e.getObjectIDs(EventSpy::defaultOrigin(), ids);
    return ids;
}

}  // namespace

TEST(Activity, DeltaReportsEveryChangeOfTheCount) {
    Activity spy("d", "", Activity::Delta, 1, 0);
    const auto events = runCounts(spy, {0, 0, 1, 1, 0});
    const std::vector<const char*> expected = {"0", nullptr, "1", nullptr, "0"};
    for (size_t i = 0; i < events.size(); ++i) {
        ASSERT_EQ(events[i].size(), expected[i] ? 1u : 0u) << "frame " << i + 1;
        if (expected[i]) {
            EXPECT_EQ(events[i].front().getAttribute("object-count"), expected[i]);
        }
    }
    EXPECT_EQ(idsOf(events[2].front()), (std::set<int>{1}));
    // With alarm-blobs, objects sharing one box are one.
    Activity blobs("b", "", Activity::Delta, 1, 0);
    blobs.setAlarmBlobs(true);
    EXPECT_EQ(runCounts(blobs, {2}, true)[0].front().getAttribute("object-count"), "1");
}

TEST(Activity, ThresholdKeepsOneEventPerExcess) {
    Activity spy("t", "", Activity::Threshold, 1, 0);
    const auto events = runCounts(spy, {0, 2, 3, 1, 2});
    ASSERT_EQ(events[0].size(), 0u);
    ASSERT_EQ(events[1].size(), 1u);
    ASSERT_EQ(events[2].size(), 1u);
    ASSERT_EQ(events[3].size(), 0u);
    ASSERT_EQ(events[4].size(), 1u);
    const uint32_t first = events[1].front().getUID();
    EXPECT_EQ(events[1].front().getFrames().size(), 1u);
    EXPECT_EQ(events[2].front().getUID(), first) << "updated, not new";
    EXPECT_EQ(events[2].front().getAttribute("object-count"), "3");
    EXPECT_NE(events[4].front().getUID(), first) << "a new excess opens a new event";
    EXPECT_EQ(events[2].front().getStart().second.getMilliseconds(), 80);
}

TEST(Activity, NewObjectNeedsDistanceAgeHistoryAndAConfirmedTrack) {
    const Box origin(100, 100, 10, 10);
    struct Case {
        const char* what;
        Object object;
        bool raises;
    } cases[] = {
        {"moved (30, 40): 50", mover(1, origin, Box(130, 140, 10, 10)), false},
        {"moved (50, 7): 50.49 rounds to 50", mover(1, origin, Box(150, 107, 10, 10)), false},
        {"moved (36, 36): 50.91 rounds to 51", mover(1, origin, Box(136, 136, 10, 10)), true},
        {"track status 2", mover(1, origin, Box(200, 200, 10, 10), 3, 2000, 2), false},
        {"two history entries", mover(1, origin, Box(200, 200, 10, 10), 2), false},
        {"younger than min-age", mover(1, origin, Box(200, 200, 10, 10), 3, 999), false},
        {"exactly min-age", mover(1, origin, Box(200, 200, 10, 10), 3, 1000), true},
    };
    for (const Case& c : cases) {
        Activity spy("n", "", Activity::NewObject, 0, 50);
        ProcessFrame frame;
        loadFrame(frame, 0, {c.object});
        spy.spy(frame);
        std::list<Event> events;
        spy.getEvents(events);
        EXPECT_EQ(events.size(), c.raises ? 1u : 0u) << c.what;
    }
}

TEST(Activity, ZonesInFractionsFollowTheFrameAndPixelZonesStay) {
    struct Case {
        ktml::Polygon2D<float> zone;
        int width, height, x;  // object centred at (x, 100)
        bool inside;
    } cases[] = {
        {{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}, 320, 240, 150, true},
        {{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}, 320, 240, 160, true},  // on the edge
        {{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}, 320, 240, 170, false},
        {{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}, 640, 480, 300, true},
        {{{0, 0}, {1.5f, 0}, {1.5f, 300}, {0, 300}}, 320, 240, 1, true},  // pixels: x < 1.5
        {{{0, 0}, {1.5f, 0}, {1.5f, 300}, {0, 300}}, 320, 240, 150, false},
    };
    for (const Case& c : cases) {
        Activity spy("z", "", Activity::Delta, 1, 0);
        spy.setZones({c.zone});
        ProcessFrame frame;
        const Box b(c.x - 5, 95, 10, 10);
        loadFrame(frame, 0, {mover(1, b, b)}, c.width, c.height);
        spy.spy(frame);
        std::list<Event> events;
        spy.getEvents(events);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events.front().getAttribute("object-count"), c.inside ? "1" : "0") << c.x << " in " << c.width;
    }
}

TEST(Activity, DeadObjectReportsOnceWithTheLastQualifyingFrame) {
    Activity spy("dead", "", Activity::DeadObject, 0, 10);
    ProcessFrame frame;
    const Object o = mover(4, Box(0, 0, 10, 10), Box(50, 50, 10, 10));
    for (int i = 5; i <= 9; ++i) {
        loadFrame(frame, i * 100, {o});
        spy.spy(frame);
        EXPECT_EQ(spy.pendingCount(), 1u);
    }
    std::list<Event> events;
    spy.getEvents(events);
    EXPECT_TRUE(events.empty());
    loadFrame(frame, 1000, {});
    spy.spy(frame);
    loadFrame(frame, 1100, {});
    spy.spy(frame);
    spy.getEvents(events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(idsOf(events.front()), (std::set<int>{4}));
    ASSERT_EQ(events.front().getFrames().size(), 1u);
    EXPECT_EQ(events.front().getFrames().front().getPosition().getMilliseconds(), 900);
    EXPECT_EQ(spy.pendingCount(), 0u);
}

TEST(Activity, MergeEventsGathersEveryObjectInOneEvent) {
    for (bool merge : {false, true}) {
        Activity spy("m", "", Activity::NewObject, 0, 10);
        spy.setMergeEvents(merge);
        ProcessFrame frame;
        loadFrame(frame, 0, {mover(1, Box(0, 0, 10, 10), Box(50, 0, 10, 10))});
        spy.spy(frame);
        loadFrame(frame, 40, {mover(1, Box(0, 0, 10, 10), Box(60, 0, 10, 10)),
                              mover(2, Box(0, 90, 10, 10), Box(50, 90, 10, 10))});
        spy.spy(frame);
        std::list<Event> events;
        spy.getEvents(events);
        if (merge) {
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(idsOf(events.front()), (std::set<int>{1, 2}));
            EXPECT_EQ(events.front().getStop().second.getMilliseconds(), 40);
        } else {
            ASSERT_EQ(events.size(), 2u);
            EXPECT_EQ(idsOf(events.back()), (std::set<int>{2}));
        }
    }
}
