// The object tracker's frame step: interfaces, confirmation, scaling, reset, resurrection.
#include <gtest/gtest.h>

#include "ObjectTracker.h"
#include "ktpl_InterfaceIds.h"
#include "tracker_steps.h"

namespace {

const int64_t kFrameMs = 40;

// Stream positions of the hand-made histories start here (a zero time would count as no birth time).
const int64_t kBaseMs = 1000000;
kttl::TimeStamp at(int64_t ms) { return kttl::TimeStamp((kBaseMs + ms) / 1000, (kBaseMs + ms) % 1000); }
kttl::ElapsedTime pos(int64_t ms) { return kttl::ElapsedTime(kBaseMs + ms); }

ktml::ColorHistogram histogram(uint32_t first, uint32_t second) {
    ktml::ColorHistogram h;
    h.incrementBin(0, first);
    if (second) h.incrementBin(1, second);
    return h;
}

ObjectTrackerParams resurrecting() {
    ObjectTrackerParams p;
    p.resurrectionWindow = kttl::ElapsedTime(15000);
    p.resurrectionDistance = 25;
    p.resurrectionConfidence = 0.6;
    return p;
}

}  // namespace

TEST(ObjectTracker, AnswersBothInterfacesWithItsOwnParts) {
    ObjectTracker tracker;
    ktpl::Plugin* part = nullptr;
    ASSERT_TRUE(tracker.supports("{2568adee-b4f4-4db1-9282-9823c1cc390c}", &part));
    EXPECT_EQ(part, static_cast<ktpl::Plugin*>(static_cast<Tracker*>(&tracker)));
    ASSERT_TRUE(tracker.supports(ktpl::iid::VideoProcess, &part));
    EXPECT_EQ(part, static_cast<ktpl::Plugin*>(static_cast<VideoProcess*>(&tracker)));
    EXPECT_FALSE(tracker.supports(ktpl::iid::EventDetection, &part));
}

// A blob below 0.5 confidence keeps its object for the invalid window (10 s), which is dropped after.
TEST(ObjectTracker, UnconfirmedObjectsLastTheInvalidWindow) {
    FrameHarness h;
    ObjectTracker tracker;
    ASSERT_TRUE(tracker.setParameters(ObjectTrackerParams()));
    kt_image image = makeImage(160, 120, 1, 60);
    int64_t t = 0;
    for (; t < 1000; t += kFrameMs) ASSERT_TRUE(trackStep(h, tracker, image, t, {{60, 40, 20, 30, 1.0f}}));
    const int64_t lastConfident = t - kFrameMs;
    for (; t <= lastConfident + 10000; t += kFrameMs) ASSERT_TRUE(trackStep(h, tracker, image, t, {{60, 40, 20, 30, 0.0f}}));
    ASSERT_EQ(h.frame().getObjects().size(), 1u);
    EXPECT_EQ(h.frame().getObjects().begin()->second.getTrackStatus(), 3);
    ASSERT_TRUE(trackStep(h, tracker, image, t, {{60, 40, 20, 30, 0.0f}}));
    EXPECT_TRUE(h.frame().getObjects().empty());
    kt_free_image(&image);
}

// Boxes of a frame processed at scale 0.5 are published at the native size; flag 0x100 starts afresh.
TEST(ObjectTracker, ScaledBoxesAndTheResetFlag) {
    FrameHarness h;
    ObjectTracker tracker;
    ASSERT_TRUE(tracker.setParameters(ObjectTrackerParams()));
    kt_image image = makeImage(160, 120, 1, 60);
    for (int64_t t = 0; t < 200; t += kFrameMs) {
        h.load(image, t);
        h.frame().setScale(0.5);
        h.frame().setImage("Native-Scaled", image, 2);
        h.frame().addUntracked(ktml::BoundingBox<int>(10, 20, 30, 40), "Moving", 1.0f);
        ASSERT_TRUE(tracker.processFrame(h.frame()));
    }
    ASSERT_EQ(h.frame().getObjects().size(), 1u);
    const Object& scaled = h.frame().getObjects().begin()->second;
    ktml::BoundingBox<int> box;
    ASSERT_TRUE(scaled.newest(box));
    EXPECT_EQ(box, ktml::BoundingBox<int>(20, 40, 60, 80));
    const uint32_t firstId = scaled.getId();

    ASSERT_TRUE(trackStep(h, tracker, image, 200, {{10, 20, 30, 40, 1.0f}}, ObjectTracker::kResetFlag));
    ASSERT_EQ(h.frame().getObjects().size(), 1u);
    const Object& fresh = h.frame().getObjects().begin()->second;
    EXPECT_GT(fresh.getId(), firstId);
    EXPECT_EQ(fresh.historySize(), 1u);
    kt_free_image(&image);
}

