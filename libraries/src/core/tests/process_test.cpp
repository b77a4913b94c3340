// Frame differencing: kernels, the change threshold, kt_process (running sum included) against a
// plain reference detector, the change test against a per-pixel one, and failures.
#include <algorithm>
#include <cmath>

#include "image_test_util.h"
#include "kt_process.h"

using kttest::bytes;
using kttest::Image;

// Owns a detector for one test.
struct Detector {
    kt_detection det{};
    explicit Detector(uint32_t n = 4, float sensitivity = 0.5f, uint32_t k = 1) {
        EXPECT_TRUE(kt_detection_init(sensitivity, 5, 5, KT_KERNEL_SQUARE, n, &det) && kt_set_skip_imageq_len(k, &det));
    }
    ~Detector() { kt_detection_deinit(&det); }
};

// Whether a pixel changed by more than the threshold: absolute difference for one channel, squared
// distance of bytes 0..2 against threshold squared for four.
static bool ref_moved(const unsigned char* a, const unsigned char* b, uint32_t channels, uint32_t threshold) {
    if (channels == 1) return std::abs(int(a[0]) - int(b[0])) > int(threshold);
    int64_t e = 0; for (int c = 0; c < 3; ++c) e += (int(a[c]) - int(b[c])) * (int(a[c]) - int(b[c]));
    return e > int64_t(threshold) * threshold;
}

// Plain reference of the detector: all frames kept; once N + 1 motion images exist, the mask is every
// pixel that moved in one of the last N, eroded per pixel (the erosion does not write the border).
struct Reference {
    uint32_t n, k, threshold, width = 0, height = 0;
    std::vector<std::vector<unsigned char>> frames; std::vector<unsigned char> mask;
    Reference(uint32_t n_, uint32_t k_, uint32_t t) : n(n_), k(k_), threshold(t) {}

    const std::vector<unsigned char>& feed(const kt_image* frame) {
        if (frame->width != width || frame->height != height) {
            frames.clear(), width = frame->width, height = frame->height, mask.assign(size_t(width) * height, 0);
        }
        frames.emplace_back(frame->data, frame->data + frame->size);
        if (frames.size() < n + k + 2) return mask;
        const size_t last = frames.size() - 1, c = frame->channels;
        std::vector<unsigned char> any(mask.size(), 0);
        for (size_t j = 0; j < n; ++j) {
            const unsigned char *cur = frames[last - j].data(), *prev = frames[last - j - k - 1].data();
            for (size_t p = 0; p < any.size(); ++p)
                if (ref_moved(prev + c * p, cur + c * p, c, threshold)) any[p] = 255;
        }
        mask = any;
        for (uint32_t y = 1; y + 1 < height; ++y)
            for (uint32_t x = 1; x + 1 < width; ++x)
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) mask[y * width + x] &= any[(y + dy) * width + (x + dx)];
        return mask;
    }
};

// Next frame of a slowly changing scene: a random rectangle takes a new value (solid motion that
// survives the erosion) and a few scattered bytes jump (noise the erosion removes).
static void next_frame(kt_image* frame, std::mt19937& rng, int change_per_mille) {
    const uint32_t x0 = rng() % frame->width, y0 = rng() % frame->height;
    const uint32_t x1 = std::min<uint32_t>(frame->width, x0 + 1 + rng() % 8),
                   y1 = std::min<uint32_t>(frame->height, y0 + 1 + rng() % 8), value = rng() & 255;
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x)
            std::memset(frame->data + kt_image_index(frame, x, y), value, frame->channels);
    for (uint32_t i = 0; i < frame->size; ++i)
        if (int(rng() % 1000) < change_per_mille) frame->data[i] = static_cast<unsigned char>(rng());
}

