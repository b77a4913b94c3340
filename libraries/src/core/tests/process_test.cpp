// Frame differencing: kernels, the change threshold, warm-up and steady state of kt_process against a
// plain reference detector, the eight-byte running sum against a per-byte one, and failure handling.
#include "kt_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// Plain reference of the detector: all frames kept, the mask recomputed from the last N motion
// images, erosion written out per pixel.
struct Reference {
    uint32_t n, k, threshold, width = 0, height = 0, channels = 0;
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
        channels = frame->channels;
        frames.emplace_back(frame->data, frame->data + frame->size);
        if (frames.size() <= k + 1) return mask;
        const std::vector<unsigned char>& prev = frames[frames.size() - k - 2];
        const std::vector<unsigned char>& cur = frames.back();
        std::vector<unsigned char> motion(size_t(width) * height, 0);
        for (size_t p = 0; p < motion.size(); ++p) {
            bool moved;
            if (channels == 1) {
                moved = std::abs(int(prev[p]) - int(cur[p])) > int(threshold);
            } else {
                int e = 0;
                for (int c = 0; c < 3; ++c) {
                    int d = int(prev[4 * p + c]) - int(cur[4 * p + c]);
                    e += d * d;
                }
                moved = e > int(threshold * threshold);
            }
            motion[p] = moved ? static_cast<unsigned char>(255 / n) : 0;
        }
        motions.push_back(motion);
        if (motions.size() <= n) return mask;
        motions.pop_front();
        std::vector<unsigned char> any(motion.size(), 0);
        for (const auto& m : motions)
            for (size_t p = 0; p < any.size(); ++p)
                if (m[p]) any[p] = 255;
        mask = any;  // borders keep the unmasked value: the erosion does not write them
        if (height >= 3)
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
            for (uint32_t c = 0; c < frame->channels; ++c)
                frame->data[kt_image_index(frame, x, y) + c] = value;
    for (uint32_t i = 0; i < frame->size; ++i)
        if (int(rng() % 1000) < change_per_mille) frame->data[i] = static_cast<unsigned char>(rng());
}

std::vector<unsigned char> bytes(const kt_image* image) {
    return std::vector<unsigned char>(image->data, image->data + image->size);
}

TEST(DetectionKernel, ShapesAndSizes) {
    kt_kernel k{};
    ASSERT_EQ(1, kt_init_kernel(&k, 4, 4, KT_KERNEL_ELLIPSE));
    EXPECT_EQ(5u, k.width);
    EXPECT_EQ(5u, k.height);
    EXPECT_EQ(2u, k.half_width);
    EXPECT_EQ(2u, k.half_height);
    for (uint32_t j = 0; j < 5; ++j)
        for (uint32_t i = 0; i < 5; ++i) {
            const bool corner = (i == 0 || i == 4) && (j == 0 || j == 4);
            EXPECT_EQ(corner ? 65535 : 0, k.cells[i + 5 * j]) << i << "," << j;
        }
    kt_free_kernel(&k);
    EXPECT_EQ(nullptr, k.cells);

    ASSERT_EQ(1, kt_init_kernel(&k, 11, 6, KT_KERNEL_SQUARE));
    EXPECT_EQ(11u, k.width);
    EXPECT_EQ(7u, k.height);
    EXPECT_EQ(5u, k.half_width);
    EXPECT_EQ(3u, k.half_height);
    for (uint32_t i = 0; i < 77; ++i) EXPECT_EQ(0, k.cells[i]);
    EXPECT_EQ(1, kt_kernel_valid(&k));
    kt_free_kernel(&k);
    kt_free_kernel(&k);

    EXPECT_EQ(0, kt_init_kernel(nullptr, 5, 5, 0));
    EXPECT_EQ(0, kt_init_kernel(&k, 0, 5, 0));
    EXPECT_EQ(0, kt_init_kernel(&k, 5, 0, 0));
    EXPECT_EQ(0, kt_init_kernel(&k, 5, KT_KERNEL_MAX_SIDE + 1, 0));
    EXPECT_EQ(0, kt_kernel_valid(&k));

    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_init_kernel(&k, 5, 5, 0));
    kt_alloc_fail_after(-1);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find(
                                     "kt_init_kernel(...) - Unable to allocate memory for pKernelBuf."));
}