// An object removed after 3 s of life is parked; a young object of the same state starting close by
// with a similar enough colour takes its identity back, once it is 0.5 s to 5 s old.
TEST(ObjectTracker, Resurrection) {
    const struct {
        uint32_t same;   // of 10 pixels in the parked object's only bin: similarity same / 10
        int64_t ageMs;   // of the new object
        int offset;      // px between the new object's first centre and the parked one's last
        bool resurrects;
    } cases[] = {
        {7, 1000, 20, true},  {6, 1000, 20, false}, {7, 400, 20, false}, {7, 500, 20, true},
        {7, 5000, 20, true},  {7, 5040, 20, false}, {7, 1000, 25, false},
    };
    for (const auto& c : cases) {
        ObjectTracker tracker;
        ASSERT_TRUE(tracker.setParameters(resurrecting()));
        ObjectMap living;
        Object old("Moving", kttl::ElapsedTime(15000));
        old.setId(3);
        old.setAttribute("GUID", "old-guid");
        old.setHistogram(histogram(10, 0));
        old.insert(ktml::BoundingBox<int>(100, 100, 20, 20), {}, at(0));
        old.insert(ktml::BoundingBox<int>(100, 100, 20, 20), {}, at(3000));
        living.addObject(old);
        tracker.cleanObjects(living, pos(3000));  // unconfirmed: purged and parked
        ASSERT_TRUE(living.empty());
        ASSERT_EQ(tracker.limboSize(), 1u);

        Object young("Moving", kttl::ElapsedTime(15000));
        young.setId(7);
        young.setTrackStatus(3);
        young.setHistogram(histogram(c.same, 10 - c.same));
        young.insert(ktml::BoundingBox<int>(100 + c.offset, 100, 20, 20), {}, at(5000));
        young.insert(ktml::BoundingBox<int>(100 + c.offset, 100, 20, 20), {}, at(5000 + c.ageMs));
        living.addObject(young);
        tracker.resurrectObjects(living, pos(5000 + c.ageMs));
        ASSERT_EQ(living.size(), 1u);
        const Object& now = living.begin()->second;
        EXPECT_EQ(now.getId(), c.resurrects ? 3u : 7u) << c.same << " " << c.ageMs << " " << c.offset;
        EXPECT_EQ(now.getTrackStatus(), c.resurrects ? 4 : 3);
        EXPECT_EQ(tracker.limboSize(), c.resurrects ? 0u : 1u);
        if (c.resurrects) {
            EXPECT_EQ(now.getAttribute("GUID"), "old-guid");
            EXPECT_EQ(now.historySize(), 4u);  // the old track merged in
            EXPECT_EQ(now.getBirthTime(), at(0));
        }
    }
}

// Resurrection is off by default: purged objects are not parked.
TEST(ObjectTracker, DefaultsParkNothing) {
    ObjectTracker tracker;
    ASSERT_TRUE(tracker.setParameters(ObjectTrackerParams()));
    EXPECT_FALSE(tracker.isResurrectionAllowed());
    ObjectMap living;
    Object old("Moving", kttl::ElapsedTime(15000));
    old.setId(3);
    old.insert(ktml::BoundingBox<int>(100, 100, 20, 20), {}, at(0));
    old.insert(ktml::BoundingBox<int>(100, 100, 20, 20), {}, at(3000));
    living.addObject(old);
    tracker.cleanObjects(living, pos(3000));
    EXPECT_TRUE(living.empty());
    EXPECT_EQ(tracker.limboSize(), 0u);
}