TEST(DetectionKernel, ShapesSizesAndThresholds) {
    kt_kernel k{};
    ASSERT_TRUE(kt_init_kernel(&k, 4, 4, KT_KERNEL_ELLIPSE) == 1 && k.width == 5u);  // even sides raised to 5
    for (uint32_t i = 0; i < 25; ++i)  // only the four corners are outside
        EXPECT_EQ(i == 0 || i == 4 || i == 20 || i == 24 ? 65535 : 0, k.cells[i]) << i;
    kt_free_kernel(&k);
    ASSERT_EQ(1, kt_init_kernel(&k, 11, 6, KT_KERNEL_SQUARE));
    EXPECT_TRUE(k.half_height == 3 && std::count(k.cells, k.cells + 77, 0) == 77);
    kt_free_kernel(&k);
    EXPECT_EQ(0, kt_init_kernel(nullptr, 5, 5, 0) | kt_init_kernel(&k, 0, 5, 0) |
                     kt_init_kernel(&k, 5, KT_KERNEL_MAX_SIDE + 1, 0));
    const std::string out = kttest::with_alloc_failure(0, [&] { EXPECT_EQ(0, kt_init_kernel(&k, 5, 5, 0)); });
    EXPECT_NE(std::string::npos, out.find("kt_init_kernel(...) - Unable to allocate memory for pKernelBuf."));
    EXPECT_EQ(0, kt_kernel_valid(&k));

    const std::pair<float, uint32_t> cases[] = {{1.0f, 10}, {0.5f, 42}, {0.0f, 75}, {0.9f, 16}, {1.5f, 0},
                                                {-0.01f, 0}, {std::nanf(""), 0}};  // sensitivity, threshold
    for (auto [s, t] : cases) EXPECT_EQ(t, kt_detection_threshold(s)) << s;
}

TEST(Process, MatchesReferenceOnRandomStreamsWithoutSteadyStateAllocation) {
    // {w, h, channels, n, k, sensitivity}: warm-up, steady state, then a size change restarts it.
    const struct { uint32_t w, h, channels, n, k; float sensitivity; } cases[] = {
        {17, 13, 1, 4, 1, 0.5f}, {9, 7, 4, 4, 1, 0.5f},  {33, 5, 1, 1, 1, 1.0f},  {8, 8, 1, 5, 2, 0.2f},
        {3, 11, 4, 2, 3, 0.9f},  {21, 2, 1, 3, 1, 1.5f}, {1, 9, 1, 4, 1, 0.5f},   {64, 24, 4, 4, 1, 0.0f}};
    std::mt19937 rng(11);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.channels << " n" << c.n << " k" << c.k);
        Detector d(c.n, c.sensitivity, c.k);
        // The same stream against a reference with a higher threshold must differ somewhere.
        Reference ref{c.n, c.k, kt_detection_threshold(c.sensitivity)}, blunt{c.n, c.k, ref.threshold + 30};
        Image frame(c.w, c.h, c.channels), scratch(c.w, c.h, 1), output;
        Image other(c.w + 3, c.h + 1, c.channels), other_scratch(c.w + 3, c.h + 1, 1);
        kttest::fill_random(frame.get(), rng()), kttest::fill_random(other.get(), rng());
        uint32_t interior_set = 0; bool differed = false;
        for (int call = 0; call < 40; ++call) {
            Image& f = call < 30 ? frame : other; next_frame(f.get(), rng, 50);
            // Once the queues are full any allocation through the core's allocator fails the call.
            if (call % 30 > int(c.n + c.k) + 1) kt_alloc_fail_after(0);
            const int result = kt_process(f.get(), (call < 30 ? scratch : other_scratch).get(), output.get(), &d.det);
            kt_alloc_fail_after(-1);
            ASSERT_EQ(1, result) << "call " << call;
            ASSERT_EQ(ref.feed(f.get()), bytes(output.get())) << "call " << call;
            differed |= blunt.feed(f.get()) != bytes(output.get());
            for (uint32_t y = 1; y + 1 < f.img.height; ++y)
                for (uint32_t x = 1; x + 1 < f.img.width; ++x) interior_set += output.at(x, y) != 0;
        }
        // The stream must exercise the eroded interior, not only the border.
        if (c.w >= 8 && c.h >= 5) { EXPECT_TRUE(interior_set > 0 && differed); }
    }
}

