// Frame differencing: kernels, the change threshold, warm-up and steady state of kt_process against a
// plain reference detector, the change test and the running sum against per-pixel ones, and failures.
#include "kt_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "image_test_util.h"
#include "kt_alloc.h"

namespace {

using kttest::Image;

// Owns a detector for one test.
struct Detector {
    kt_detection det{};
    explicit Detector(uint32_t n = 4, float sensitivity = 0.5f, uint32_t k = 1) {
        EXPECT_EQ(1, kt_detection_init(sensitivity, 5, 5, KT_KERNEL_SQUARE, n, &det));
        if (k != 1) {
            EXPECT_EQ(1, kt_set_skip_imageq_len(k, &det));
        }
    }
    ~Detector() { kt_detection_deinit(&det); }
};

// Whether a pixel changed by more than the threshold: absolute difference for one channel, squared
// distance of bytes 0..2 against threshold squared for four.
bool ref_moved(const unsigned char* a, const unsigned char* b, uint32_t channels, uint32_t threshold) {
    if (channels == 1) return std::abs(int(a[0]) - int(b[0])) > int(threshold);
    int64_t e = 0;
    for (int c = 0; c < 3; ++c) e += (int(a[c]) - int(b[c])) * (int(a[c]) - int(b[c]));
    return e > int64_t(threshold) * threshold;
}

// Plain reference of the detector: all frames kept, the mask recomputed from the last N motion
// images, erosion written out per pixel.
struct Reference {
    uint32_t n, k, threshold, width = 0, height = 0;
    std::vector<std::vector<unsigned char>> frames;
    std::deque<std::vector<unsigned char>> motions;
    std::vector<unsigned char> mask;

    Reference(uint32_t n_, uint32_t k_, uint32_t t) : n(n_), k(k_), threshold(t) {}

    const std::vector<unsigned char>& feed(const kt_image* frame) {
        if (frame->width != width || frame->height != height) {
            frames.clear();
            motions.clear();
            width = frame->width;
            height = frame->height;
            mask.assign(size_t(width) * height, 0);
        }
        frames.emplace_back(frame->data, frame->data + frame->size);
        if (frames.size() <= k + 1) return mask;
        const unsigned char* prev = frames[frames.size() - k - 2].data();
        const unsigned char* cur = frames.back().data();
        const uint32_t c = frame->channels;
        std::vector<unsigned char> motion(size_t(width) * height, 0);
        for (size_t p = 0; p < motion.size(); ++p)
            if (ref_moved(prev + c * p, cur + c * p, c, threshold)) motion[p] = uint8_t(255 / n);
        motions.push_back(motion);
        if (motions.size() <= n) return mask;
        motions.pop_front();
        std::vector<unsigned char> any(motion.size(), 0);
        for (const auto& m : motions)
            for (size_t p = 0; p < any.size(); ++p)
                if (m[p]) any[p] = 255;
        mask = any;  // borders keep the unmasked value: the erosion does not write them
        for (uint32_t y = 1; y + 1 < height; ++y)
            for (uint32_t x = 1; x + 1 < width; ++x) {
                unsigned char v = 255;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) v &= any[(y + dy) * width + (x + dx)];
                mask[y * width + x] = v;
            }
        return mask;
    }
};

// Next frame of a slowly changing scene: a random rectangle takes a new value (solid motion that
// survives the erosion) and a few scattered bytes jump (noise the erosion removes).
void next_frame(kt_image* frame, std::mt19937& rng, int change_per_mille) {
    const uint32_t x0 = rng() % frame->width, y0 = rng() % frame->height;
    const uint32_t x1 = std::min<uint32_t>(frame->width, x0 + 1 + rng() % 8);
    const uint32_t y1 = std::min<uint32_t>(frame->height, y0 + 1 + rng() % 8);
    const unsigned char value = static_cast<unsigned char>(rng());
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x)
            std::memset(frame->data + kt_image_index(frame, x, y), value, frame->channels);
    for (uint32_t i = 0; i < frame->size; ++i)
        if (int(rng() % 1000) < change_per_mille) frame->data[i] = static_cast<unsigned char>(rng());
}

std::vector<unsigned char> bytes(const kt_image* image) {
    return std::vector<unsigned char>(image->data, image->data + image->size);
}

