// The Tracker operations called from another thread while frames are processed (run under TSan too).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tracker_steps.h"

// Removed objects never come back under their id once the frame after the removal has run.
TEST(ObjectTrackerThreads, ReadAndRemoveWhileFramesRun) {
    FrameHarness h;
    ObjectTracker tracker;
    ASSERT_TRUE(tracker.setParameters(ObjectTrackerParams()));
    kt_image image = makeImage(200, 150, 1, 60);
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::pair<uint32_t, int>> removed;  // id, frames done when it was removed
    std::thread other([&] {
        ObjectMap seen;
        while (!stop.load()) {
            seen.clear();
            if (!tracker.getObjects(seen) || seen.empty()) continue;
            const uint32_t id = static_cast<uint32_t>(seen.rbegin()->first.get());
            tracker.lock(false);
            if (tracker.getNextID() > id && tracker.removeObject(id)) {
                std::lock_guard<std::mutex> guard(mutex);
                removed.emplace_back(id, done.load());
            }
            std::this_thread::yield();
        }
    });
    std::vector<ObjectMap> published;
    for (int i = 0; i < 300; ++i) {
        const int x = 10 + (i % 100);
        ASSERT_TRUE(trackStep(h, tracker, image, i * 40, {{x, 20, 20, 30, 1.0f}, {150 - x / 2, 90, 25, 25, 1.0f}}));
        published.push_back(h.frame().getObjects());
        done.fetch_add(1);
    }
    stop.store(true);
    other.join();
    ASSERT_FALSE(removed.empty());
    for (const auto& r : removed) {
        for (size_t f = static_cast<size_t>(r.second) + 1; f < published.size(); ++f)
            EXPECT_EQ(published[f].findObject(r.first), nullptr) << "id " << r.first << " frame " << f;
    }
    kt_free_image(&image);
}