TEST(Process, ChangeTestMatchesPerPixelReference) {
    // Random sizes (the sixteen-pixel loops and their tails). Each block of 16 pixels is unchanged, has
    // a few small changes (blocks settled without squaring) or changes across the threshold. Pixels 0
    // and 1 sit on both sides of t in byte 0 (the fourth byte never counts); pixels 16 and 17 on both
    // sides of q, the largest difference whose three squares stay within t^2, in a calm block.
    std::mt19937 rng(19); uint32_t moved = 0, still = 0;
    for (uint32_t channels : {1u, 4u})
        for (uint32_t t : {0u, 1u, 10u, 42u, 75u, 147u, 254u, 300u}) {
            const uint32_t w = 16 + rng() % 40, h = 2 + rng() % 8, pixels = w * h;
            SCOPED_TRACE(std::to_string(channels) + " channels, threshold " + std::to_string(t));
            Image a(w, h, channels), b(w, h, channels), motion(w, h, 1); kttest::fill_random(a.get(), rng());
            const int wide = int(std::min(t, 255u)) + 2, small = int(t) * 3 / 5 + 1;
            for (uint32_t i = 0, kind = 0; i < a.img.size; ++i) {
                if (i % (16 * channels) == 0) kind = rng() % 3;
                const int delta = kind == 2 ? int(rng() % (2 * wide + 1)) - wide
                                  : kind == 1 && rng() % 4 == 0 ? int(rng() % (2 * small + 1)) - small : 0;
                b.img.data[i] = static_cast<unsigned char>(std::min(255, std::max(0, a.img.data[i] + delta)));
            }
            uint32_t q = 0; while (3 * (q + 1) * (q + 1) <= t * t) ++q;
            for (uint32_t p = 0; t < 255 && p < 32; ++p)
                for (uint32_t c = 0; c < channels; ++c) {
                    const uint32_t d = p == 0 ? t + 1 : p == 1 ? t : p == 16 ? q + 1 : p == 17 ? q : 0;
                    a.img.data[channels * p + c] = 0;
                    b.img.data[channels * p + c] = c == 3 ? 200 : (c == 0 || p >= 16) ? uint8_t(d) : 0;
                }
            std::vector<unsigned char> expected(pixels);
            for (uint32_t p = 0; p < pixels; ++p) {
                expected[p] = ref_moved(a.img.data + channels * p, b.img.data + channels * p, channels, t) ? 77 : 0;
                (expected[p] ? moved : still) += 1;
            }
            const std::vector<unsigned char> current = bytes(b.get());
            ASSERT_EQ(1, kt_threshold(a.get(), b.get(), motion.get(), t, 77)); ASSERT_EQ(expected, bytes(motion.get()));
            ASSERT_EQ(current, bytes(a.get()));  // the current frame becomes the previous one
            // Three differences of q + 1 exceed the threshold, three of q do not.
            EXPECT_TRUE(t >= 255 || channels == 1 || (expected[16] == 77 && expected[17] == 0));
        }
    EXPECT_TRUE(moved > 0 && still > 0);
    Image gray(3, 1, 1), colour(3, 1, 4), out(3, 1, 1), wrong(4, 1, 1);
    EXPECT_EQ(0, kt_threshold(gray.get(), gray.get(), wrong.get(), 42, 255) |
                     kt_threshold(colour.get(), gray.get(), out.get(), 42, 255));
}

TEST(Process, RejectsBadInputWithoutChangeAndRecoversFromAllocationFailure) {
    Detector d;
    Image frame(8, 8, 1), scratch(8, 8, 1), out, two(8, 8, 2), odd_scratch(8, 7, 1), colour_scratch(8, 8, 4);
    kt_image lying{frame.img.data, 8, 80, 1, frame.img.size};  // claims more than its buffer
    kt_detection uninitialised{}, *D = &d.det;
    kt_image *F = frame.get(), *S = scratch.get(), *O = out.get();
    const int results[] = {kt_process(F, S, O, nullptr), kt_process(F, S, O, &uninitialised),
                           kt_process(nullptr, S, O, D), kt_process(two.get(), S, O, D), kt_process(&lying, S, O, D),
                           kt_process(F, odd_scratch.get(), O, D), kt_process(F, colour_scratch.get(), O, D),
                           kt_process(F, nullptr, O, D), kt_process(F, S, S, D)};
    for (size_t i = 0; i < sizeof results / sizeof *results; ++i) EXPECT_EQ(0, results[i]) << i;
    EXPECT_TRUE(d.det.mask.width == 0 && kt_size_queue(&d.det.frame_queue) == 0);  // nothing started
    // The third call needs a first motion image: its record fails, then its pixels; later calls recover.
    auto process = [&] { return kt_process(F, S, O, D); };
    ASSERT_EQ(2, process() + process());
    const char* messages[] = {"kt_get_diff_image(...) - Unable to allocate memory for pImage.",
                              "kt_get_diff_image(...) - Unable to initialize pImage"};
    for (int succeed_first = 0; succeed_first < 2; ++succeed_first) {
        const std::string printed = kttest::with_alloc_failure(succeed_first, [&] { EXPECT_EQ(0, process()); });
        EXPECT_NE(std::string::npos, printed.find(messages[succeed_first]));
        EXPECT_EQ(0u, kt_size_queue(&d.det.diff_queue));
    }
    EXPECT_TRUE(process() == 1 && kt_size_queue(&d.det.diff_queue) == 1);
}

