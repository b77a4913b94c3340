// The per-frame pipeline through the frame harness: parameters, input checks, the detection rules at
// their thresholds, lighting changes, the activity mask and the stage timers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MovingObjectParams.h"
#include "SimpleTracker.h"
#include "capture_logger.h"
#include "frame_harness.h"

static const int64_t kFrameMs = 40;  // 25 frames per second

// Runs `tracker` on one loaded frame.
static FrameResult step(FrameHarness& h, SimpleTracker& tracker, const kt_image& image, int64_t positionMs) {
    h.load(image, positionMs);
    return h.run([&](ProcessFrame& f) { return tracker.process(f, image.channels == 4); });
}

// The background model only compares a pixel once its variance has exceeded the deviation floor, as
// on a real camera with noise and passers-by: training frames alternate 20 grey levels around kMid.
static const unsigned char kMid = 75;
struct Training {
    kt_image low, high;
    Training(uint32_t w, uint32_t h) : low(makeImage(w, h, 1, kMid - 20)), high(makeImage(w, h, 1, kMid + 20)) {}
    ~Training() { kt_free_image(&low), kt_free_image(&high); }
    // Feeds training frames from position `from` while the next frame is before `until`; returns the
    // position after the last one.
    int64_t run(FrameHarness& h, SimpleTracker& tracker, int64_t from, int64_t until) {
        int64_t t = from;
        for (int i = 0; t < until; ++i, t += kFrameMs)
            EXPECT_TRUE(step(h, tracker, i % 2 ? high : low, t).ok) << tracker.getLastError();
        return t;
    }
};

static SimpleTracker::Params params(int32_t mode, int32_t minSize = 1) {
    SimpleTracker::Params p;
    p.mode = mode, p.minWidth = minSize, p.minHeight = minSize;
    return p;
}