TEST(DetectionThreshold, FromSensitivity) {
    const struct {
        float s;
        uint32_t t;
    } cases[] = {{1.0f, 10}, {0.5f, 42}, {0.0f, 75}, {0.9f, 16}, {1.5f, 0}, {-0.01f, 0},
                 {std::nanf(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(c.t, kt_detection_threshold(c.s)) << c.s;
}

TEST(Process, WarmUpAndFirstMask) {
    // K = 1, N = 4: calls 1-2 warm up, call 3 makes the first motion image, and the mask can first
    // be non-zero on call 7. A 7x7 block changes by 120 or more every call and survives the erosion.
    Detector d;
    Image frame(20, 20, 1), scratch(20, 20, 1), output(20, 20, 1);
    for (int call = 1; call <= 8; ++call) {
        for (uint32_t y = 5; y < 12; ++y)
            for (uint32_t x = 5; x < 12; ++x) frame.at(x, y) = static_cast<unsigned char>(call * 60);
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), output.get(), &d.det)) << call;
        const uint32_t queued = kt_size_queue(&d.det.diff_queue);
        EXPECT_EQ(uint32_t(std::min(4, std::max(0, call - 2))), queued) << call;
        EXPECT_EQ(call >= 7 ? 255 : 0, output.at(8, 8)) << call;
        EXPECT_EQ(0, output.at(0, 0));
    }
    // The motion images are 255 / 4 = 63 each; four of them sum to 252.
    EXPECT_EQ(252, d.det.sum.data[8 * 20 + 8]);
}

TEST(Process, OneChangeInFourIsEnough) {
    // A block that changed once keeps the mask set for exactly the next N differences.
    Detector d;
    Image frame(16, 16, 1), scratch(16, 16, 1), output(16, 16, 1);
    std::vector<int> on;
    for (int call = 1; call <= 14; ++call) {
        for (uint32_t y = 4; y < 10; ++y)
            for (uint32_t x = 4; x < 10; ++x) frame.at(x, y) = call >= 8 ? 90 : 10;
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), output.get(), &d.det));
        if (output.at(6, 6)) on.push_back(call);
        if (call == 8) {
            EXPECT_EQ(63, d.det.sum.data[6 * 16 + 6]);
        }
    }
    // Frame 8 differs from frame 7 (call 8 compares 8 with 6) and frame 9 from frame 7: two motion
    // images, each held for 4 calls.
    EXPECT_EQ((std::vector<int>{8, 9, 10, 11, 12}), on);
}

TEST(Process, MatchesReferenceOnRandomStreams) {
    struct Case {
        uint32_t w, h, channels, n, k;
        float sensitivity;
    };
    const Case cases[] = {{17, 13, 1, 4, 1, 0.5f}, {9, 7, 4, 4, 1, 0.5f},  {33, 5, 1, 1, 1, 1.0f},
                          {8, 8, 1, 5, 2, 0.2f},   {3, 11, 4, 2, 3, 0.9f}, {21, 2, 1, 3, 1, 1.5f},
                          {1, 9, 1, 4, 1, 0.5f},   {64, 24, 4, 4, 1, 0.0f}};
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" +
                     std::to_string(c.channels) + " n" + std::to_string(c.n) + " k" +
                     std::to_string(c.k));
        Detector d(c.n, c.sensitivity, c.k);
        Reference ref(c.n, c.k, kt_detection_threshold(c.sensitivity));
        Image frame(c.w, c.h, c.channels), scratch(c.w, c.h, 1), output;
        kttest::fill_random(frame.get(), rng());
        uint32_t interior_set = 0;
        for (int call = 0; call < 30; ++call) {
            next_frame(frame.get(), rng, 50);
            ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), output.get(), &d.det));
            ASSERT_EQ(ref.feed(frame.get()), bytes(output.get())) << "call " << call;
            for (uint32_t y = 1; y + 1 < c.h; ++y)
                for (uint32_t x = 1; x + 1 < c.w; ++x) interior_set += output.at(x, y) != 0;
        }
        // The stream must exercise the eroded interior, not only the untouched border.
        if (c.w >= 8 && c.h >= 5) {
            EXPECT_GT(interior_set, 0u);
        }
    }
}

TEST(Process, ReferenceComparisonCanFail) {
    // The same stream against a reference with another threshold must differ somewhere.
    Detector d(4, 0.5f);
    Reference ref(4, 1, kt_detection_threshold(0.5f) + 30);
    Image frame(17, 13, 1), scratch(17, 13, 1), output;
    std::mt19937 rng(5);
    kttest::fill_random(frame.get(), rng());
    bool differed = false;
    for (int call = 0; call < 20; ++call) {
        next_frame(frame.get(), rng, 300);
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), output.get(), &d.det));
        differed |= ref.feed(frame.get()) != bytes(output.get());
    }
    EXPECT_TRUE(differed);
}

