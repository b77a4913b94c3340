// Zone spies over scripted scenes: perimeter intrusion shares, enter/exit words, idle jitter against
// steps, crowd density episodes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "CrowdDensity.h"
#include "EnterExit.h"
#include "Idle.h"
#include "Perimeter.h"
#include "SpyScene.h"
#include "frame_harness.h"

namespace {

typedef ktml::Polygon2D<float> Poly;
typedef std::vector<size_t> Counts;
// The right half of a 320 x 240 frame, in pixels.
const Poly kRightHalf{{160, 0}, {320, 0}, {320, 240}, {160, 240}};

std::vector<std::string> subtitles(const std::vector<std::list<Event>>& frames) {
    std::vector<std::string> out;
    for (const auto& events : frames)
        for (const Event& e : events) out.push_back(e.getSubtitle().c_str());
    return out;
}

}  // namespace

TEST(Perimeter, IntrudersMustComeFromOutside) {
    const struct {
        const char* what;
        Box from, to;
        Counts expected;
    } rows[] = {
        {"60 % inside", Box(100, 100, 20, 20), Box(152, 100, 20, 20), {0, 1}},
        {"40 % inside", Box(100, 100, 20, 20), Box(148, 100, 20, 20), {0, 0}},
        {"started touching by one pixel", Box(141, 100, 20, 20), Box(160, 100, 20, 20), {0, 0}},
        {"zero-area newest box", Box(100, 100, 20, 20), Box(200, 100, 0, 20), {0, 0}},
    };
    for (const auto& r : rows) {
        Perimeter spy("p", "", 0.5);
        spy.setMinAge(kttl::ElapsedTime(0));
        ASSERT_TRUE(spy.setRegions({kRightHalf}));
        EXPECT_EQ(eventCounts(runPath(spy, {r.from, r.to})), r.expected) << r.what;
    }
    Perimeter spy;
    EXPECT_FALSE(spy.setIntrusion(NAN));
    EXPECT_FALSE(spy.setIntrusion(1.5));
    Poly huge;
    for (int i = 0; i < 4097; ++i) huge.addVertex(float(i % 300), float((i * 7) % 200));
    EXPECT_FALSE(spy.setRegions({huge}));
    EXPECT_FALSE(spy.setRegions({Poly{{0, 0}, {NAN, 5}, {5, 5}}}));
}

TEST(EnterExit, WordsFollowTheZoneType) {
    // Into the right half and gone, or out of it.
    const std::vector<Box> in = {Box(100, 100, 10, 10), Box(130, 100, 10, 10), Box(200, 100, 10, 10)};
    const std::vector<Box> out(in.rbegin(), in.rend());
    const struct {
        EnterExit::Type type, zoneType;
        const std::vector<Box>* path;
        std::vector<std::string> words;
    } rows[] = {
        {EnterExit::Both, EnterExit::Both, &in, {"Enter"}},
        {EnterExit::Both, EnterExit::Both, &out, {"Exit", "Exit"}},
        {EnterExit::Both, EnterExit::Exit, &in, {"Exit"}},
        {EnterExit::Both, EnterExit::Exit, &out, {"Enter", "Enter"}},
        {EnterExit::Exit, EnterExit::Both, &in, {}},
        {EnterExit::Enter, EnterExit::Both, &out, {}},
    };
    for (const auto& r : rows) {
        EnterExit spy("ee", "", r.type, r.zoneType);
        spy.setMinAge(kttl::ElapsedTime(0));
        spy.setZones({kRightHalf});
        auto frames = runPath(spy, *r.path);
        ProcessFrame gone;
        loadFrame(gone, 2000, {});
        spy.spy(gone);
        frames.emplace_back();
        spy.getEvents(frames.back());
        EXPECT_EQ(subtitles(frames), r.words) << EnterExit::typeToString(r.type) << "/"
                                              << EnterExit::typeToString(r.zoneType) << " " << (r.path == &in);
        EXPECT_EQ(spy.pendingCopies(), 0u);  // nothing kept for objects gone
    }
}

TEST(Idle, JitterCountsAsStillAStepRestarts) {
    const Poly kLeftHalf{{0, 0}, {160, 0}, {160, 240}, {0, 240}};
    std::vector<Box> jitter, step;
    for (int k = 0; k < 14; ++k) {
        jitter.push_back(Box(100 + (k % 2) * 3, 100, 10, 10));
        step.push_back(Box((k < 4 ? 100 : 120) + (k % 2) * 3, 100, 10, 10));
    }
    // Frames every 400 ms, wait-time 2 s: still since 0 ms is idle at 2400 ms (frame 6); after the
    // step at 1600 ms, at 4000 ms (frame 10).
    const struct { const std::vector<Box>* path; bool zoneHere; size_t firstEvent; } rows[] = {
        {&jitter, true, 6}, {&step, true, 10}, {&jitter, false, 99}};
    for (const auto& r : rows) {
        Idle spy("idle", "", kttl::ElapsedTime(2000), 10);
        spy.setZones({r.zoneHere ? kLeftHalf : kRightHalf});
        const Counts counts = eventCounts(runPath(spy, *r.path));
        Counts expected(counts.size(), 0);
        for (size_t k = r.firstEvent; k < expected.size(); ++k) expected[k] = 1;
        EXPECT_EQ(counts, expected) << r.firstEvent;
    }
}