TEST(DetectionKernel, ShapesAndSizes) {
    kt_kernel k{};
    ASSERT_EQ(1, kt_init_kernel(&k, 4, 4, KT_KERNEL_ELLIPSE));  // even sides are raised to 5
    ASSERT_EQ(5u, k.width);
    for (uint32_t j = 0; j < 5; ++j)
        for (uint32_t i = 0; i < 5; ++i) {
            const bool corner = (i == 0 || i == 4) && (j == 0 || j == 4);
            EXPECT_EQ(corner ? 65535 : 0, k.cells[i + 5 * j]) << i << "," << j;
        }
    kt_free_kernel(&k);
    ASSERT_EQ(1, kt_init_kernel(&k, 11, 6, KT_KERNEL_SQUARE));
    EXPECT_EQ(3u, k.half_height);
    EXPECT_EQ(77, std::count(k.cells, k.cells + 77, 0));
    kt_free_kernel(&k);
    kt_free_kernel(&k);  // harmless twice
    EXPECT_EQ(0, kt_init_kernel(nullptr, 5, 5, 0) | kt_init_kernel(&k, 0, 5, 0) |
                     kt_init_kernel(&k, 5, KT_KERNEL_MAX_SIDE + 1, 0));
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_init_kernel(&k, 5, 5, 0));
    kt_alloc_fail_after(-1);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find(
                                     "kt_init_kernel(...) - Unable to allocate memory for pKernelBuf."));
    EXPECT_EQ(0, kt_kernel_valid(&k));
}

TEST(DetectionThreshold, FromSensitivity) {
    const struct {
        float s;
        uint32_t t;
    } cases[] = {{1.0f, 10}, {0.5f, 42}, {0.0f, 75}, {0.9f, 16}, {1.5f, 0}, {-0.01f, 0}, {std::nanf(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(c.t, kt_detection_threshold(c.s)) << c.s;
}

TEST(Process, WarmUpAndHoldOverTheLastFourDifferences) {
    // K = 1, N = 4: calls 1-2 warm up, call 3 makes the first motion image, the mask can first be
    // non-zero on call 7. Block a changes by 60 every call; block b changes once, on call 8, so
    // frames 8 and 9 differ from the frame two calls back and each motion image holds for 4 calls.
    Detector d;
    Image frame(24, 16, 1), scratch(24, 16, 1), output(24, 16, 1);
    std::vector<int> a_on, b_on;
    for (int call = 1; call <= 14; ++call) {
        for (uint32_t y = 4; y < 10; ++y)
            for (uint32_t x = 2; x < 8; ++x) {
                frame.at(x, y) = static_cast<unsigned char>(call * 60);
                frame.at(x + 12, y) = call >= 8 ? 90 : 10;
            }
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), output.get(), &d.det)) << call;
        EXPECT_EQ(uint32_t(std::min(4, std::max(0, call - 2))), kt_size_queue(&d.det.diff_queue));
        if (output.at(4, 6)) a_on.push_back(call);
        if (output.at(16, 6)) b_on.push_back(call);
        if (call == 8) {
            EXPECT_EQ(63, d.det.sum.data[6 * 24 + 16]);  // one motion image of 255 / 4
        }
    }
    EXPECT_EQ((std::vector<int>{7, 8, 9, 10, 11, 12, 13, 14}), a_on);
    EXPECT_EQ((std::vector<int>{8, 9, 10, 11, 12}), b_on);
    EXPECT_EQ(252, d.det.sum.data[6 * 24 + 4]);  // four motion images
}

TEST(Process, MatchesReferenceOnRandomStreams) {
    struct Case {
        uint32_t w, h, channels, n, k;
        float sensitivity;
    };
    const Case cases[] = {{17, 13, 1, 4, 1, 0.5f}, {9, 7, 4, 4, 1, 0.5f},  {33, 5, 1, 1, 1, 1.0f},
                          {8, 8, 1, 5, 2, 0.2f},   {3, 11, 4, 2, 3, 0.9f}, {21, 2, 1, 3, 1, 1.5f},
                          {1, 9, 1, 4, 1, 0.5f},   {64, 24, 4, 4, 1, 0.0f}, {37, 19, 4, 4, 1, 0.5f}};
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.channels) +
                     " n" + std::to_string(c.n) + " k" + std::to_string(c.k));
        Detector d(c.n, c.sensitivity, c.k);
        Reference ref(c.n, c.k, kt_detection_threshold(c.sensitivity));
        // The same stream against a reference with a higher threshold must differ somewhere.
        Reference blunt(c.n, c.k, kt_detection_threshold(c.sensitivity) + 30);
        // After 30 calls the frame size changes: the detector restarts its warm-up (all-zero masks).
        Image frame(c.w, c.h, c.channels), scratch(c.w, c.h, 1), output;
        Image other(c.w + 3, c.h + 1, c.channels), other_scratch(c.w + 3, c.h + 1, 1);
        kttest::fill_random(frame.get(), rng());
        kttest::fill_random(other.get(), rng());
        uint32_t interior_set = 0;
        bool differed = false;
        for (int call = 0; call < 40; ++call) {
            Image& f = call < 30 ? frame : other;
            Image& work = call < 30 ? scratch : other_scratch;
            next_frame(f.get(), rng, 50);
            ASSERT_EQ(1, kt_process(f.get(), work.get(), output.get(), &d.det));
            ASSERT_EQ(ref.feed(f.get()), bytes(output.get())) << "call " << call;
            differed |= blunt.feed(f.get()) != bytes(output.get());
            for (uint32_t y = 1; y + 1 < f.img.height; ++y)
                for (uint32_t x = 1; x + 1 < f.img.width; ++x) interior_set += output.at(x, y) != 0;
        }
        // The stream must exercise the eroded interior, not only the untouched border.
        if (c.w >= 8 && c.h >= 5) {
            EXPECT_GT(interior_set, 0u);
            EXPECT_TRUE(differed);
        }
    }
}