TEST(Process, FourChannelChangeIsEuclidean) {
    // Threshold 42: a change of (42, 0, 0) does not count, (42, 1, 0) does (1764 + 1 > 1764).
    Image prev(2, 1, 4), cur(2, 1, 4), out(2, 1, 1);
    cur.at(0, 0, 0) = 42;
    cur.at(1, 0, 0) = 42;
    cur.at(1, 0, 1) = 1;
    cur.at(1, 0, 3) = 200;  // the fourth byte does not count
    EXPECT_EQ(1, kt_threshold(prev.get(), cur.get(), out.get(), 42, 63));
    EXPECT_EQ(0, out.at(0, 0));
    EXPECT_EQ(63, out.at(1, 0));
    EXPECT_EQ(bytes(cur.get()), bytes(prev.get()));  // the current frame was copied over
    Image gray_prev(3, 1, 1), gray_cur(3, 1, 1), gray_out(3, 1, 1);
    gray_prev.at(0, 0) = 100;
    gray_cur.at(0, 0) = 58;   // 42: not above
    gray_cur.at(1, 0) = 43;   // 43: above
    gray_prev.at(2, 0) = 43;  // same, other direction
    EXPECT_EQ(1, kt_threshold(gray_prev.get(), gray_cur.get(), gray_out.get(), 42, 255));
    EXPECT_EQ((std::vector<unsigned char>{0, 255, 255}), bytes(gray_out.get()));
    Image wrong(4, 1, 1);
    EXPECT_EQ(0, kt_threshold(gray_prev.get(), gray_cur.get(), wrong.get(), 42, 255));
    EXPECT_EQ(0, kt_threshold(prev.get(), gray_cur.get(), gray_out.get(), 42, 255));
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
                expected[i] = kt_combine_val(expected[i], with_oldest ? oldest.img.data[i] : 0,
                                             newest.img.data[i]);
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

TEST(Process, FrameSizeChangeRestartsWarmUp) {
    Detector d;
    Image big(12, 12, 1), small(10, 8, 1), scratch_big(12, 12, 1), scratch_small(10, 8, 1), out;
    std::mt19937 rng(1);
    for (int call = 0; call < 8; ++call) {
        kttest::fill_random(big.get(), rng());
        ASSERT_EQ(1, kt_process(big.get(), scratch_big.get(), out.get(), &d.det));
    }
    kttest::fill_random(small.get(), rng());
    ASSERT_EQ(1, kt_process(small.get(), scratch_small.get(), out.get(), &d.det));
    EXPECT_EQ(10u, out.img.width);
    EXPECT_EQ(8u, out.img.height);
    EXPECT_EQ(std::vector<unsigned char>(80, 0), bytes(out.get()));
    EXPECT_EQ(0u, kt_size_queue(&d.det.diff_queue));
    EXPECT_EQ(1u, kt_get_skip_imageq_len(&d.det));
    // Second call at the new size is still warm-up.
    ASSERT_EQ(1, kt_process(small.get(), scratch_small.get(), out.get(), &d.det));
    EXPECT_EQ(0u, kt_size_queue(&d.det.diff_queue));
    ASSERT_EQ(1, kt_process(small.get(), scratch_small.get(), out.get(), &d.det));
    EXPECT_EQ(1u, kt_size_queue(&d.det.diff_queue));
}

TEST(Process, RejectsBadInputWithoutChange) {
    Detector d;
    Image frame(8, 8, 1), scratch(8, 8, 1), out;
    Image two(8, 8, 2), odd_scratch(8, 7, 1), colour_scratch(8, 8, 4);
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), nullptr));
    EXPECT_EQ(0, kt_process(nullptr, scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(two.get(), scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), odd_scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), colour_scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), nullptr, out.get(), &d.det));
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), scratch.get(), &d.det));
    kt_image lying = frame.img;
    lying.height = 80;  // claims more than its buffer
    EXPECT_EQ(0, kt_process(&lying, scratch.get(), out.get(), &d.det));
    EXPECT_EQ(0u, d.det.mask.width);  // nothing started
    EXPECT_EQ(0u, kt_size_queue(&d.det.frame_queue));
    kt_detection uninitialised{};
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), &uninitialised));
}

