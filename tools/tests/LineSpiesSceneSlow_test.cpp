// The synthetic street through the whole tracker with a line at mid-frame and a rightward direction
// spy: checked against the scene's truth only where imperfect tracking cannot make it flaky.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "Coordinator.h"
#include "Direction.h"
#include "LineCrossingSpy.h"
#include "SimpleTracker.h"
#include "csdk_synthetic.h"
#include "csdk_truth.h"
#include "track_scoring.h"

namespace {

using csdk_standin::SyntheticScene;

constexpr int kWidth = 320, kHeight = 240;
constexpr double kSeconds = 50;
// A line event's object centre lies within this share of the width from the line: the centre has
// just crossed it, give or take the tracker's lag and box jitter.
constexpr double kLineSlack = 0.15;
// A truth mover counts as the event's object from this overlap on.
constexpr double kMatchIoU = 0.3;
// Horizontal truth motion (pixels over kLookAheadS) below which a mover counts as going left.
constexpr double kLookAheadS = 0.5;
constexpr double kLeftBelowPx = -2.0;

// The one truth mover that `box` (inclusive extents) overlaps by kMatchIoU or more, or -1 when it
// matches none or touches more than one (a box the tracker merged from passing movers says nothing
// about either's direction).
int matchTruth(const ktml::BoundingBox<int>& b, const std::vector<SyntheticScene::MoverBox>& truth) {
    const track_score::Box box{double(b.x), double(b.y), double(b.x) + b.width + 1, double(b.y) + b.height + 1};
    int best = -1, touched = 0;
    for (const auto& m : truth) {
        const double v = track_score::iou(box, {m.left, m.top, m.right, m.bottom});
        touched += v > 0;
        if (v >= kMatchIoU) best = m.id;
    }
    return touched == 1 ? best : -1;
}

}  // namespace

TEST(LineSpiesScene, LineAndDirectionOnTheSyntheticStreet) {
    SyntheticScene scene(false, false, 0);
    ASSERT_TRUE(scene.prepare(kWidth, kHeight));
    SimpleTracker tracker(nullptr, 0, false);
    SimpleTracker::Params p;
    LineCrossingSpy line("line", "");
    line.setLineSegment(ktml::LineSegment2D<float>(0.5f, 0.f, 0.5f, 1.f));
    Direction right("right", "", 0, 30, kttl::ElapsedTime(2000), 20);
    p.spies.push_back(EventSpyFactory(&line));
    p.spies.push_back(EventSpyFactory(&right));
    ASSERT_TRUE(tracker.setParameters(p)) << tracker.getLastError();

    std::vector<uint8_t> nv21(kWidth * kHeight * 3 / 2);
    ProcessFrame frame;
    kt_image colour{};
    ktsl::List<Event> events;
    std::vector<SyntheticScene::MoverBox> boxes, visible, later;
    std::set<uint32_t> seen;
    std::map<std::string, int> counts;
    std::set<int> crossingMovers;  // truth movers whose centre crossed mid-frame
    std::map<int, double> lastCentre;
    int lineChecked = 0, directionChecked = 0;
    const int64_t frameMs = int64_t(1000.0 / SyntheticScene::kSceneFps);
    const int64_t frames = int64_t(kSeconds * SyntheticScene::kSceneFps);
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / SyntheticScene::kSceneFps;
        scene.moverBoxes(t, boxes);
        ASSERT_EQ(scene.next(nv21.data()), csdk_standin::FrameSource::Result::Ok);
        csdk_standin::visibleMovers(boxes, kWidth, kHeight, visible);
        for (const auto& m : visible) {
            const double c = (m.left + m.right) / 2;
            auto it = lastCentre.find(m.id);
            if (it != lastCentre.end() && (it->second < kWidth / 2.0) != (c < kWidth / 2.0)) crossingMovers.insert(m.id);
            lastCentre[m.id] = c;
        }
        scene.moverBoxes(t + kLookAheadS, later);
        const int64_t position = i * frameMs;
        const bool useColour = Coordinator::loadFrame(frame, nv21.data(), kWidth, kHeight, true, colour,
                                                      kttl::TimeStamp(1700000000 + position / 1000, position % 1000),
                                                      kttl::ElapsedTime(position));
        events.clear();
        ASSERT_TRUE(tracker.process(frame, useColour, events)) << tracker.getLastError();
        for (const Event& e : events) {
            if (!seen.insert(e.getUID()).second) continue;  // judged when first raised
            const std::string type = e.getSpyType().c_str();
            ++counts[type];
            std::set<int> ids;
            e.getObjectIDs(kDefaultEventOrigin, ids);
            for (int id : ids) {
                const Object* o = frame.getObjects().findObject(static_cast<unsigned>(id));
                ktml::BoundingBox<int> b;
                if (!o || !o->newest(b)) continue;
                if (type == line.getTypeName().c_str()) {
                    ++lineChecked;
                    const double centre = b.x + b.width / 2.0;
                    EXPECT_NEAR(centre, kWidth / 2.0, kLineSlack * kWidth) << "line event at frame " << i;
                } else if (type == right.getTypeName().c_str()) {
                    const int mover = matchTruth(b, visible);
                    if (mover < 0 || size_t(mover) >= later.size() || size_t(mover) >= boxes.size()) continue;
                    ++directionChecked;
                    const double dx = (later[mover].left + later[mover].right - boxes[mover].left - boxes[mover].right) / 2;
                    EXPECT_GT(dx, kLeftBelowPx) << "direction event for leftward mover " << mover << " at frame " << i;
                }
            }
        }
    }
    kt_free_image(&colour);
    const int lineEvents = counts[line.getTypeName().c_str()];
    for (const auto& c : counts) std::printf("spy type=%s events=%d\n", c.first.c_str(), c.second);
    std::printf("movers crossing mid-frame=%zu line events checked=%d direction events checked=%d\n",
                crossingMovers.size(), lineChecked, directionChecked);
    ASSERT_FALSE(crossingMovers.empty()) << "the scene should send movers across mid-frame";
    EXPECT_GE(lineEvents, 1);
    EXPECT_GE(lineChecked, 1);
    EXPECT_GE(directionChecked, 1) << "no direction event could be told apart from merged movers";
}