TEST(Detection, LifecycleQueueLengthsNoStaleSumAndInitFailures) {
    kt_detection det{};
    EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 0, &det) | kt_detection_init(0.5f, 5, 5, 0, 4, nullptr));
    ASSERT_EQ(1, kt_detection_init(0.25f, 4, 6, KT_KERNEL_ELLIPSE, 4, &det));
    EXPECT_TRUE(kt_get_imageq_len(&det) == 4 && kt_get_skip_imageq_len(&det) == 1);
    // Each run starts a fresh reference: changing K mid-stream restarts the warm-up without leaving
    // stale motion in the sum.
    Image frame(8, 8, 1), scratch(8, 8, 1), out; std::mt19937 rng(2);
    auto run = [&](uint32_t n, uint32_t k) {
        Reference ref{n, k, kt_detection_threshold(0.25f)};
        for (int call = 0; call < 12; ++call) {
            next_frame(frame.get(), rng, 200);
            ASSERT_EQ(1, kt_process(frame.get(), scratch.get(), out.get(), &det));
            ASSERT_EQ(ref.feed(frame.get()), bytes(out.get())) << "n " << n << " k " << k << " call " << call;
        }
    };
    run(4, 1);
    ASSERT_EQ(1, kt_set_imageq_len(2, &det));  // a new N keeps the frames but empties queue and sum
    EXPECT_TRUE(kt_size_queue(&det.diff_queue) == 0 && bytes(&det.sum) == std::vector<unsigned char>(64, 0));
    EXPECT_EQ(0, kt_set_imageq_len(0, &det));
    // A reset keeps K, the kernel and N; a failed kernel rebuild keeps the old kernel.
    ASSERT_EQ(1, kt_set_skip_imageq_len(3, &det) & kt_set_kernel(11, 11, KT_KERNEL_SQUARE, &det));
    ASSERT_EQ(1, kt_detection_reset(&det));
    EXPECT_TRUE(kt_get_skip_imageq_len(&det) == 3 && kt_get_imageq_len(&det) == 2 && det.sensitivity == 0.25f);
    EXPECT_TRUE(kt_set_kernel(0, 11, 0, &det) == 0 && det.kernel.width == 11);
    run(2, 3);
    ASSERT_EQ(1, kt_set_skip_imageq_len(1, &det)); run(2, 1);
    kt_detection_deinit(&det); EXPECT_EQ(0u, det.initialized);
    kt_detection_deinit(&det);
    EXPECT_EQ(0, kt_detection_reset(&det) | kt_set_imageq_len(2, &det));
    // A failed init leaves a record to retry; with 3 allocations (graph record, vertices and links) the
    // kernel fails.
    auto init = [&] { EXPECT_EQ(0, kt_detection_init(0.5f, 5, 5, 0, 4, &det)); };
    for (auto [n, m] : {std::pair<int, std::string>{0, "connected components."}, {3, "kernel."}})
        EXPECT_NE(std::string::npos, kttest::with_alloc_failure(n, init).find(
                                         "kt_detection_init(...) - Unable to initialize " + m)) << m;
    EXPECT_TRUE(det.initialized == 0 && kt_detection_init(0.5f, 5, 5, 0, 4, &det) == 1);
    kt_detection_deinit(&det);
}