TEST(Process, SteadyStateTakesNoMemory) {
    Detector d;
    Image frame(24, 16, 1), scratch(24, 16, 1), out(24, 16, 1);
    std::mt19937 rng(9);
    for (int call = 0; call < 8; ++call) {
        kttest::fill_random(frame.get(), rng());
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    }
    // Any allocation through the core's allocator would now fail the call.
    for (int call = 0; call < 6; ++call) {
        kttest::fill_random(frame.get(), rng());
        kt_alloc_fail_after(0);
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
    // Third call needs a first motion image record.
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    kt_alloc_fail_after(-1);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find(
                                     "kt_get_diff_image(...) - Unable to allocate memory for pImage."));
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(1);  // the record succeeds, its pixels fail
    EXPECT_EQ(0, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    kt_alloc_fail_after(-1);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find(
                                     "kt_get_diff_image(...) - Unable to initialize pImage"));
    EXPECT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &d.det));
    EXPECT_EQ(1u, kt_size_queue(&d.det.diff_queue));
}

TEST(Detection, LifecycleAndQueueLengths) {
    kt_detection det{};
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 0, &det));
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 4, nullptr));
    ASSERT_EQ(1, kt_detection_init(0.25f, 4, 6, KT_KERNEL_ELLIPSE, 4, &det));
    EXPECT_EQ(4u, kt_get_imageq_len(&det));
    EXPECT_EQ(1u, kt_get_skip_imageq_len(&det));
    EXPECT_EQ(0xFFFFFFFFu, kt_get_imageq_len(nullptr));
    EXPECT_EQ(0xFFFFFFFFu, kt_get_skip_imageq_len(nullptr));
    EXPECT_EQ(64u, det.conncomp.graph->capacity);
    EXPECT_EQ(5u, det.kernel.width);
    EXPECT_EQ(7u, det.kernel.height);

    // Run into steady state, then change N: queue and sum start empty again.
    Image frame(8, 8, 1), scratch(8, 8, 1), out;
    std::mt19937 rng(2);
    for (int call = 0; call < 8; ++call) {
        kttest::fill_random(frame.get(), rng());
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
    }
    ASSERT_EQ(1, kt_set_imageq_len(2, &det));
    EXPECT_EQ(2u, kt_get_imageq_len(&det));
    EXPECT_EQ(0u, kt_size_queue(&det.diff_queue));
    EXPECT_EQ(std::vector<unsigned char>(64, 0), bytes(&det.sum));
    EXPECT_EQ(0, kt_set_imageq_len(0, &det));

    // K = 3 and a reset keep K, the kernel and N.
    ASSERT_EQ(1, kt_set_skip_imageq_len(3, &det));
    ASSERT_EQ(1, kt_set_kernel(11, 11, KT_KERNEL_SQUARE, &det));
    ASSERT_EQ(1, kt_detection_reset(&det));
    EXPECT_EQ(3u, kt_get_skip_imageq_len(&det));
    EXPECT_EQ(2u, kt_get_imageq_len(&det));
    EXPECT_EQ(11u, det.kernel.width);
    EXPECT_FLOAT_EQ(0.25f, det.sensitivity);
    EXPECT_EQ(0, kt_set_kernel(0, 11, 0, &det));
    EXPECT_EQ(11u, det.kernel.width);  // a failed rebuild keeps the old kernel

    // Changing K mid-stream restarts the warm-up without leaving stale motion in the sum.
    Reference ref(2, 3, kt_detection_threshold(0.25f));
    for (int call = 0; call < 12; ++call) {
        next_frame(frame.get(), rng, 200);
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
        ASSERT_EQ(ref.feed(frame.get()), bytes(out.get())) << call;
    }
    ASSERT_EQ(1, kt_set_skip_imageq_len(1, &det));
    Reference restarted(2, 1, kt_detection_threshold(0.25f));
    for (int call = 0; call < 10; ++call) {
        next_frame(frame.get(), rng, 200);
        ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
        const std::vector<unsigned char>& expected = restarted.feed(frame.get());
        ASSERT_EQ(expected, bytes(out.get())) << call;
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
    EXPECT_EQ(12u, image->size);
    image->data[0] = 9;
    EXPECT_EQ(image, kt_get_image(image, 4, 3, 1));
    EXPECT_EQ(9, image->data[0]);
    // Another size with the same channels is re-created too: a caller gets the shape it asked for.
    EXPECT_EQ(image, kt_get_image(image, 5, 3, 1));
    EXPECT_EQ(15u, image->size);
    EXPECT_EQ(0, image->data[0]);
    EXPECT_EQ(image, kt_get_image(image, 5, 3, 4));
    EXPECT_EQ(60u, image->size);
    kt_free_image(image);
    free(image);
    EXPECT_EQ(nullptr, kt_get_image(nullptr, 0, 3, 1));
}

}  // namespace
