// The compact view the comparisons read: every model operation keeps it equal to the full records, and
// every comparison through it equals the plain per-pixel reference over the records, in every mode,
// after updates, weight changes, region resets, resizes, failed allocations and re-initialisation.
#include "background_reference.h"
#include "image_test_util.h"
#include "kt_alloc.h"

using namespace bgtest;
using kttest::bytes;
using kttest::Image;

namespace {

// A frame near the model's means: most samples within `spread` grey levels, a share `far` of them
// anywhere, so matching, graded and far pixels all occur.
void frame_near_model(const kt_background& bg, kt_image* frame, std::mt19937& rng, int spread, int far) {
    const kt_distribution* dist[3] = {bg.dist0, bg.dist1, bg.dist2};
    const uint32_t planes = bg.mode ? 3 : 1;
    for (uint32_t i = 0; i < bg.width * bg.height; ++i)
        for (uint32_t c = 0; c < frame->channels; ++c) {
            int v = int(rng() % 256);
            if (c < planes && int(rng() % 100) >= far)
                v = dist[c][i].mean + int(rng() % uint32_t(2 * spread + 1)) - spread;
            frame->data[frame->channels * i + c] = uint8_t(std::min(255, std::max(0, v)));
        }
}

// Every comparison of the model's mode, with and without a mask, against the reference; the view
// checked before and after (the lightness-chroma comparison writes floors). Adds compared and changed
// pixel counts to totals.
void expect_comparisons_match(kt_background& bg, std::mt19937& rng, uint32_t totals[2]) {
    ASSERT_EQ(1, kt_background_check_view(&bg));
    const uint32_t w = bg.width, h = bg.height;
    Image frame(w, h, bg.mode ? 4 : 1), mask(w, h, 1), diff(w, h, 1), shadows(w, h, 1);
    const int spreads[][2] = {{6, 5}, {40, 20}, {120, 90}};  // calm, busy, a global change
    for (const auto& s : spreads) {
        frame_near_model(bg, frame.get(), rng, s[0], s[1]);
        kttest::fill_random(mask.get(), rng(), true, 0.6);
        for (const kt_image* gate : {static_cast<const kt_image*>(mask.get()), static_cast<const kt_image*>(nullptr)}) {
            const Expected expected = ref_compare(bg, frame.get(), gate);
            uint32_t count = 99;
            diff.fill(0xCC);  // stale content must go
            ASSERT_EQ(1, kt_background_compare(&bg, frame.get(), gate, 0, diff.get(), &count));
            ASSERT_TRUE(expected.diff == bytes(diff.get()) && expected.count == count) << "spread " << s[0];
            totals[0] += w * h, totals[1] += count;
            for (uint32_t i = 0; bg.mode == KT_BG_MODE_LAB && i < w * h; ++i)  // floors the comparison set
                ASSERT_TRUE((gate && !gate->data[i]) ||
                            (expected.floors[i] == bg.dist1[i].min_stdev && expected.floors[i] == bg.dist2[i].min_stdev))
                    << i;
            if (bg.mode != KT_BG_MODE_BGR) continue;
            count = 7;  // the colour comparison on its own adds to the count
            diff.fill(0xCC);
            ASSERT_EQ(1, kt_background_compare_bgr(&bg, frame.get(), gate, 0, diff.get(), &count));
            ASSERT_TRUE(expected.diff == bytes(diff.get()) && 7 + expected.count == count);
            ASSERT_EQ(1, kt_background_compare_shadows(&bg, frame.get(), gate, shadows.get()));
            for (uint32_t i = 0; i < w * h; ++i) {
                const bool in = !gate || gate->data[i];
                ASSERT_EQ(in ? uint8_t(ref_shadow(bg, frame.img.data + 4 * i, i)) : 255, shadows.img.data[i]) << i;
            }
        }
    }
    ASSERT_EQ(1, kt_background_check_view(&bg));
}

}  // namespace

