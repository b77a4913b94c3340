// The frame loop's steady state: no allocation at all per frame, on the colour and the gray path.
// The loop runs twice, over a shorter and a longer synthetic clip, both long enough for every stage
// and image to have been used once; the difference is what the extra frames cost.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../libraries/src/misc/tests/AllocCounter.h"
#include "Coordinator.h"
#include "capture_logger.h"

namespace {

// Allocations made while one loop runs over `frames` synthetic frames of `size`.
alloc_counter::Counts runLoop(const char* size, const char* dayNight, int frames, uint64_t& colourFrames,
                              const char* scene) {
    setenv("CSDK_RESOLUTIONS", size, 1);
    setenv("CSDK_DAYNIGHT", dayNight, 1);
    setenv("CSDK_SOURCE", (std::string("synthetic:") + scene + "frames=" + std::to_string(frames)).c_str(), 1);
    setenv("CSDK_AT_END", "stop", 1);
    setenv("CSDK_FPS", "0", 1);
    Coordinator::fillSdkSettings();
    CaptureLogger logger;
    Coordinator coordinator(0, logger, "");
    EXPECT_TRUE(coordinator.initialize(ktvl::Resolution(0, 0)));
    logger.flush(5000);
    const alloc_counter::Counts before = alloc_counter::now();
    EXPECT_EQ(coordinator.process(SimpleTracker::Params()), Coordinator::kStopped);
    // The loop's last lines are written by the logger thread; wait for them so both runs count them.
    logger.flush(5000);
    colourFrames = coordinator.getTracker().getColourFrames();
    return alloc_counter::now() - before;
}

}  // namespace

TEST(FrameLoop, NothingAllocatedPerFrame) {
    if (!KT_ALLOC_COUNTING) GTEST_SKIP() << "allocation counting is off under sanitizers";
    struct Case {
        const char* size;
        const char* dayNight;
        bool colour;
        double moverAllocsPerFrame;  // bound with movers (about a fifth of it measured)
    };
    // Under an emulator the large case runs at 320x240: the same paths at a quarter of the pixels.
    const char* const large = KT_TEST_EMULATOR[0] != '\0' ? "320x240" : "640x480";
    const Case cases[] = {{"176x144", "day", true, 3}, {"176x144", "night", false, 3}, {large, "day", false, 60}};
    // The empty street: frames without blobs allocate nothing at all. With movers, what remains is the
    // objects' histories growing and their merged-id lists (printed); the published copies reuse the
    // frame's nodes, so the count stays far below one per object and frame.
    for (const char* scene : {"empty:", ""}) {
        for (const Case& c : cases) {
            uint64_t colourShort = 0, colourLong = 0;
            // A first run fills the process-wide pool of blob records, which both measured runs share.
            runLoop(c.size, c.dayNight, 300, colourLong, scene);
            const alloc_counter::Counts shortRun = runLoop(c.size, c.dayNight, 100, colourShort, scene);
            const alloc_counter::Counts extra = runLoop(c.size, c.dayNight, 300, colourLong, scene) - shortRun;
            const std::string what = std::string(c.size) + " " + c.dayNight + " " + (*scene ? "empty" : "movers");
            EXPECT_EQ(colourLong, c.colour ? 300u : 0u) << what;
            EXPECT_GT(shortRun.big, 0) << "the counter must see the loop's own picture buffers";
            if (*scene) {
                EXPECT_EQ(extra.big, 0) << what;
                EXPECT_EQ(extra.all, 0) << what;
            } else {
                EXPECT_LT(extra.all / 200.0, c.moverAllocsPerFrame) << what;
            }
            printf("%s: %.2f allocations per frame, %ld picture-sized per 200 frames\n", what.c_str(), extra.all / 200.0,
                   extra.big);
        }
    }
}
