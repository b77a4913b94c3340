// Blob tracker memory on a worst-case full-HD frame: thousands of blobs and hundreds of live objects
// stay within a sane bound (the candidate buffer follows the candidates actually produced), and the
// steady state allocates nothing.
#include <gtest/gtest.h>

#include <cstdio>

#include "../../misc/tests/AllocCounter.h"
#include "kt_tracker.h"
#include "tracker_util.h"

namespace {

using kttest::Blobs;
using kttest::Box;

/* Whatever the blob and object counts, the tracker's buffers and records on this frame stay below
 * this (the blob descriptions dominate: five histograms per blob, capacity twice the blobs). */
const uint64_t kMaxTrackerBytes = 48ull << 20;

TEST(TrackerMemory, WorstCaseFullHdFrame) {
    kttest::Image img(1920, 1080, 4);
    kttest::fill_random(img.get(), 3);
    // 500 large blobs that start objects and 3600 small noise blobs (confidence 0.1) under and
    // between them: every object overlaps its own blob and several noise blobs.
    std::vector<Box> boxes;
    std::vector<float> conf;
    for (uint32_t r = 0; r < 20; ++r)
        for (uint32_t c = 0; c < 25; ++c) boxes.push_back({10 + 76 * c, 10 + 53 * r, 60, 48}), conf.push_back(1.0f);
    for (uint32_t y = 0; y + 6 < 1080; y += 24)
        for (uint32_t x = 0; x + 6 < 1920; x += 24) boxes.push_back({x, y, 6, 6}), conf.push_back(0.1f);
    const Blobs blobs(boxes, conf);
    kttest::List list;
    kt_tracker_input in = kttest::input(img.get(), blobs, 0);
    in.blob_count = INT32_MAX;  // a count beyond the list never reads past it
    uint64_t peak = 0;
    uint32_t most = 0;
    alloc_counter::Counts before{};
    for (uint32_t f = 0; f < 10; ++f) {
        if (f == 6) before = alloc_counter::now();
        in.now = f * 40;
        ASSERT_EQ(1, kt_tracker_process(&in, list.get()));
        peak = std::max(peak, kt_object_list_bytes(list.get()));
        most = std::max(most, list.l.candidate_count);
    }
    const alloc_counter::Counts steady = alloc_counter::now() - before;
    EXPECT_EQ(500u, list.l.count);
    EXPECT_EQ(blobs.v.size(), list.l.info_count);
    for (kt_object* o = list.l.head; o; o = o->next) EXPECT_TRUE(o->lost_since == 0 && o->updates == 9);
    EXPECT_GT(most, 2000u);  // each object sees its blob and the noise under it
    EXPECT_LE(list.l.candidate_capacity, 2 * most);
    EXPECT_LT(peak, kMaxTrackerBytes);
    const double sized_by_product = 2.0 * 500 * blobs.v.size() * sizeof(kt_candidate);
    std::printf("worst case 1920x1080: %zu blobs, 500 objects, %u candidates; tracker peak %.1f MiB "
                "(candidates %.2f MiB; sized as objects x blobs they would take %.1f MiB)\n",
                blobs.v.size(), most, peak / 1048576.0, list.l.candidate_capacity * sizeof(kt_candidate) / 1048576.0,
                sized_by_product / 1048576.0);
    if (KT_ALLOC_COUNTING) {
        EXPECT_EQ(0, steady.all);
    }
}

}  // namespace