TEST(BackgroundView, ComparisonsMatchReferenceThroughEveryOperation) {
    // Each step changes the model through its own operations; after each, the view must equal the
    // records and every comparison the reference. Sizes: odd (the eight-pixel loop's tail) and a
    // multiple of 8.
    enum Op { kUpdate, kWeight, kReset, kNewSize, kResize, kFailedResize, kReinit };
    const struct { Op op; float value; } steps[] = {
        {kUpdate, 6}, {kWeight, 0.45f}, {kUpdate, 5}, {kReset, 0}, {kUpdate, 1}, {kWeight, 0.01f},
        {kWeight, 1.5f /* refused */}, {kUpdate, 4}, {kReset, 0}, {kNewSize, 0}, {kUpdate, 5},
        {kResize, 0}, {kUpdate, 3}, {kFailedResize, 0}, {kUpdate, 4}, {kReinit, 0}, {kUpdate, 6}};
    const uint32_t sizes[][2] = {{13, 7}, {16, 8}};
    std::mt19937 rng(19);
    uint32_t totals[2] = {0, 0};
    for (int32_t mode = 0; mode <= 2; ++mode)
        for (const auto& size : sizes) {
            uint32_t w = size[0], h = size[1];
            Model m(w, h, mode);
            kt_background& bg = m.bg;
            std::vector<unsigned char> scene;
            auto new_scene = [&] {
                scene.resize(size_t(w) * h * (bg.mode ? 4 : 1));
                for (unsigned char& b : scene) b = uint8_t(rng());
            };
            new_scene();
            for (const auto& step : steps) {
                SCOPED_TRACE("mode " + std::to_string(bg.mode) + " " + std::to_string(w) + "x" +
                             std::to_string(h) + " step " + std::to_string(&step - steps));
                switch (step.op) {
                    case kUpdate:  // frames of a noisy scene, learnt under random masks
                        for (int f = 0; f < int(step.value); ++f) {
                            Image frame(w, h, bg.mode ? 4 : 1), mask(w, h, 1);
                            for (uint32_t i = 0; i < frame.img.size; ++i)
                                frame.img.data[i] = uint8_t(scene[i] + rng() % (f % 2 ? 60 : 8));
                            kttest::fill_random(mask.get(), rng(), true, 0.8);
                            kt_image* fr = frame.get();
                            ASSERT_EQ(1, kt_background_update(&bg, bg.mode ? nullptr : fr, bg.mode ? fr : nullptr,
                                                              mask.get()));
                        }
                        break;
                    case kWeight: ASSERT_EQ(1, kt_background_set_weight(&bg, step.value)); break;
                    case kReset: {
                        auto below = [&](uint32_t n) { return uint32_t(rng() % n); };
                        const kt_bbox box{below(w / 2), below(h / 2), 1 + below(w / 2), 1 + below(h / 2)};
                        ASSERT_EQ(1, kt_background_reset_region(&bg, &box));
                        break;
                    }
                    case kNewSize: {  // a frame of another size re-creates the model inside update
                        w += 3, h += 1;
                        Image frame(w, h, bg.mode ? 4 : 1), mask(w, h, 1);
                        kttest::fill_random(frame.get(), rng());
                        mask.fill(255);
                        kt_image* fr = frame.get();
                        ASSERT_EQ(1, kt_background_update(&bg, bg.mode ? nullptr : fr, bg.mode ? fr : nullptr,
                                                          mask.get()));
                        new_scene();
                        break;
                    }
                    case kResize: ASSERT_EQ(1, kt_background_resize(&bg, w, h)); break;
                    case kFailedResize:  // every allocation of the resize in turn fails
                        for (int n = 0; n < 5; ++n) {
                            kt_alloc_fail_after(n);
                            const int ok = kt_background_resize(&bg, w, h);
                            kt_alloc_fail_after(-1);
                            ASSERT_EQ(ok, kt_background_check_view(&bg)) << "allocation " << n;
                            if (ok) continue;
                            Image frame(w, h, bg.mode ? 4 : 1), diff(w, h, 1);
                            uint32_t count = 0;
                            ASSERT_EQ(0, kt_background_compare(&bg, frame.get(), nullptr, 0, diff.get(), &count));
                        }
                        ASSERT_EQ(1, kt_background_resize(&bg, w, h));
                        break;
                    case kReinit: ASSERT_EQ(1, kt_background_init(&bg, w, h, (bg.mode + 1) % 3)); break;
                }
                if (step.op == kReinit) new_scene();
                expect_comparisons_match(bg, rng, totals);
                if (HasFatalFailure()) return;
            }
        }
    EXPECT_TRUE(totals[1] > totals[0] / 20 && totals[1] < totals[0] * 19 / 20);  // both outcomes are common
}

