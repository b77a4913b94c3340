// Activity: the four types over scripted frames, the qualifying conditions (distance rounding, track
// status, zones in fractions and pixels), merge-events and alarm-blobs.
#include "Activity.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "SpyScene.h"

namespace {

// Runs the spy on the frame; returns the events it hands out.
std::list<Event> spyOn(Activity& spy, ProcessFrame& frame) {
    std::list<Event> events;
    spy.spy(frame);
    spy.getEvents(events);
    return events;
}

// Runs one frame per count of confirmed objects (ids from 1, each in its own place unless they share
// one box) through the spy; returns the events each frame handed out.
std::vector<std::list<Event>> runCounts(Activity& spy, const std::vector<int>& counts, bool sameBox = false) {
    std::vector<std::list<Event>> out;
    ProcessFrame frame;
    int64_t ms = 0;
    for (int n : counts) {
        loadFrame(frame, ms += 40, {});
        for (int i = 0; i < n; ++i) {
            const Box b = sameBox ? Box(10, 10, 20, 20) : Box(10 + 30 * i, 10, 20, 20);
            frame.getObjects().addObject(mover(i + 1, b, b));
        }
        out.push_back(spyOn(spy, frame));
    }
    return out;
}

// Per frame: "-" when no event came out, else the object count of its one event.
std::vector<std::string> counts(const std::vector<std::list<Event>>& events) {
    std::vector<std::string> out;
    for (const auto& e : events)
        out.push_back(e.size() > 1 ? "several" : e.empty() ? "-" : e.front().getAttribute("object-count").c_str());
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
    EXPECT_EQ(counts(events), (std::vector<std::string>{"0", "-", "1", "-", "0"}));
    EXPECT_EQ(idsOf(events[2].front()), (std::set<int>{1}));
    // With alarm-blobs, objects sharing one box are one.
    Activity blobs("b", "", Activity::Delta, 1, 0);
    blobs.setAlarmBlobs(true);
    EXPECT_EQ(counts(runCounts(blobs, {2}, true)), std::vector<std::string>{"1"});
}

// One event per excess, updated while it lasts (start and frames of its first frame).
TEST(Activity, ThresholdKeepsOneEventPerExcess) {
    Activity spy("t", "", Activity::Threshold, 1, 0);
    const auto events = runCounts(spy, {0, 2, 3, 1, 2});
    ASSERT_EQ(counts(events), (std::vector<std::string>{"-", "2", "3", "-", "2"}));
    const Event &opened = events[1].front(), &updated = events[2].front();
    EXPECT_TRUE(opened.getFrames().size() == 1u && updated.getStart().second.getMilliseconds() == 80);
    EXPECT_TRUE(updated.getUID() == opened.getUID() && events[4].front().getUID() != opened.getUID());
}

TEST(Activity, NewObjectNeedsDistanceAgeHistoryAndAConfirmedTrack) {
    const Box origin(100, 100, 10, 10), far(200, 200, 10, 10);
    const struct { const char* what; Object object; bool raises; } cases[] = {
        {"moved (30, 40): 50", mover(1, origin, Box(130, 140, 10, 10)), false},
        {"moved (50, 7): 50.49 rounds to 50", mover(1, origin, Box(150, 107, 10, 10)), false},
        {"moved (36, 36): 50.91 rounds to 51", mover(1, origin, Box(136, 136, 10, 10)), true},
        {"track status 2", mover(1, origin, far, 3, 2000, 2), false},
        {"two history entries", mover(1, origin, far, 2), false},
        {"younger than min-age", mover(1, origin, far, 3, 999), false},
        {"exactly min-age", mover(1, origin, far, 3, 1000), true},
    };
    for (const auto& c : cases) {
        Activity spy("n", "", Activity::NewObject, 0, 50);
        ProcessFrame frame;
        loadFrame(frame, 0, {c.object});
        EXPECT_EQ(spyOn(spy, frame).size(), c.raises ? 1u : 0u) << c.what;
    }
}

TEST(Activity, ZonesInFractionsFollowTheFrameAndPixelZonesStay) {
    const ktml::Polygon2D<float> half{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}};
    const ktml::Polygon2D<float> pixels{{0, 0}, {1.5f, 0}, {1.5f, 300}, {0, 300}};
    // An object centred at (x, 100); x = 160 is on the edge; the pixel zone holds x < 1.5.
    const struct { ktml::Polygon2D<float> zone; int width, height, x; bool inside; } cases[] = {
        {half, 320, 240, 150, true}, {half, 320, 240, 160, true}, {half, 320, 240, 170, false},
        {half, 640, 480, 300, true}, {pixels, 320, 240, 1, true}, {pixels, 320, 240, 150, false}};
    for (const auto& c : cases) {
        Activity spy("z", "", Activity::Delta, 1, 0);
        spy.setZones({c.zone});
        ProcessFrame frame;
        const Box b(c.x - 5, 95, 10, 10);
        loadFrame(frame, 0, {mover(1, b, b)}, c.width, c.height);
        EXPECT_EQ(counts({spyOn(spy, frame)})[0], c.inside ? "1" : "0") << c.x << " in " << c.width;
    }
}

// Pending while the object is seen; once gone, one event with its last qualifying frame.
TEST(Activity, DeadObjectReportsOnceWithTheLastQualifyingFrame) {
    Activity spy("dead", "", Activity::DeadObject, 0, 10);
    ProcessFrame frame;
    const Object o = mover(4, Box(0, 0, 10, 10), Box(50, 50, 10, 10));
    for (int i = 5; i <= 9; ++i) {
        loadFrame(frame, i * 100, {o});
        EXPECT_TRUE(spyOn(spy, frame).empty() && spy.pendingCount() == 1u);
    }
    loadFrame(frame, 1000, {});
    std::list<Event> events = spyOn(spy, frame);
    loadFrame(frame, 1100, {});
    events.splice(events.end(), spyOn(spy, frame));
    ASSERT_TRUE(events.size() == 1u && events.front().getFrames().size() == 1u);
    EXPECT_EQ(idsOf(events.front()), (std::set<int>{4}));
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
        const std::list<Event> events = spyOn(spy, frame);
        ASSERT_EQ(events.size(), merge ? 1u : 2u);
        EXPECT_EQ(idsOf(events.back()), (merge ? std::set<int>{1, 2} : std::set<int>{2}));
        EXPECT_TRUE(!merge || events.front().getStop().second.getMilliseconds() == 40);
    }
}
