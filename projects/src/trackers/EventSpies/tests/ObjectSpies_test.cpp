// Object-taken model and spy over painted scenes (learning, taken, replaced, hold-off, an object in
// front) and the object spy's validity, closing and report.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ObjectSpy.h"
#include "ObjectTakenSpy.h"
#include "SpyScene.h"
#include "kt_alloc.h"
#include "frame_harness.h"
#include "manual_clock.h"

namespace {

typedef ktml::Polygon2D<int> PolyI;

PolyI square(int x, int y, int w, int h) { return PolyI{{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}; }

// A 160 x 120 gray scene of fixed noise; with the asset, a striped block at (40, 30) of 64 x 48.
kt_image scene(bool asset) {
    kt_image image = makeImage(160, 120, 1, 0);
    std::mt19937 rng(7);
    for (size_t i = 0; i < image.size; ++i) image.data[i] = static_cast<unsigned char>(96 + rng() % 32);
    if (asset)
        for (int r = 30; r < 78; ++r)
            for (int c = 40; c < 104; ++c) image.data[r * 160 + c] = ((c / 4) % 2) ? 250 : 10;
    return image;
}

}  // namespace

TEST(ObjectTaken, GridScoresAndDecisions) {
    const struct { PolyI region; int columns, rows; int result; } grids[] = {
        {square(10, 10, 40, 40), 2, 2, ObjectTaken::NoDecision},     // 40 / 4 = 10 is raised to 16
        {square(0, 0, 200, 200), 4, 4, ObjectTaken::NoDecision},     // clipped to 160 x 120: 40 x 30 cells
        {square(10, 10, 10, 40), 0, 2, ObjectTaken::CannotJudge},    // narrower than one cell
        {square(500, 500, 40, 40), 0, 0, ObjectTaken::CannotJudge},  // wholly outside
    };
    kt_image image = scene(true);
    for (const auto& g : grids) {
        ObjectTaken model;
        model.setRegion(g.region);
        float confidence = -1;
        EXPECT_EQ(model.process(0, image, nullptr, confidence), g.result) << g.region.toXML("r");
        EXPECT_EQ(model.gridColumns() * model.gridRows(), g.columns * g.rows);
        EXPECT_EQ(model.getStatus().empty(), g.result != ObjectTaken::CannotJudge);
    }
    kt_free_image(&image);

    // The region's crop cannot be had (as a box past 2 GiB on the camera): refused, not written
    // through a null buffer, and tried again on the next frame.
    image = scene(true);
    {
        ObjectTaken model;
        model.setRegion(square(0, 0, 200, 200));
        float confidence = -1;
        kt_alloc_fail_after(0);
        EXPECT_EQ(model.process(0, image, nullptr, confidence), ObjectTaken::CannotJudge);
        kt_alloc_fail_after(-1);
        EXPECT_EQ(model.getStatus(), "Unable to allocate memory for the asset region");
        EXPECT_EQ(model.process(40, image, nullptr, confidence), ObjectTaken::NoDecision);
        EXPECT_EQ(model.getStatus(), "");
    }
    kt_free_image(&image);

    // 0.3 x 0.9 + 0.7 x 0.4 = 0.55: unchanged at sensitivity 0.5, taken (confidence 0.45) at 0.6.
    ObjectTaken model;
    float confidence = 0;
    EXPECT_EQ(model.decide(0, 0.9, 0.4, confidence), ObjectTaken::NoDecision);
    ASSERT_TRUE(model.setSensitivity(0.6f));
    EXPECT_EQ(model.decide(0, 0.9, 0.4, confidence), ObjectTaken::Taken);
    EXPECT_NEAR(confidence, 0.45f, 1e-6);
    EXPECT_EQ(model.decide(40, 0.95, 0.95, confidence), ObjectTaken::Restored);
    EXPECT_FALSE(model.setSensitivity(NAN));
    EXPECT_FALSE(model.setSensitivity(1.5f));
    EXPECT_EQ(model.getSensitivity(), 0.6f);
}

TEST(ObjectTakenSpy, TakenReplacedHeldOffAndHidden) {
    ManualClock clock;
    ObjectTakenSpy spy("taken", "");
    ASSERT_TRUE(spy.setRegion(ktml::Polygon2D<float>{{40, 30}, {104, 30}, {104, 78}, {40, 78}}));
    spy.setReplaceAlarm(true);
    kt_image with = scene(true), without = scene(false);
    ProcessFrame frame;
    std::vector<std::string> events;
    std::vector<int> results;
    // 0-11 learn (a young model still follows what it sees), 12-14 taken, 15 flagged 0x200 (held off
    // for 2 s), 16 still held, 17-18 an object in front, 19 back in place.
    for (int k = 0; k <= 19; ++k) {
        loadFrame(frame, k * 1000, {}, 160, 120);
        if (k == 15) frame.setFrameFlags(0x200);
        if (k == 17 || k == 18) frame.getObjects().addObject(mover(1, Box(0, 0, 50, 50), Box(60, 40, 20, 20)));
        frame.setImage("Native Image", (k >= 12 && k <= 18) ? without : with, Frame::kGray);
        spy.spy(frame);
        results.push_back(spy.lastResult());
        std::list<Event> out;
        spy.getEvents(out);
        for (const Event& e : out) events.push_back(e.getSubtitle().empty() ? "taken" : e.getSubtitle().c_str());
        clock.advance(1000);
    }
    std::vector<int> expected(12, ObjectTaken::NoDecision);
    expected.insert(expected.end(), {2, 2, 2, -1, -1, -1, -1, 3});
    EXPECT_EQ(results, expected);
    EXPECT_EQ(events, (std::vector<std::string>{"taken", "taken", "taken", "Replaced"}));
    EXPECT_EQ(spy.getCurrentEvent(), 0u);
    kt_free_image(&with);
    kt_free_image(&without);
}

TEST(ObjectSpy, ReportsValidObjectsOnceTheyStop) {
    auto human = [](float confidence) {
        Object o = mover(5, Box(10, 10, 20, 20), Box(30, 10, 20, 20));
        o.addClass("human");
        o.getClassConfidences()["human"] = kttl::Double(confidence);
        return o;
    };
    const struct {
        const char* what;
        float confidence;
        int64_t maxInvalidMs;
        bool closeFlag;
        std::vector<size_t> events;  // per frame: 5 frames with the object, then 3 without
    } rows[] = {
        {"confident, closed one frame after it left", 0.8f, 0, false, {0, 0, 0, 0, 0, 1, 0, 0}},
        {"confident, closed 1 s after its last valid frame", 0.8f, 1000, false, {0, 0, 0, 0, 0, 0, 0, 1}},
        {"below min-conf", 0.4f, 0, false, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"flag 0x1 closes at once", 0.8f, 100000, true, {0, 0, 0, 1, 0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        ObjectSpy spy("objects", "", 0.5f, kttl::ElapsedTime(1000), kttl::ElapsedTime(r.maxInvalidMs));
        spy.setClasses({"human"});
        ProcessFrame frame;
        std::vector<size_t> counts;
        std::string validFrames;
        for (int k = 0; k < 8; ++k) {
            loadFrame(frame, k * 400, {});
            if (k < 5) frame.getObjects().addObject(human(r.confidence));
            if (r.closeFlag && k == 3) frame.setFrameFlags(ObjectSpy::kCloseAllFlag);
            spy.spy(frame);
            std::list<Event> out;
            spy.getEvents(out);
            counts.push_back(out.size());
            if (!out.empty()) validFrames = out.front().getAttribute("valid-frames").c_str();
        }
        EXPECT_EQ(counts, r.events) << r.what;
        EXPECT_EQ(validFrames, r.confidence < 0.5f ? "" : r.closeFlag ? "4" : "5") << r.what;
        EXPECT_TRUE(spy.getRecords().empty() || r.closeFlag) << r.what;
    }
    ObjectSpy spy;
    EXPECT_FALSE(spy.setMinConf(NAN));
}