TEST(SimpleTracker, BackgroundThresholdMapping) {
    const float k = 0.39999998f;
    const std::pair<float, float> cases[] = {  // sensitivity, threshold
        {-0.01f, 0.5f}, {0.0f, 0.5f}, {0.25f, 2.0f * (0.25f * k) + 0.5f}, {0.4999f, 2.0f * (0.4999f * k) + 0.5f},
        {0.5f, 0.9f}, {0.75f, 0.95f}, {0.9999f, (0.9999f - 0.5f) * 0.2f + 0.9f}, {1.0f, 1.0f}, {7.0f, 1.0f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(MovingObjectParams::getBackgroundThreshold(c.first), c.second) << c.first;
}

TEST(SimpleTracker, ParametersAndWhatTheySet) {
    SimpleTracker tracker(nullptr, 0, false);
    const char* const kSensitivity = "Invalid Sensitivity: SimpleTracker (474)";
    const char* const kScene = "Invalid Scene Detection Sensitivity: SimpleTracker (480)";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // error: null when accepted; then the largest foreground fraction, the first threshold-table entry
    // that is foreground, the connected-components kernel width and the morphology order.
    const struct { float sensitivity, scene; int32_t minWidth, mode; const char* error; float maxForeground;
                   int threshold; uint32_t kernel; const char* order; } cases[] = {
        {1.0001f, 0.5f, 5, 4, kSensitivity, 0, 0, 0, ""}, {-0.0001f, 0.5f, 5, 4, kSensitivity, 0, 0, 0, ""},
        {nan, 0.5f, 5, 4, kSensitivity, 0, 0, 0, ""}, {0.5f, 1.0001f, 5, 4, kScene, 0, 0, 0, ""},
        {0.5f, nan, 5, 4, kScene, 0, 0, 0, ""}, {0.5f, 0.5f, 5, 4, nullptr, 0.75f, 26, 5, "deed"},
        {0.5f, 0.6f, 11, 3, nullptr, 0.45f, 26, 5, "deed"}, {0.0f, 0.0f, 12, 4, nullptr, 1.0f, 128, 11, "edde"},
        {1.0f, 1.0f, 5, 2, nullptr, 0.25f, 1, 11, "ed"}};  // the 11 x 11 kernel stays once chosen
    for (const auto& c : cases) {
        SimpleTracker::Params p = params(c.mode, c.minWidth);
        p.sensitivity = c.sensitivity, p.sceneSensitivity = c.scene;
        const std::string what = std::to_string(c.sensitivity) + " " + std::to_string(c.scene);
        ASSERT_EQ(tracker.setParameters(p), c.error == nullptr) << what;
        if (c.error != nullptr) { EXPECT_EQ(tracker.getLastError(), c.error) << what; continue; }
        EXPECT_FLOAT_EQ(tracker.getMaxForegroundFraction(), c.maxForeground) << what;
        EXPECT_TRUE(tracker.getKernelWidth() == c.kernel && std::string(tracker.morphologyOrder()) == c.order) << what;
        if (c.mode > 2) {
            EXPECT_TRUE(tracker.getThresholdTable()[c.threshold - 1] == (c.threshold == 1 ? 255 : 0) &&
                        tracker.getThresholdTable()[c.threshold] == 255) << what;
        }
    }
}

TEST(SimpleTracker, InputImagesAndSizes) {
    FrameHarness h;
    SimpleTracker tracker(nullptr, 0, false);
    ASSERT_TRUE(tracker.setParameters(params(4)));
    EXPECT_FALSE(h.run([&](ProcessFrame& f) { return tracker.process(f, false); }).ok);
    EXPECT_EQ(tracker.getLastError(), "Invalid Input Image: SimpleTracker (120)");

    kt_image gray = makeImage(16, 12, 1, 90), bgry = makeImage(16, 12, 4, 90);
    EXPECT_FALSE(step(h, tracker, gray, 0).ok && tracker.process(h.frame(), true)) << "gray announced as colour";
    EXPECT_TRUE(step(h, tracker, gray, 40).ok && step(h, tracker, bgry, 80).ok);
    // The colour form carries its gray form.
    EXPECT_TRUE(tracker.process(h.frame(), false) && tracker.getColourFrames() == 1u);

    // Sizes change mid-stream, odd sizes, and sizes the pipeline refuses with its own error.
    const struct { uint32_t w, h; bool ok; } sizes[] = {{1, 1, false},    {3, 40, false}, {4, 4, true},
        {33, 17, true}, {320, 240, true}, {7, 5, true}, {8193, 4, false}, {4097, 4097, false}};
    int64_t t = 120;
    for (const auto& s : sizes)
        for (uint32_t channels : {1u, 4u}) {
            kt_image image = makeImage(s.w, s.h, channels, 50);
            for (int i = 0; i < 3; ++i, t += kFrameMs)
                EXPECT_EQ(step(h, tracker, image, t).ok, s.ok) << s.w << "x" << s.h << " " << channels;
            EXPECT_TRUE(s.ok ? h.frame().getResolution().getWidth() == static_cast<int32_t>(s.w)
                             : tracker.getLastError() == "Invalid Input Image: SimpleTracker (138)") << s.w;
            kt_free_image(&image);
        }
    kt_free_image(&gray), kt_free_image(&bgry);
}

// In the background-model mode a frame makes blobs only once more than 9 pixels differ, and only after
// 5000 ms of stream (before that the model is learning).
TEST(SimpleTracker, ForegroundCountAndComparisonStart) {
    // Pixels beyond a 3 x 3 square, position of the frame with the object, blobs.
    const struct { int extraPixels; int64_t position; size_t blobs; } cases[] = {
        {0, 5200, 0}, {1, 5200, 1}, {1, 5000, 0}, {1, 5001, 1}, {6, 6000, 1}};
    for (const auto& c : cases) {
        FrameHarness h;
        SimpleTracker tracker(nullptr, 0, false);
        ASSERT_TRUE(tracker.setParameters(params(3)));
        Training training(64, 48);
        kt_image object = makeImage(64, 48, 1, kMid);
        paintBox(object, 20, 20, 3, 3, 250), paintBox(object, 23, 20, c.extraPixels, 1, 250);
        training.run(h, tracker, 0, c.position - kFrameMs + 1);
        const FrameResult r = step(h, tracker, object, c.position);
        ASSERT_TRUE(r.ok) << tracker.getLastError();
        EXPECT_EQ(r.moving.size(), c.blobs) << c.extraPixels << " @" << c.position;
        // The model alone is sure.
        if (!r.moving.empty()) { EXPECT_TRUE(r.moving[0].x == 20u && r.moving[0].confidence == 1.0f); }
        kt_free_image(&object);
    }
}

TEST(SimpleTracker, BlobConfidenceFromTheMotionImage) {
    // A 9 x 7 box (63 pixels; 10 pixels are 15.9 %); 10 of 70 is not above 15 %.
    const struct { int moving, boxWidth; float confidence; } cases[] = {
        {10, 9, 1.0f}, {9, 9, 0.0f}, {10, 10, 0.0f}, {63, 9, 1.0f}};
    for (const auto& c : cases) {
        kt_image motion = makeImage(32, 32, 1, 0);
        for (int i = 0; i < c.moving; ++i) motion.data[(4 + i / 9) * 32 + 4 + i % 9] = 255;
        const kt_vertex blob{4, 4, static_cast<uint32_t>(c.boxWidth - 1), 6, 1.0f, nullptr};
        EXPECT_FLOAT_EQ(SimpleTracker::rateBlob(blob, motion), c.confidence) << c.moving << " in " << c.boxWidth;
        kt_free_image(&motion);
    }
}

// Minimum sizes drop blobs on either side of the limit; frame differencing alone finds a moving box.
TEST(SimpleTracker, FrameDifferencingAndMinimumSizes) {
    for (int32_t minSize : {8, 9, 12}) {
        FrameHarness h;
        SimpleTracker tracker(nullptr, 0, false);
        ASSERT_TRUE(tracker.setParameters(params(2, minSize)));
        kt_image image = makeImage(96, 64, 1, 40);
        size_t found = 0;
        for (int i = 0; i < 20; ++i) {
            std::memset(image.data, 40, image.size);
            paintBox(image, 10 + 3 * i, 20, 10, 14, 220);
            const FrameResult r = step(h, tracker, image, i * kFrameMs);
            ASSERT_TRUE(r.ok) << tracker.getLastError();
            // Within the box and the trail the last motion images leave behind it.
            for (const Detection& d : r.moving)
                EXPECT_TRUE(static_cast<int>(d.width) >= minSize && static_cast<int>(d.height) >= minSize &&
                            d.x <= static_cast<uint32_t>(10 + 3 * i + 10) &&
                            static_cast<int>(d.x + d.width) >= 10 + 3 * i - 20) << d.x << " " << d.width;
            found += r.moving.size();
        }
        // The moving box leaves a mask about 12 px high.
        EXPECT_TRUE(minSize <= 9 ? found > 10u : found == 0u) << minSize << ": " << found;
        kt_free_image(&image);
    }
}

TEST(SimpleTracker, LightingChangeStartsAndEnds) {
    FrameHarness h;
    CaptureLogger logger;
    SimpleTracker tracker(&logger, 0, false);
    ASSERT_TRUE(tracker.setParameters(params(3)));
    Training training(40, 30);
    kt_image bright = makeImage(40, 30, 1, 230);
    int64_t t = training.run(h, tracker, 0, 6000);
    EXPECT_TRUE(!tracker.isLightingChange() && tracker.getBackground().weight == 0.1f);

    FrameResult r = step(h, tracker, bright, t);
    EXPECT_TRUE(r.ok && r.moving.empty()) << "no blobs during a lighting change";
    EXPECT_TRUE(std::stod(r.foregroundPixels) == 1.0 && tracker.isLightingChange() &&
                tracker.getBackground().weight == 0.01f);
    EXPECT_TRUE(logger.has("INFO Max foreground pixel count exceeded ..."));

    // Learning on every frame at the slow rate; 5000 ms after the last overfull frame it ends.
    int64_t changeAt = t;
    for (t += kFrameMs; t < changeAt + 5000 && t < 600000; t += kFrameMs) {
        r = step(h, tracker, bright, t);
        if (std::stod(r.foregroundPixels) > 0.75) changeAt = t;
        EXPECT_EQ(r.sceneChange, "true") << t;
    }
    r = step(h, tracker, bright, t);
    EXPECT_TRUE(r.sceneChange == "false" && tracker.getBackground().weight == 0.1f);
    EXPECT_TRUE(logger.has("INFO Lighting change finished ... "));
    kt_free_image(&bright);
}

TEST(SimpleTracker, ActivityMaskKeepsConfirmedMoversOut) {
    ObjectMap objects;
    const struct { const char* state; int32_t status; int x, y, w, h; bool masked; } cases[] = {
        {"Moving", 1, 10, 10, 4, 4, true}, {"Moving", 3, 30, 2, 6, 3, true}, {"Moving", 2, 50, 20, 4, 4, false},
        {"Static", 3, 50, 30, 4, 4, false}, {"Moving", 4, -3, 35, 4, 4, true}};
    unsigned id = 1;
    for (const auto& c : cases) {
        Object o(c.state, kttl::ElapsedTime(15000));
        o.setId(id++), o.setTrackStatus(c.status);
        o.insert(ktml::BoundingBox<int>(c.x, c.y, c.w, c.h), ktsl::List<kttl::Integer>(), kttl::TimeStamp(100, 0));
        objects.addObject(o);
    }
    kt_image mask = makeImage(64, 40, 1, 7);
    SimpleTracker::updateMask(objects, mask);
    for (const auto& c : cases) {
        // The box grown by 5 on every side, clipped to the image; the pixel past it is free.
        const int x0 = std::max(0, c.x - 5), y0 = std::max(0, c.y - 5);
        const int x1 = std::min(64, c.x + c.w + 5), y1 = std::min(40, c.y + c.h + 5);
        EXPECT_TRUE(mask.data[y0 * 64 + x0] == (c.masked ? 0 : 255) &&
                    mask.data[(y1 - 1) * 64 + x1 - 1] == (c.masked ? 0 : 255) &&
                    (x1 >= 64 || y1 >= 40 || mask.data[y1 * 64 + x1] == 255)) << c.x;
    }
    kt_free_image(&mask);
}

// Exclusion zones: nothing is detected inside; degenerate zones neither crash nor exclude anything.
TEST(SimpleTracker, ExclusionZones) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    using Zone = std::vector<std::pair<float, float>>;
    // Zones, whether the object is excluded, and the pixels of the 64 x 48 mask at 0 (-1: not checked):
    // the left half in fractions and the same in pixels; a triangle beside the object; too few points;
    // a NaN corner; a zone far larger than the image.
    const struct { std::vector<Zone> zones; bool objectExcluded; int excludedPixels; } cases[] = {
        {{{{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 1.0f}, {0.0f, 1.0f}}}, true, 32 * 48},
        {{{{0.0f, 0.0f}, {32.0f, 0.0f}, {32.0f, 48.0f}, {0.0f, 48.0f}}}, true, 32 * 48},
        {{{{40.0f, 0.0f}, {64.0f, 0.0f}, {64.0f, 48.0f}}}, false, -1}, {{{{0.0f, 0.0f}, {0.5f, 0.5f}}}, false, 0},
        {{{{nan, 0.0f}, {0.5f, 0.0f}, {0.5f, 1.0f}}}, false, 0},
        {{{{-1e9f, -1e9f}, {1e9f, -1e9f}, {1e9f, 1e9f}, {-1e9f, 1e9f}}}, true, 64 * 48}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const auto& c = cases[i];
        FrameHarness h;
        SimpleTracker tracker(nullptr, 0, false);
        SimpleTracker::Params p = params(3);
        for (const Zone& z : c.zones) {
            ktml::Polygon2D<float> polygon;
            for (const auto& pt : z) polygon.push_back(ktml::Point2D<float>(pt.first, pt.second));
            p.exclusionZones.push_back(polygon);
        }
        ASSERT_TRUE(tracker.setParameters(p));
        Training training(64, 48);
        kt_image object = makeImage(64, 48, 1, kMid);
        paintBox(object, 10, 20, 6, 6, 250);
        const FrameResult r = step(h, tracker, object, training.run(h, tracker, 0, 5200));
        ASSERT_TRUE(r.ok) << tracker.getLastError();
        EXPECT_EQ(r.moving.empty(), c.objectExcluded) << i;
        const kt_image& m = tracker.getExclusionMask();
        int zeros = 0;
        for (uint32_t k = 0; c.excludedPixels >= 0 && k < m.size; ++k) zeros += m.data[k] == 0;
        EXPECT_TRUE(c.excludedPixels < 0 || zeros == c.excludedPixels) << i << ": " << zeros;
        kt_free_image(&object);
    }
}

TEST(SimpleTracker, StageTimersAndTheirLog) {
    FrameHarness h;
    CaptureLogger logger;
    {
        SimpleTracker tracker(&logger, 0, false);
        ASSERT_TRUE(tracker.setParameters(params(4)));
        kt_image image = makeImage(32, 24, 1, 80);
        for (int i = 0; i < 200; ++i) {
            paintBox(image, i % 20, 5, 6, 6, static_cast<unsigned char>(80 + 100 * (i % 2)));
            ASSERT_TRUE(step(h, tracker, image, i * kFrameMs).ok);
        }
        // Timers keep the last 100 samples; the model is compared only past 5000 ms (frames 126 on), and
        // without exclusion zones nothing is masked.
        const std::pair<const char*, size_t> samples[] = {
            {"kt_process", 100}, {"kt_background_compare", 74}, {"kt_threshold_gray", 74}, {"maskImage", 0}};
        for (const auto& s : samples) EXPECT_EQ(tracker.getStageStats().at(s.first).size(), s.second) << s.first;
        kt_free_image(&image);
    }
    // The destructor logged every stage once, its first 10 samples dropped.
    EXPECT_TRUE(logger.has("INFO kt_process -- mean: 0, median: 0, samples: 90") &&
                logger.has("INFO kt_background_compare -- mean: 0, median: 0, samples: 64"));
    for (const std::string& line : logger.lines()) EXPECT_EQ(line.find("maskImage"), std::string::npos) << line;
}

// A mover the object tracker confirms keeps the model from learning it; with the tracker locked (it
// starts no object) the model learns it.
TEST(SimpleTracker, ModelDoesNotLearnConfirmedMovers) {
    for (bool confirmed : {true, false}) {
        FrameHarness h;
        SimpleTracker tracker(nullptr, 0, false);
        ASSERT_TRUE(tracker.setParameters(params(3)));
        tracker.getObjectTracker().lock(!confirmed);
        Training training(64, 48);
        kt_image object = makeImage(64, 48, 1, kMid);
        paintBox(object, 20, 20, 8, 8, 200);
        int64_t t = training.run(h, tracker, 0, 6000);
        for (const int64_t end = t + 3000; t < end; t += kFrameMs) {
            h.load(object, t);
            ASSERT_TRUE(h.run([&](ProcessFrame& f) { return tracker.process(f, false); }).ok);
            EXPECT_EQ(h.frame().getObjects().empty(), !confirmed);
        }
        // Six learning steps at 0.1 move an unconfirmed mover well towards 200.
        const int mean = tracker.getBackground().dist0[24 * 64 + 24].mean;
        EXPECT_TRUE(confirmed ? std::abs(mean - kMid) <= 12 : mean > kMid + 30) << mean;
        kt_free_image(&object);
    }
}
