// Pixels to zone events: rectangles on a textured street that appear, move, stop and vanish, run
// through the whole tracker with a crowd, an idle or an object-taken spy.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

#include "CrowdDensity.h"
#include "Idle.h"
#include "ObjectTakenSpy.h"
#include "SimpleTracker.h"
#include "frame_harness.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;
constexpr int kFrameMs = 40;
// Empty street first, so the background model has learnt every pixel before the script starts.
constexpr int kTrainingFrames = 150;

// A bright rectangle on screen from frame `from` to `to` (script frames, exclusive end), moving
// (vx, vy) pixels per frame until frame `stopAt`, then standing.
struct Rect {
    int from, to;
    int x, y, w, h;
    int vx, vy;
    int stopAt;
};

// The asset of the object-taken rows: a striped block painted into the street until `takenAt`.
struct Asset {
    int x, y, w, h;
    int takenAt;  // script frame; a large value keeps it for good
};

constexpr int kNever = 1 << 30;

// The fixed street texture: per-pixel noise, the same on every run.
kt_image streetTexture() {
    kt_image image = makeImage(kWidth, kHeight, 1, 0);
    std::mt19937 rng(11);
    for (size_t i = 0; i < image.size; ++i) image.data[i] = static_cast<unsigned char>(70 + rng() % 24);
    return image;
}

void paintAsset(kt_image& image, const Asset& a) {
    for (int r = a.y; r < a.y + a.h; ++r)
        for (int c = a.x; c < a.x + a.w; ++c) image.data[r * kWidth + c] = ((c / 4) % 2) ? 240 : 20;
}

struct Outcome {
    std::set<uint32_t> uids;      // distinct events
    std::vector<int> firstFrame;  // script frame of each new event
};

// Runs `spy` through a tracker over the training frames and `frames` script frames.
Outcome runScript(const EventSpy& spy, const std::vector<Rect>& rects, const Asset* asset, int frames) {
    FrameHarness h;
    SimpleTracker tracker(nullptr, 0, false);
    SimpleTracker::Params p;
    p.spies.push_back(EventSpyFactory(&spy));
    EXPECT_TRUE(tracker.setParameters(p)) << tracker.getLastError();
    kt_image texture = streetTexture(), scene = makeImage(kWidth, kHeight, 1, 0);
    if (asset) paintAsset(texture, *asset);
    Outcome out;
    ktsl::List<Event> events;
    for (int i = -kTrainingFrames; i < frames; ++i) {
        std::memcpy(scene.data, texture.data, scene.size);
        if (i < 0) {
            // The model compares a pixel once its variance passed the floor: train on frames 20 levels apart.
            const int offset = (i % 2) ? 20 : -20;
            for (size_t k = 0; k < scene.size; ++k) scene.data[k] = static_cast<unsigned char>(scene.data[k] + offset);
        } else {
            if (asset && i >= asset->takenAt) {
                kt_image plain = streetTexture();
                for (int r = asset->y; r < asset->y + asset->h; ++r)
                    std::memcpy(scene.data + r * kWidth + asset->x, plain.data + r * kWidth + asset->x, asset->w);
                kt_free_image(&plain);
            }
            for (const Rect& r : rects) {
                if (i < r.from || i >= r.to) continue;
                const int moved = std::min(i, r.stopAt) - r.from;
                paintBox(scene, r.x + r.vx * moved, r.y + r.vy * moved, r.w, r.h, 230);
            }
        }
        h.load(scene, int64_t(i + kTrainingFrames) * kFrameMs);
        events.clear();
        EXPECT_TRUE(tracker.process(h.frame(), false, events)) << tracker.getLastError();
        for (const Event& e : events)
            if (out.uids.insert(e.getUID()).second) out.firstFrame.push_back(i);
    }
    kt_free_image(&texture);
    kt_free_image(&scene);
    return out;
}

std::shared_ptr<EventSpy> crowd() {
    auto spy = std::make_shared<CrowdDensity>("crowd", "", 0.3f, kttl::ElapsedTime(1000));
    // The left half of the street.
    EXPECT_TRUE(spy->setRegions({ktml::Polygon2D<float>{{0, 0.25f}, {0.5f, 0.25f}, {0.5f, 0.75f}, {0, 0.75f}}}));
    return spy;
}

std::shared_ptr<EventSpy> idle() { return std::make_shared<Idle>("idle", "", kttl::ElapsedTime(2000), 5); }

const Asset kAsset{104, 40, 40, 40, kNever};

std::shared_ptr<EventSpy> taken() {
    auto spy = std::make_shared<ObjectTakenSpy>("taken", "");
    EXPECT_TRUE(spy->setRegion(ktml::Polygon2D<float>{{104, 40}, {144, 40}, {144, 80}, {104, 80}}));
    return spy;
}

}  // namespace

TEST(SimpleTrackerZoneSpies, PixelScripts) {
    // Three blocks filling 84 % of the crowd region (80 x 60 pixels at y 30), then drifting right out of
    // it at 1 px a frame: dense for about 48 frames. Standing blocks would be learnt into the
    // background and leave ghosts behind.
    auto crowdOf = [](int from, int to) {
        return std::vector<Rect>{{from, to, 2, 32, 24, 56, 1, 0, kNever},
                                 {from, to, 28, 32, 24, 56, 1, 0, kNever},
                                 {from, to, 54, 32, 24, 56, 1, 0, kNever}};
    };
    std::vector<Rect> twoCrowds = crowdOf(10, 110);
    for (const Rect& r : crowdOf(160, 260)) twoCrowds.push_back(r);
    Asset takenAway = kAsset;
    takenAway.takenAt = 60;

    const struct {
        const char* what;
        std::shared_ptr<EventSpy> spy;
        std::vector<Rect> rects;
        const Asset* asset;
        int frames;
        int events;       // distinct events expected
        int earliest;     // no event starts before this script frame
        int latest;       // each event starts by this script frame
    } rows[] = {
        {"crowd for 2 s: one episode", crowd(), crowdOf(10, 110), nullptr, 200, 1, 10 + 25, 70},
        {"two crowds apart: the first episode ended", crowd(), twoCrowds, nullptr, 300, 2, 10 + 25, 160 + 60},
        {"one walker is no crowd", crowd(), {{10, 200, 0, 40, 12, 24, 1, 0, kNever}}, nullptr, 200, 0, 0, 0},
        {"walker stops for 6 s", idle(), {{10, 300, 0, 40, 12, 24, 1, 0, 100}}, nullptr, 300, 1, 100 + 40, 260},
        {"walker keeps moving", idle(), {{10, 300, 0, 40, 12, 24, 1, 0, kNever}}, nullptr, 160, 0, 0, 0},
        {"asset taken away", taken(), {}, &takenAway, 200, 1, 60, 200},
        {"walker passes in front of the asset", taken(), {{10, 200, 0, 48, 12, 24, 1, 0, kNever}}, &kAsset, 200,
         0, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const Outcome out = runScript(*r.spy, r.rects, r.asset, r.frames);
        EXPECT_EQ(out.uids.size(), size_t(r.events));
        for (int f : out.firstFrame) EXPECT_TRUE(f >= r.earliest && f <= r.latest) << "event at frame " << f;
    }
}
