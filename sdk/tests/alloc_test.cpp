// Steady-state frame delivery allocates nothing: every allocation of the process is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "clip_writer.h"
#include "csdk.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define COUNTING 0
#else
#define COUNTING 1
#endif

namespace {
std::atomic<long> g_allocations{0};
// Allocations big enough to be a picture buffer (a 176x144 NV21 frame is 38016 bytes).
std::atomic<long> g_bigAllocations{0};
const size_t kBig = 16384;
inline void count(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (n >= kBig) g_bigAllocations.fetch_add(1, std::memory_order_relaxed);
}
}

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
void* memalign(size_t alignment, size_t n) {
    count(n);
    return __libc_memalign(alignment, n);
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

void openSdk() {
    csdk_settings = csdk_settings_t();
    csdk_settings.app_name = "Veltrano";
    csdk_settings.api_version = 2;
    setenv("CSDK_FPS", "0", 1);
    setenv("CSDK_RESOLUTIONS", "640x480", 1);
}

// Allocations (all, and picture-sized) made by `frames` refreshes after a warm-up, and the rate.
long countRefreshAllocations(int frames, double& framesPerSecond, long* big = nullptr) {
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    EXPECT_NE(frame, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(csdk_refresh_vframe(frame), 0);
    const long before = g_allocations.load(), bigBefore = g_bigAllocations.load();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) EXPECT_EQ(csdk_refresh_vframe(frame), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long made = g_allocations.load() - before;
    framesPerSecond = frames / seconds;
    if (big != nullptr) *big = g_bigAllocations.load() - bigBefore;
    csdk_free_vframe(frame);
    return made;
}

}  // namespace

TEST(StandinAllocations, SyntheticSceneAllocatesNothingPerFrame) {
    if (!COUNTING) GTEST_SKIP() << "allocation counting is off under sanitizers";
    openSdk();
    setenv("CSDK_SOURCE", "synthetic:lightchange", 1);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 640, 480), 0);
    const long bigBefore = g_bigAllocations.load();
    double fps = 0;
    const long made = countRefreshAllocations(250, fps);
    EXPECT_GT(g_bigAllocations.load(), bigBefore) << "the counter must see the frame handle's pixel buffer";
    EXPECT_EQ(made, 0);
    printf("synthetic 640x480: %.0f frames/s, %.1f Mpixel/s, %ld allocations in 250 frames\n", fps,
           fps * 640 * 480 / 1e6, made);
    csdk_deinit();
}

TEST(StandinAllocations, RecordedClipReusesItsDecoder) {
    if (!COUNTING) GTEST_SKIP() << "allocation counting is off under sanitizers";
    char dir[] = "/tmp/csdk_alloc_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string clip = std::string(dir) + "/ramp.mkv";
    ASSERT_TRUE(testclip::writeClip(clip, 320, 240, 400, 25, [](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        testclip::rampPainter(i, y, ys, u, v, cs, 320, 240);
    }));
    openSdk();
    setenv("CSDK_SOURCE", clip.c_str(), 1);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 640, 480), 0);
    double fps = 0;
    long big = -1;
    const long made = countRefreshAllocations(300, fps, &big);
    // FFmpeg's demuxer and decoder make small bookkeeping allocations per packet that no caller can
    // avoid; what must not happen is a picture-sized buffer per frame (output frame, decoded picture,
    // scaler planes): those are reused or pooled.
    EXPECT_EQ(big, 0);
    printf("clip 320x240 -> 640x480: %.0f frames/s, %.1f small allocations per frame inside FFmpeg, %ld "
           "picture-sized\n",
           fps, made / 300.0, big);
    csdk_deinit();
    std::system((std::string("rm -rf ") + dir).c_str());
}
