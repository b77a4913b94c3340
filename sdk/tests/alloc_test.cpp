// A recorded clip reuses its decoder: no picture-sized allocation per frame. Every allocation of the
// process is counted. (The synthetic scene allocates nothing at all; the frame-loop test counts it.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../libraries/src/misc/tests/AllocCounter.h"
#include "clip_writer.h"
#include "csdk.h"

namespace {

// Opens the stand-in on `source` at 640x480; allocations made by `frames` refreshes after a warm-up.
alloc_counter::Counts countRefreshAllocations(const std::string& source, int frames, double& framesPerSecond) {
    csdk_settings = csdk_settings_t();
    csdk_settings.app_name = "Veltrano";
    csdk_settings.api_version = 2;
    setenv("CSDK_FPS", "0", 1);
    setenv("CSDK_RESOLUTIONS", "640x480", 1);
    setenv("CSDK_SOURCE", source.c_str(), 1);
    EXPECT_EQ(csdk_init(), 0);
    EXPECT_EQ(csdk_set_resolution(csdk.video, 640, 480), 0);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    EXPECT_NE(frame, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(csdk_refresh_vframe(frame), 0);
    const alloc_counter::Counts before = alloc_counter::now();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) EXPECT_EQ(csdk_refresh_vframe(frame), 0);
    framesPerSecond = frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const alloc_counter::Counts made = alloc_counter::now() - before;
    csdk_free_vframe(frame);
    csdk_deinit();
    return made;
}

}  // namespace

TEST(StandinAllocations, RecordedClipReusesItsDecoder) {
    if (!KT_ALLOC_COUNTING) GTEST_SKIP() << "allocation counting is off under sanitizers";
    char dir[] = "/tmp/csdk_alloc_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string clip = std::string(dir) + "/ramp.mkv";
    ASSERT_TRUE(testclip::writeRampClip(clip, 320, 240, 400));
    double fps = 0;
    const alloc_counter::Counts made = countRefreshAllocations(clip, 300, fps);
    // FFmpeg's demuxer and decoder make small bookkeeping allocations per packet that no caller can
    // avoid; what must not happen is a picture-sized buffer per frame (output frame, decoded picture,
    // scaler planes): those are reused or pooled.
    EXPECT_EQ(made.big, 0);
    printf("clip 320x240 -> 640x480: %.0f frames/s, %.1f small allocations per frame inside FFmpeg, %ld "
           "picture-sized\n", fps, made.all / 300.0, made.big);
    std::system((std::string("rm -rf ") + dir).c_str());
}