TEST(CrowdDensity, EpisodesOpenAfterTheWaitAndCloseAfterIt) {
    CrowdDensity spy("crowd", "", 0.3f, kttl::ElapsedTime(5000));
    EXPECT_FALSE(spy.setMaxDensity(1.5f));
    EXPECT_FALSE(spy.setMaxDensity(NAN));
    EXPECT_EQ(spy.getMaxDensity(), 0.3f);
    ASSERT_TRUE(spy.setRegions({Poly{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}));
    kt_image dense = makeImage(100, 100, 1, 0), sparse = makeImage(100, 100, 1, 0);
    paintBox(dense, 0, 0, 100, 40, 255);  // 40 % occupied
    paintBox(sparse, 0, 0, 100, 20, 255);
    // Dense 0..7 s, sparse 8..14 s, dense again from 15 s; one frame a second.
    std::vector<uint32_t> uids;
    ProcessFrame frame;
    for (int s = 0; s <= 21; ++s) {
        loadFrame(frame, s * 1000, {}, 100, 100);
        frame.setImage("Processed Image", (s <= 7 || s >= 15) ? dense : sparse, Frame::kGray);
        spy.spy(frame);
        uids.push_back(spy.getCurrentEvent());
    }
    EXPECT_DOUBLE_EQ(spy.getLastDensity(), 0.4);
    for (int s = 0; s <= 21; ++s) {
        const bool open = (s >= 5 && s <= 11) || s >= 20;
        EXPECT_EQ(uids[s] != 0, open) << s;
    }
    EXPECT_TRUE(uids[5] == uids[11] && uids[20] != uids[5]);

    // A region wholly outside the frame has no pixels: nothing is judged.
    CrowdDensity outside("out", "", 0.1f, kttl::ElapsedTime(0));
    ASSERT_TRUE(outside.setRegions({Poly{{500, 500}, {600, 500}, {600, 600}}}));
    outside.spy(frame);
    EXPECT_EQ(outside.getLastDensity(), -1.0);
    kt_free_image(&dense);
    kt_free_image(&sparse);
}

TEST(CrowdDensity, DensityCountsExactlyTheRegionsOccupiedPixels) {
    // Random planes with values around the occupancy limit, random regions, either plane or both:
    // the spy's density must equal a count over the region mask cell by cell.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 24; ++trial) {
        const unsigned w = 1 + rng() % 300, h = 1 + rng() % 40;
        kt_image processed = makeImage(w, h, 1, 0), stationary = makeImage(w, h, 1, 0);
        for (size_t i = 0; i < processed.size; ++i) {
            processed.data[i] = static_cast<unsigned char>(195 + rng() % 12);
            stationary.data[i] = static_cast<unsigned char>(rng() % 4 == 0 ? 255 : rng() % 201);
        }
        Poly region;
        for (int v = 0; v < 6; ++v) region.addVertex(float(rng() % (w + 10)) - 5.f, float(rng() % (h + 10)) - 5.f);
        const int planes = trial % 3;  // processed, stationary, both
        CrowdDensity spy("crowd", "", 1.0f, kttl::ElapsedTime(0));
        if (!spy.setRegions({region})) continue;
        ProcessFrame frame;
        loadFrame(frame, 1000, {}, int(w), int(h));
        if (planes != 1) frame.setImage("Processed Image", processed, Frame::kGray);
        if (planes != 0) frame.setImage("Stationary Object Processed", stationary, Frame::kGray);
        spy.spy(frame);
        spygeo::RegionMask mask;
        spygeo::buildMask(mask, {region}, w, h);
        size_t inside = 0, occupied = 0;
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                if (mask.cells()(x, y) != 1) continue;
                ++inside;
                const size_t i = size_t(y) * w + x;
                occupied += (planes != 1 && processed.data[i] > 200) || (planes != 0 && stationary.data[i] > 200);
            }
        if (inside == 0)
            EXPECT_EQ(spy.getLastDensity(), -1.0) << trial;
        else
            EXPECT_EQ(spy.getLastDensity(), double(occupied) / double(inside)) << trial << " " << w << "x" << h;
        kt_free_image(&processed);
        kt_free_image(&stationary);
    }
}
