// The built-in scene: repeatable, moving, and its night and lighting-change options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "csdk_synthetic.h"

using namespace csdk_standin;

namespace {

const int W = 320, H = 240;
const size_t kLuma = static_cast<size_t>(W) * H;
const size_t kBytes = kLuma * 3 / 2;

double meanLuma(const std::vector<uint8_t>& f) {
    double sum = 0;
    for (size_t i = 0; i < kLuma; ++i) sum += f[i];
    return sum / kLuma;
}

// Pixels whose luminance differs by more than the sensor noise can explain.
size_t changedPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t n = 0;
    for (size_t i = 0; i < kLuma; ++i) n += std::abs(int(a[i]) - int(b[i])) > 25;
    return n;
}

}  // namespace

TEST(SyntheticScene, RepeatableAndMoving) {
    SyntheticScene a(false, false, 0), b(false, false, 0);
    ASSERT_TRUE(a.prepare(W, H));
    ASSERT_TRUE(b.prepare(W, H));
    std::vector<uint8_t> fa(kBytes), fb(kBytes), later(kBytes);
    ASSERT_EQ(a.next(fa.data()), FrameSource::Result::Ok);
    ASSERT_EQ(b.next(fb.data()), FrameSource::Result::Ok);
    EXPECT_EQ(fa, fb);

    // One second on, the movers have moved: a few percent of the picture changed, not all of it.
    for (int i = 0; i < 25; ++i) ASSERT_EQ(a.next(later.data()), FrameSource::Result::Ok);
    const size_t changed = changedPixels(fa, later);
    EXPECT_GT(changed, kLuma / 100);
    EXPECT_LT(changed, kLuma / 4);

    // Consecutive frames differ by noise everywhere but keep their mean.
    std::vector<uint8_t> f1(kBytes), f2(kBytes);
    ASSERT_EQ(b.next(f1.data()), FrameSource::Result::Ok);
    ASSERT_EQ(b.next(f2.data()), FrameSource::Result::Ok);
    EXPECT_NE(f1, f2);
    EXPECT_NEAR(meanLuma(f1), meanLuma(f2), 2.0);

    // Day colours: some chroma is far from neutral.
    size_t coloured = 0;
    for (size_t i = kLuma; i < kBytes; ++i) coloured += std::abs(int(fa[i]) - 128) > 15;
    EXPECT_GT(coloured, (kBytes - kLuma) / 10);

    ASSERT_TRUE(a.rewind());
    EXPECT_EQ(a.frameIndex(), 0u);
    ASSERT_EQ(a.next(later.data()), FrameSource::Result::Ok);
    EXPECT_EQ(later, fa);
}

TEST(SyntheticScene, NightLightingAndLength) {
    SyntheticScene day(false, false, 0), night(true, false, 0);
    ASSERT_TRUE(day.prepare(W, H));
    ASSERT_TRUE(night.prepare(W, H));
    std::vector<uint8_t> d(kBytes), n(kBytes);
    ASSERT_EQ(day.next(d.data()), FrameSource::Result::Ok);
    ASSERT_EQ(night.next(n.data()), FrameSource::Result::Ok);
    EXPECT_LT(meanLuma(n), meanLuma(d) * 0.5);
    for (size_t i = kLuma; i < kBytes; ++i) ASSERT_EQ(n[i], 128) << "night chroma must be neutral";

    // The light drops between 8 s and 14 s of every 20 s cycle, and nowhere else.
    SyntheticScene light(false, true, 0);
    const struct {
        double seconds;
        double gain;
    } steps[] = {{0, 1.0}, {7.96, 1.0}, {8.0, SyntheticScene::kDimGain}, {13.96, SyntheticScene::kDimGain},
                 {14.0, 1.0}, {28.0, SyntheticScene::kDimGain}};
    for (const auto& s : steps) EXPECT_DOUBLE_EQ(light.gainAt(s.seconds), s.gain) << s.seconds;
    EXPECT_DOUBLE_EQ(day.gainAt(9.0), 1.0);
    ASSERT_TRUE(light.prepare(W, H));
    std::vector<uint8_t> frame(kBytes), bright(kBytes);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(light.next(frame.data()), FrameSource::Result::Ok);  // 0..7.96 s
    bright = frame;
    ASSERT_EQ(light.next(frame.data()), FrameSource::Result::Ok);  // 8.0 s
    EXPECT_LT(meanLuma(frame), meanLuma(bright) * 0.6);

    SyntheticScene shortScene(false, false, 3);
    ASSERT_TRUE(shortScene.prepare(W, H));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(shortScene.next(frame.data()), FrameSource::Result::Ok);
    EXPECT_EQ(shortScene.next(frame.data()), FrameSource::Result::End);
    ASSERT_TRUE(shortScene.rewind());
    EXPECT_EQ(shortScene.next(frame.data()), FrameSource::Result::Ok);

    // Sizes the scene cannot serve as NV21, and rendering before a size was set.
    SyntheticScene unsized(false, false, 0);
    EXPECT_EQ(unsized.next(frame.data()), FrameSource::Result::Error);
    EXPECT_FALSE(unsized.prepare(321, 240));
    EXPECT_FALSE(unsized.prepare(0, 0));
    EXPECT_TRUE(unsized.prepare(2, 2));
}