TEST(BackgroundView, CheckFindsDirectWritesAndSyncRepairsThem) {
    // A record written behind the model's back is caught by the check; sync repairs the view unless
    // the record cannot be held exactly.
    const struct { const char* name; int32_t mode, channel; int32_t kt_distribution::*field; int32_t value; int synced; } cases[] = {
        {"gray mean", 0, 0, &kt_distribution::mean, 77, 1},
        {"gray scale", 0, 0, &kt_distribution::scale, 300, 1},
        {"gray fresh", 0, 0, &kt_distribution::fresh, 255, 1},
        {"red scale", 1, 2, &kt_distribution::scale, 640, 1},
        {"green mean", 1, 1, &kt_distribution::mean, 3, 1},
        {"chroma floor", 2, 1, &kt_distribution::min_stdev, 20, 1},
        {"scale far beyond the table", 0, 0, &kt_distribution::scale, 70000, 1},
        {"scale whose product wraps", 0, 0, &kt_distribution::scale, 20000000, 0},
        {"negative scale", 1, 1, &kt_distribution::scale, -5, 0},
        {"mean beyond a byte", 1, 0, &kt_distribution::mean, 300, 0},
        {"fresh neither 0 nor 255", 2, 2, &kt_distribution::fresh, 1, 0}};
    for (const auto& c : cases) {
        Model m(9, 5, c.mode);
        Image frame(9, 5, c.mode ? 4 : 1), mask(9, 5, 1);
        mask.fill(255);
        for (int f = 0; f < 4; ++f) {  // trained on changing frames: not fresh, scale set
            kttest::fill_random(frame.get(), uint32_t(f));
            ASSERT_EQ(1, kt_background_update(&m.bg, c.mode ? nullptr : frame.get(), c.mode ? frame.get() : nullptr,
                                              mask.get()));
        }
        ASSERT_EQ(1, kt_background_check_view(&m.bg)) << c.name;
        kt_distribution* dist[3] = {m.bg.dist0, m.bg.dist1, m.bg.dist2};
        ASSERT_TRUE(dist[c.channel][40].scale != 0 && dist[c.channel][40].fresh == 0) << c.name;
        dist[c.channel][40].*c.field = c.value;
        EXPECT_EQ(0, kt_background_check_view(&m.bg)) << c.name;
        EXPECT_EQ(c.synced, kt_background_sync_view(&m.bg)) << c.name;
        EXPECT_EQ(c.synced, kt_background_check_view(&m.bg)) << c.name;
        if (!c.synced) continue;
        Image diff(9, 5, 1);  // the repaired view compares as the records do
        frame.at(4, 4, uint32_t(c.channel)) = uint8_t(dist[c.channel][40].mean + 1);
        const Expected expected = ref_compare(m.bg, frame.get(), nullptr);
        uint32_t count = 0;
        ASSERT_EQ(1, kt_background_compare(&m.bg, frame.get(), nullptr, 0, diff.get(), &count));
        EXPECT_TRUE(expected.diff == bytes(diff.get()) && expected.count == count) << c.name;
    }
    kt_background empty{};
    EXPECT_EQ(0, kt_background_check_view(&empty) | kt_background_sync_view(&empty) |
                     kt_background_check_view(nullptr) | kt_background_sync_view(nullptr));
}
