// The frame loop's steady state: no allocation at all per frame, on the colour and the gray path.
// Every allocation of the process is counted; the loop runs twice, over a short and a long synthetic
// clip, and the difference is what the extra frames cost.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Coordinator.h"
#include "capture_logger.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define COUNTING 0
#else
#define COUNTING 1
#endif

namespace {
std::atomic<long> g_all{0};
std::atomic<long> g_big{0};
// A 176x144 gray frame is 25344 bytes; nothing per frame may come near a picture buffer.
const size_t kBig = 16384;
inline void count(size_t n) {
    g_all.fetch_add(1, std::memory_order_relaxed);
    if (n >= kBig) g_big.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if COUNTING
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
void* malloc(size_t n) {
    count(n);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
    count(n * m);
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
    count(n);
    return __libc_realloc(p, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    count(n);
    void* p = __libc_memalign(alignment, n);
    if (p == nullptr) return 12;
    *out = p;
    return 0;
}
void* aligned_alloc(size_t alignment, size_t n) {
    count(n);
    return __libc_memalign(alignment, n);
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

struct Counts {
    long all, big;
};

// Allocations made while one loop runs over `frames` synthetic frames of `size`.
Counts runLoop(const char* size, const char* dayNight, int frames, uint64_t& colourFrames) {
    setenv("CSDK_RESOLUTIONS", size, 1);
    setenv("CSDK_DAYNIGHT", dayNight, 1);
    setenv("CSDK_SOURCE", ("synthetic:frames=" + std::to_string(frames)).c_str(), 1);
    setenv("CSDK_AT_END", "stop", 1);
    setenv("CSDK_FPS", "0", 1);
    Coordinator::fillSdkSettings();
    CaptureLogger logger;
    Coordinator coordinator(0, logger, "");
    EXPECT_TRUE(coordinator.initialize(ktvl::Resolution(0, 0)));
    logger.flush(5000);
    const long all = g_all.load(), big = g_big.load();
    EXPECT_EQ(coordinator.process(SimpleTracker::Params()), Coordinator::kStopped);
    // The loop's last lines are written by the logger thread; wait for them so both runs count them.
    logger.flush(5000);
    const Counts made{g_all.load() - all, g_big.load() - big};
    colourFrames = coordinator.getTracker().getColourFrames();
    return made;
}

}  // namespace

TEST(FrameLoop, NothingAllocatedPerFrame) {
    if (!COUNTING) GTEST_SKIP() << "allocation counting is off under sanitizers";
    struct Case {
        const char* size;
        const char* dayNight;
        bool colour;
    };
    const Case cases[] = {{"176x144", "day", true}, {"176x144", "night", false}, {"640x480", "day", false}};
    for (const Case& c : cases) {
        uint64_t colourShort = 0, colourLong = 0;
        const Counts shortRun = runLoop(c.size, c.dayNight, 20, colourShort);
        const Counts longRun = runLoop(c.size, c.dayNight, 220, colourLong);
        EXPECT_EQ(colourLong, c.colour ? 220u : 0u) << c.size << " " << c.dayNight;
        EXPECT_GT(shortRun.big, 0) << "the counter must see the loop's own picture buffers";
        EXPECT_EQ(longRun.big - shortRun.big, 0) << c.size << " " << c.dayNight;
        EXPECT_EQ(longRun.all - shortRun.all, 0) << c.size << " " << c.dayNight;
        printf("%s %s (%s): %.2f small allocations per frame, %ld picture-sized per 200 frames\n", c.size,
               c.dayNight, c.colour ? "colour" : "gray", (longRun.all - shortRun.all) / 200.0, longRun.big - shortRun.big);
    }
}
