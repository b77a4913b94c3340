// The bounded image queue: ordering, eviction hand-back, wrap, ownership and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "image_test_util.h"
#include "kt_queue.h"

namespace {

kt_image* heap_image(unsigned char tag) {
    kt_image* im = static_cast<kt_image*>(std::calloc(1, sizeof(kt_image)));
    kt_init_image(im, 2, 2, 1);
    im->data[0] = tag;
    return im;
}

void drop(kt_image* im) {
    kt_free_image(im);
    std::free(im);
}

// Pushes tags 0, 1, 2, ... into a queue of capacity n: from push n + 1 on, each hands back the oldest.
TEST(Queue, PushingCapacityPlusOneHandsBackTheOldestInOrder) {
    for (uint32_t n : {1u, 2u, 7u}) {
        kt_queue q{};
        ASSERT_EQ(1, kt_init_queue(&q, n));
        kt_image* kept = nullptr;
        for (uint32_t i = 0; i < 4 * n + 2; ++i) {
            kt_image* evicted = reinterpret_cast<kt_image*>(1);
            ASSERT_EQ(1, kt_push_queue(&q, heap_image(i), &evicted));
            EXPECT_EQ(std::min(i + 1, n), kt_size_queue(&q));
            if (i < n) {
                EXPECT_EQ(nullptr, evicted);
                continue;
            }
            ASSERT_NE(nullptr, evicted);
            EXPECT_EQ(i - n, evicted->data[0]);
            if (kept) drop(kept);
            kept = evicted;
        }
        // Walking tail to head with kt_next_next sees the items oldest first, across the wrap.
        uint32_t seen = 0;
        for (kt_image** s = q.tail; s != q.head; s = kt_next_next(&q, s), ++seen)
            ASSERT_EQ(3 * n + 2 + seen, (*s)->data[0]);
        EXPECT_EQ(n, seen);
        kt_deinit_queue(&q);  // frees the n held images exactly once (the sanitizer build checks)
        EXPECT_EQ(nullptr, q.begin);
        EXPECT_EQ(3 * n + 1, kept->data[0]);  // an evicted image belongs to the caller: not freed
        drop(kept);
    }
    // Without an evicted pointer the queue frees what leaves it.
    kt_queue q{};
    ASSERT_EQ(1, kt_init_queue(&q, 1));
    kt_push_queue(&q, heap_image(1), nullptr);
    kt_push_queue(&q, heap_image(2), nullptr);
    EXPECT_EQ(1u, kt_size_queue(&q));
    kt_deinit_queue(&q);
}

TEST(Queue, RefusalsAndAllocationFailure) {
    kt_queue q{};
    EXPECT_EQ(0, kt_init_queue(&q, 0) | kt_init_queue(&q, 0xFFFFFFFFu));  // length 0 could never hold one
    kt_image *evicted = nullptr, *im = heap_image(1);
    EXPECT_EQ(0, kt_push_queue(&q, im, &evicted));  // not initialised
    ASSERT_EQ(1, kt_init_queue(&q, 2));
    EXPECT_EQ(0, kt_push_queue(&q, nullptr, &evicted));
    EXPECT_EQ(nullptr, kt_next_next(&q, q.end));
    kt_deinit_queue(&q);

    EXPECT_EQ("kt_init_queue(...) - Unable to allocate memory for pArrayBegin.\n",
              kttest::with_alloc_failure(0, [&] { EXPECT_EQ(0, kt_init_queue(&q, 4)); }));
    EXPECT_EQ(0, kt_push_queue(&q, im, &evicted));
    drop(im);
}

}  // namespace
