// The pipeline on the stand-in's synthetic street scene: blobs appear where the scene's movers are.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Coordinator.h"
#include "SimpleTracker.h"
#include "csdk_synthetic.h"
#include "frame_harness.h"

namespace {

struct Score {
    int moverFrames = 0;  // (frame, mover fully in view) pairs
    int moverFound = 0;   // ... with a detection overlapping the mover
    int detections = 0;
    int detectionsOnMover = 0;
};

bool overlaps(const Detection& d, const csdk_standin::SyntheticScene::MoverBox& m, double margin) {
    return d.x <= m.right + margin && d.x + d.width + 1 >= m.left - margin && d.y <= m.bottom + margin &&
           d.y + d.height + 1 >= m.top - margin;
}

Score runScene(bool night, uint32_t width, uint32_t height, int seconds) {
    csdk_standin::SyntheticScene scene(night, false, 0);
    EXPECT_TRUE(scene.prepare(static_cast<int>(width), static_cast<int>(height)));
    std::vector<uint8_t> nv21(width * height * 3 / 2);
    SimpleTracker tracker(nullptr, 0, false);
    EXPECT_TRUE(tracker.setParameters(SimpleTracker::Params()));
    FrameHarness h;
    kt_image colour{};
    std::vector<csdk_standin::SyntheticScene::MoverBox> movers;
    Score score;
    const int frames = seconds * 25;
    for (int i = 0; i < frames; ++i) {
        const double t = i / csdk_standin::SyntheticScene::kSceneFps;
        scene.moverBoxes(t, movers);
        EXPECT_EQ(scene.next(nv21.data()), csdk_standin::FrameSource::Result::Ok);
        const int64_t position = i * 40;
        h.clock().advance(40);
        Coordinator::loadFrame(h.frame(), nv21.data(), width, height, !night, colour,
                               kttl::TimeStamp(1700000000 + i / 25, (i % 25) * 40),
                               kttl::ElapsedTime(position));
        const FrameResult r =
            h.run([&](ProcessFrame& f) { return tracker.process(f, colour.data != nullptr); });
        EXPECT_TRUE(r.ok) << tracker.getLastError();
        if (position < 6000)
            continue;  // the model is compared from 5 s on
        for (const auto& m : movers) {
            if (m.left < 2 || m.top < 2 || m.right > width - 2 || m.bottom > height - 2)
                continue;
            ++score.moverFrames;
            score.moverFound += std::any_of(r.moving.begin(), r.moving.end(),
                                            [&](const Detection& d) { return overlaps(d, m, 0); });
        }
        for (const Detection& d : r.moving) {
            ++score.detections;
            score.detectionsOnMover +=
                std::any_of(movers.begin(), movers.end(), [&](const auto& m) { return overlaps(d, m, 8); });
        }
    }
    kt_free_image(&colour);
    return score;
}

}  // namespace

TEST(Pipeline, BlobsWhereTheSyntheticMoversAre) {
    for (bool night : {false, true}) {
        const Score s = runScene(night, 320, 240, 20);
        const double recall = static_cast<double>(s.moverFound) / std::max(1, s.moverFrames);
        const double precision = static_cast<double>(s.detectionsOnMover) / std::max(1, s.detections);
        std::printf("%s: %d mover-frames, found %.3f; %d detections, on a mover %.3f\n",
                    night ? "night" : "day", s.moverFrames, recall, s.detections, precision);
        EXPECT_GT(s.moverFrames, 500);
        // Without a tracker nothing keeps the model from slowly learning a slow walker: most, not all,
        // mover-frames have a blob. Almost every blob lies on a mover.
        EXPECT_GE(recall, 0.6) << (night ? "night" : "day");
        EXPECT_GE(precision, 0.9) << (night ? "night" : "day");
    }
}