TEST(Process, ChangeTestMatchesPerPixelReference) {
    // Random odd sizes (the sixteen-pixel loops and their tails). Each block of 16 pixels is unchanged,
    // has a few small changes (blocks settled without squaring) or changes across the threshold.
    std::mt19937 rng(19);
    uint32_t moved = 0, still = 0;
    for (uint32_t channels : {1u, 4u})
        for (uint32_t t : {0u, 1u, 10u, 42u, 75u, 147u, 254u, 300u}) {
            const uint32_t w = 16 + rng() % 40, h = 2 + rng() % 8, pixels = w * h;
            SCOPED_TRACE(std::to_string(channels) + " channels, threshold " + std::to_string(t) + ", " +
                         std::to_string(w) + "x" + std::to_string(h));
            Image a(w, h, channels), b(w, h, channels), motion(w, h, 1);
            kttest::fill_random(a.get(), rng());
            std::vector<uint32_t> kinds((pixels + 15) / 16);
            for (uint32_t& k : kinds) k = rng() % 3;
            const int wide = int(std::min(t, 255u)) + 2, small = int(t) * 3 / 5 + 1;
            for (uint32_t i = 0; i < a.img.size; ++i) {
                const uint32_t kind = kinds[i / channels / 16];
                int delta = 0;
                if (kind == 1 && rng() % 4 == 0) delta = int(rng() % (2 * small + 1)) - small;
                if (kind == 2) delta = int(rng() % (2 * wide + 1)) - wide;
                b.img.data[i] = static_cast<unsigned char>(std::min(255, std::max(0, a.img.data[i] + delta)));
            }
            // Both sides of the threshold (the fourth byte never counts), and of q, the largest
            // difference whose three squares stay within t^2, in a block otherwise unchanged.
            uint32_t q = 0;
            while (3 * (q + 1) * (q + 1) <= t * t) ++q;
            auto plant = [&](uint32_t p, uint32_t d, bool all) {
                for (uint32_t c = 0; c < channels; ++c) {
                    a.img.data[channels * p + c] = 0;
                    b.img.data[channels * p + c] = c == 3 ? 200 : (c == 0 || all) ? uint8_t(d) : 0;
                }
            };
            if (t < 255) {
                for (uint32_t p = 16; p < 32; ++p) plant(p, 0, false);
                plant(0, t + 1, false);
                plant(1, t, false);
                plant(16, q + 1, true);
                plant(17, q, true);
            }
            std::vector<unsigned char> expected(pixels), blunt(pixels);
            for (uint32_t p = 0; p < pixels; ++p) {
                const unsigned char *pa = a.img.data + channels * p, *pb = b.img.data + channels * p;
                expected[p] = ref_moved(pa, pb, channels, t) ? 77 : 0;
                blunt[p] = ref_moved(pa, pb, channels, t + 1) ? 77 : 0;
                (expected[p] ? moved : still) += 1;
            }
            const std::vector<unsigned char> current = bytes(b.get());
            ASSERT_EQ(1, kt_threshold(a.get(), b.get(), motion.get(), t, 77));
            ASSERT_EQ(expected, bytes(motion.get()));
            ASSERT_EQ(current, bytes(a.get()));
            if (t < 255) {
                // The comparison can fail: one grey level of threshold changes pixel 0, and three
                // differences of q + 1 exceed the threshold.
                EXPECT_NE(blunt, expected);
                EXPECT_TRUE(channels == 1 || expected[16] == 77);
            }
        }
    EXPECT_GT(moved, 0u);
    EXPECT_GT(still, 0u);
    Image gray(3, 1, 1), colour(3, 1, 4), out(3, 1, 1), wrong(4, 1, 1);
    EXPECT_EQ(0, kt_threshold(gray.get(), gray.get(), wrong.get(), 42, 255));
    EXPECT_EQ(0, kt_threshold(colour.get(), gray.get(), out.get(), 42, 255));
}

