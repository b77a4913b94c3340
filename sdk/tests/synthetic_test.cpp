// The built-in scene: repeatable, moving, and its night and lighting-change options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "csdk_synthetic.h"
#include "csdk_truth.h"

using namespace csdk_standin;

namespace {

const int W = 320, H = 240;
const size_t kLuma = static_cast<size_t>(W) * H;
const size_t kBytes = kLuma * 3 / 2;
using Frame = std::vector<uint8_t>;

// The scene's next frame (the test fails when there is none).
Frame next(SyntheticScene& scene) {
    Frame f(kBytes);
    EXPECT_EQ(scene.next(f.data()), FrameSource::Result::Ok);
    return f;
}

double meanLuma(const Frame& f) {
    double sum = 0;
    for (size_t i = 0; i < kLuma; ++i) sum += f[i];
    return sum / kLuma;
}

}  // namespace

TEST(SyntheticScene, RepeatableAndMoving) {
    SyntheticScene a(false, false, 0), b(false, false, 0);
    ASSERT_TRUE(a.prepare(W, H));
    ASSERT_TRUE(b.prepare(W, H));
    const Frame first = next(a);
    EXPECT_EQ(next(b), first);

    // One second on, the movers have moved: a few percent of the picture changed beyond the sensor
    // noise, not all of it.
    Frame later;
    for (int i = 0; i < 25; ++i) later = next(a);
    size_t changed = 0;
    for (size_t i = 0; i < kLuma; ++i) changed += std::abs(int(first[i]) - int(later[i])) > 25;
    EXPECT_GT(changed, kLuma / 100);
    EXPECT_LT(changed, kLuma / 4);

    // Consecutive frames differ by noise everywhere but keep their mean.
    const Frame f1 = next(b), f2 = next(b);
    EXPECT_NE(f1, f2);
    EXPECT_NEAR(meanLuma(f1), meanLuma(f2), 2.0);

    // Day colours: some chroma is far from neutral.
    size_t coloured = 0;
    for (size_t i = kLuma; i < kBytes; ++i) coloured += std::abs(int(first[i]) - 128) > 15;
    EXPECT_GT(coloured, (kBytes - kLuma) / 10);

    ASSERT_TRUE(a.rewind());
    EXPECT_EQ(a.frameIndex(), 0u);
    EXPECT_EQ(next(a), first);
}

TEST(SyntheticScene, NightLightingAndLength) {
    SyntheticScene day(false, false, 0), night(true, false, 0);
    ASSERT_TRUE(day.prepare(W, H));
    ASSERT_TRUE(night.prepare(W, H));
    const Frame n = next(night);
    EXPECT_LT(meanLuma(n), meanLuma(next(day)) * 0.5);
    EXPECT_EQ(Frame(n.begin() + kLuma, n.end()), Frame(kBytes - kLuma, 128)) << "night chroma must be neutral";

    // The light drops between 8 s and 14 s of every 20 s cycle, and nowhere else.
    SyntheticScene light(false, true, 0);
    const double dim = SyntheticScene::kDimGain;
    const std::pair<double, double> steps[] = {{0, 1.0}, {7.96, 1.0}, {8.0, dim}, {13.96, dim}, {14.0, 1.0}, {28.0, dim}};
    for (const auto& s : steps) EXPECT_DOUBLE_EQ(light.gainAt(s.first), s.second) << s.first;
    EXPECT_DOUBLE_EQ(day.gainAt(9.0), 1.0);
    ASSERT_TRUE(light.prepare(W, H));
    Frame bright;
    for (int i = 0; i < 200; ++i) bright = next(light);  // 0..7.96 s
    EXPECT_LT(meanLuma(next(light)), meanLuma(bright) * 0.6);  // 8.0 s

    Frame frame(kBytes);
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

TEST(SyntheticScene, TruthLinesReadBack) {
    // Every line the stand-in writes reads back to the same movers, to the tenth of a pixel written.
    csdk_standin::SyntheticScene scene(false, false, 0);
    ASSERT_TRUE(scene.prepare(320, 240));
    std::vector<csdk_standin::SyntheticScene::MoverBox> boxes, visible, read;
    int64_t frame = -1;
    for (int i = 0; i < 500; i += 7) {
        scene.moverBoxes(i / csdk_standin::SyntheticScene::kSceneFps, boxes);
        csdk_standin::visibleMovers(boxes, 320, 240, visible);
        ASSERT_TRUE(csdk_standin::parseTruthLine(csdk_standin::truthLine(uint64_t(i), visible), frame, read, 100)) << i;
        ASSERT_EQ(frame, i);
        ASSERT_EQ(read.size(), visible.size());
        for (size_t k = 0; k < read.size(); ++k) {
            EXPECT_TRUE(read[k].id == visible[k].id && read[k].person == visible[k].person) << i;
            EXPECT_NEAR(read[k].left, visible[k].left, 0.05);
            EXPECT_NEAR(read[k].bottom, visible[k].bottom, 0.05);
        }
    }
    // Refused: a missing coordinate, a non-number, a fractional frame, an id no int holds, more
    // movers than allowed, an unclosed list; accepted: blanks and an empty list.
    const struct {
        const char* line;
        bool ok;
    } rows[] = {
        {R"({"frame":0,"movers":[{"id":0,"class":"person","box":[1,2,3]}]})", false},
        {R"({"frame":0,"movers":[{"id":0,"class":"person","box":[1,2,3,nan]}]})", false},
        {R"({"frame":1.5,"movers":[]})", false},
        {R"({"frame":0,"movers":[{"id":33333333333333333333,"class":"p","box":[1,2,3,4]}]})", false},
        {R"({"frame":0,"movers":[{"id":-1,"class":"p","box":[1,2,3,4]}]})", false},
        {R"({"frame":2,"movers":[{"id":0,"class":"car","box":[1,2,3,4]},{"id":1,"class":"car","box":[1,2,3,4]}]})", false},
        {R"({"frame":2,"movers":[{"id":0,"class":"car","box":[1,2,3,4]})", false},
        {R"({"frame": 3, "movers":[ {"id":0, "class":"car", "box":[1, 2, 3, 4]} ]})", true},
        {R"({"frame":4,"movers":[]})", true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(csdk_standin::parseTruthLine(r.line, frame, read, 1), r.ok) << r.line;
    EXPECT_TRUE(read.empty() && frame == 4);
}
