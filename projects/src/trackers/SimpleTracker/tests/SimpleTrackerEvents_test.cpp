// Frames to events: a NewObject activity spy over the whole frame raises one event for a walker that
// is old enough and has travelled far enough, and none for an object that stays put.
#include <gtest/gtest.h>

#include <set>

#include "Activity.h"
#include "EventOrigin.h"
#include "SimpleTracker.h"
#include "frame_harness.h"

TEST(SimpleTrackerEvents, NewObjectSpyRaisesOneEventPerMover) {
    FrameHarness h;
    SimpleTracker tracker(nullptr, 0, false);
    SimpleTracker::Params p;
    Activity spy("", "", Activity::NewObject, 0, 20);
    spy.setMinAge(kttl::ElapsedTime(1000));
    p.spies.push_back(EventSpyFactory(&spy));
    ASSERT_TRUE(tracker.setParameters(p)) << tracker.getLastError();

    // The model compares a pixel once its variance passed the floor: train on frames 20 levels apart.
    kt_image low = makeImage(160, 120, 1, 55), high = makeImage(160, 120, 1, 95), scene = makeImage(160, 120, 1, 75);
    ktsl::List<Event> events;
    std::set<uint32_t> uids;
    std::set<int> eventObjects, walkerIds, stillIds;
    for (int i = 0, t = 0; i < 250; ++i, t += 40) {
        events.clear();
        if (i < 150) {  // 6 s of empty street, then a walker at 25 px/s and a box that appears and stays
            h.load(i % 2 ? high : low, t);
            ASSERT_TRUE(tracker.process(h.frame(), false, events) && events.empty());
            continue;
        }
        std::memset(scene.data, 75, scene.size);
        paintBox(scene, i - 145, 30, 10, 24, 220);
        paintBox(scene, 120, 80, 12, 24, 220);
        h.load(scene, t);
        ASSERT_TRUE(tracker.process(h.frame(), false, events)) << tracker.getLastError();
        for (const Event& e : events) uids.insert(e.getUID()), e.getObjectIDs(kDefaultEventOrigin, eventObjects);
        ktml::BoundingBox<int> box;
        for (const auto& entry : h.frame().getObjects()) {
            if (!entry.second.newest(box)) continue;
            (box.y >= 60 ? stillIds : walkerIds).insert(static_cast<int>(entry.second.getId()));
        }
    }
    ASSERT_TRUE(!walkerIds.empty() && !stillIds.empty());
    EXPECT_EQ(uids.size(), 1u) << "one event, reported again as it is updated";
    // Its only object is the walker: the still object raised nothing.
    ASSERT_EQ(eventObjects.size(), 1u);
    EXPECT_TRUE(walkerIds.count(*eventObjects.begin()) == 1 && stillIds.count(*eventObjects.begin()) == 0);
    for (kt_image* image : {&low, &high, &scene}) kt_free_image(image);
}