TEST(Process, RunningSumMatchesPerByteSum) {
    std::mt19937 rng(3);
    const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {8, 1}, {9, 9}, {31, 17}, {64, 2}};
    for (const auto& s : sizes) {
        Image sum(s[0], s[1], 1), oldest(s[0], s[1], 1), newest(s[0], s[1], 1);
        for (int with_oldest = 0; with_oldest < 2; ++with_oldest) {
            kttest::fill_random(sum.get(), rng());
            kttest::fill_random(oldest.get(), rng());
            kttest::fill_random(newest.get(), rng());
            std::vector<unsigned char> expected = bytes(sum.get()), ignoring_oldest = expected;
            for (size_t i = 0; i < expected.size(); ++i) {
                const unsigned char old = with_oldest ? oldest.img.data[i] : 0;
                expected[i] = kt_combine_val(expected[i], old, newest.img.data[i]);
                ignoring_oldest[i] = static_cast<unsigned char>(ignoring_oldest[i] + newest.img.data[i]);
            }
            ASSERT_EQ(1, kt_combine(sum.get(), with_oldest ? oldest.get() : nullptr, newest.get()));
            EXPECT_EQ(expected, bytes(sum.get())) << s[0] << "x" << s[1];
            // The comparison is sharp enough to see a forgotten subtraction.
            if (with_oldest) {
                EXPECT_NE(ignoring_oldest, bytes(sum.get()));
            }
        }
    }
    EXPECT_EQ(3, kt_combine_val(1, 255, 1));  // 1 - 255 + 1 wraps to 3
    Image a(4, 4, 1), b(5, 4, 1);
    EXPECT_EQ(0, kt_combine(a.get(), nullptr, b.get()));
    EXPECT_EQ(0, kt_combine(a.get(), b.get(), a.get()));
    EXPECT_EQ(0, kt_combine(nullptr, nullptr, a.get()));
}

TEST(Process, RejectsBadInputWithoutChange) {
    Detector d;
    Image frame(8, 8, 1), scratch(8, 8, 1), out;
    Image two(8, 8, 2), odd_scratch(8, 7, 1), colour_scratch(8, 8, 4);
    kt_image lying = frame.img;
    lying.height = 80;  // claims more than its buffer
    kt_detection uninitialised{};
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), nullptr));
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), &uninitialised));
    EXPECT_EQ(0, kt_process(nullptr, scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(two.get(), scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(&lying, scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), odd_scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), colour_scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), nullptr, out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), scratch.get(), &d.det));
    EXPECT_EQ(0u, d.det.mask.width);  // nothing started
    EXPECT_EQ(0u, kt_size_queue(&d.det.frame_queue));
}

TEST(Process, SteadyStateTakesNoMemory) {
    Detector d;
    Image frame(24, 16, 4), scratch(24, 16, 1), out(24, 16, 1);
    std::mt19937 rng(9);
    for (int call = 0; call < 14; ++call) {
        kttest::fill_random(frame.get(), rng());
        // Once warm (call 8 on), any allocation through the core's allocator would fail the call.
        if (call >= 8) kt_alloc_fail_after(0);
        const int result = kt_process(frame.get(), scratch.get(), out.get(), &d.det);
        kt_alloc_fail_after(-1);
        EXPECT_EQ(1, result) << call;
    }
}

TEST(Process, AllocationFailureIsReportedAndRetried) {
    Detector d;
    Image frame(10, 10, 1), scratch(10, 10, 1), out;
    ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    // The third call needs a first motion image: its record fails, then its pixels.
    const struct {
        int succeed_first;
        const char* message;
    } failures[] = {{0, "kt_get_diff_image(...) - Unable to allocate memory for pImage."},
                    {1, "kt_get_diff_image(...) - Unable to initialize pImage"}};
    for (const auto& f : failures) {
        testing::internal::CaptureStdout();
        kt_alloc_fail_after(f.succeed_first);
        EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
        kt_alloc_fail_after(-1);
        EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find(f.message));
        EXPECT_EQ(0u, kt_size_queue(&d.det.diff_queue));
    }
    EXPECT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    EXPECT_EQ(1u, kt_size_queue(&d.det.diff_queue));
}

TEST(Detection, LifecycleQueueLengthsAndNoStaleSum) {
    kt_detection det{};
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 0, &det));
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 4, nullptr));
    ASSERT_EQ(1, kt_detection_init(0.25f, 4, 6, KT_KERNEL_ELLIPSE, 4, &det));
    EXPECT_EQ(4u, kt_get_imageq_len(&det));
    EXPECT_EQ(1u, kt_get_skip_imageq_len(&det));
    EXPECT_EQ(0xFFFFFFFFu, kt_get_imageq_len(nullptr) & kt_get_skip_imageq_len(nullptr));
    EXPECT_EQ(64u, det.conncomp.graph->capacity);

    // Run into steady state, then change N: queue and sum start empty again.
    Image frame(8, 8, 1), scratch(8, 8, 1), out;
    std::mt19937 rng(2);
    for (int call = 0; call < 8; ++call) {
        kttest::fill_random(frame.get(), rng());
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
    }
    ASSERT_EQ(1, kt_set_imageq_len(2, &det));
    EXPECT_EQ(0u, kt_size_queue(&det.diff_queue));
    EXPECT_EQ(std::vector<unsigned char>(64, 0), bytes(&det.sum));
    EXPECT_EQ(0, kt_set_imageq_len(0, &det));

    // K = 3 and a reset keep K, the kernel and N; a failed kernel rebuild keeps the old kernel.
    ASSERT_EQ(1, kt_set_skip_imageq_len(3, &det));
    ASSERT_EQ(1, kt_set_kernel(11, 11, KT_KERNEL_SQUARE, &det));
    ASSERT_EQ(1, kt_detection_reset(&det));
    EXPECT_EQ(3u, kt_get_skip_imageq_len(&det));
    EXPECT_EQ(2u, kt_get_imageq_len(&det));
    EXPECT_FLOAT_EQ(0.25f, det.sensitivity);
    EXPECT_EQ(0, kt_set_kernel(0, 11, 0, &det));
    EXPECT_EQ(11u, det.kernel.width);

    // Changing K mid-stream restarts the warm-up without leaving stale motion in the sum.
    for (uint32_t k : {3u, 1u}) {
        if (k == 1) {
            ASSERT_EQ(1, kt_set_skip_imageq_len(1, &det));
        }
        Reference ref(2, k, kt_detection_threshold(0.25f));
        for (int call = 0; call < 12; ++call) {
            next_frame(frame.get(), rng, 200);
            ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
            ASSERT_EQ(ref.feed(frame.get()), bytes(out.get())) << "k " << k << " call " << call;
        }
    }
    kt_detection_deinit(&det);
    EXPECT_EQ(0u, det.initialized);
    kt_detection_deinit(&det);
    EXPECT_EQ(0, kt_detection_reset(&det));
    EXPECT_EQ(0, kt_set_imageq_len(2, &det));
}

TEST(Detection, InitFailuresLeaveARecordToRetry) {
    kt_detection det{};
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 4, &det));
    kt_alloc_fail_after(3);  // graph record, vertices, links succeed; the kernel fails
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 4, &det));
    kt_alloc_fail_after(-1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos,
              out.find("kt_detection_init(...) - Unable to initialize connected components."));
    EXPECT_NE(std::string::npos, out.find("kt_detection_init(...) - Unable to initialize kernel."));
    EXPECT_EQ(0u, det.initialized);
    EXPECT_EQ(1, kt_detection_init(0.5f, 5, 5, 0, 4, &det));
    kt_detection_deinit(&det);
}

TEST(Detection, GetImageKeepsOrReshapes) {
    kt_image* image = kt_get_image(nullptr, 4, 3, 1);
    ASSERT_NE(nullptr, image);
    image->data[0] = 9;
    EXPECT_EQ(image, kt_get_image(image, 4, 3, 1));
    EXPECT_EQ(9, image->data[0]);  // the same shape keeps the pixels
    // Another size with the same channels is re-created too: a caller gets the shape it asked for.
    const uint32_t shapes[][3] = {{5, 3, 1}, {5, 3, 4}};
    for (const auto& s : shapes) {
        EXPECT_EQ(image, kt_get_image(image, s[0], s[1], s[2]));
        EXPECT_EQ(s[0] * s[1] * s[2], image->size);
        EXPECT_EQ(0, image->data[0]);
    }
    kt_free_image(image);
    free(image);
    EXPECT_EQ(nullptr, kt_get_image(nullptr, 0, 3, 1));
}

}  // namespace
