// The bounded image queue: ordering, eviction hand-back, wrap, ownership and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kt_alloc.h"
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

TEST(Queue, PushingCapacityPlusOneHandsBackTheFirst) {
    for (uint32_t n : {1u, 2u, 4u, 7u}) {
        kt_queue q{};
        ASSERT_EQ(1, kt_init_queue(&q, n));
        EXPECT_EQ(n, q.capacity);
        EXPECT_EQ(q.begin + n + 1, q.end);
        kt_image* first = heap_image(1);
        kt_image* evicted = reinterpret_cast<kt_image*>(1);
        ASSERT_EQ(1, kt_push_queue(&q, first, &evicted));
        EXPECT_EQ(nullptr, evicted);
        for (uint32_t i = 1; i < n; ++i) {
            ASSERT_EQ(1, kt_push_queue(&q, heap_image(i + 1), &evicted));
            EXPECT_EQ(nullptr, evicted);
            EXPECT_EQ(i + 1, kt_size_queue(&q));
        }
        ASSERT_EQ(1, kt_push_queue(&q, heap_image(99), &evicted));
        EXPECT_EQ(first, evicted);
        EXPECT_EQ(n, kt_size_queue(&q));
        drop(evicted);

        // Many more pushes wrap around; each evicts the oldest in order.
        for (uint32_t i = 0; i < 3 * n + 2; ++i) {
            ASSERT_EQ(1, kt_push_queue(&q, heap_image(100 + i), &evicted));
            ASSERT_NE(nullptr, evicted);
            EXPECT_EQ(n, kt_size_queue(&q));
            drop(evicted);
        }
        // Walking tail to head with kt_next_next sees the items oldest first.
        uint32_t seen = 0;
        int last = -1;
        for (kt_image** s = q.tail; s != q.head; s = kt_next_next(&q, s), ++seen) {
            ASSERT_NE(nullptr, *s);
            EXPECT_GT(int((*s)->data[0]), last);
            last = (*s)->data[0];
        }
        EXPECT_EQ(n, seen);
        kt_deinit_queue(&q);  // frees the n held images exactly once (ASan checks)
        EXPECT_EQ(nullptr, q.begin);
        EXPECT_EQ(0u, q.capacity);
        kt_deinit_queue(&q);
    }
}

// An evicted image belongs to the caller; the queue must not free it again on deinit.
TEST(Queue, EvictedImagesAreNotFreedAgainOnDeinit) {
    kt_queue q{};
    ASSERT_EQ(1, kt_init_queue(&q, 2));
    kt_image* evicted = nullptr;
    kt_push_queue(&q, heap_image(1), &evicted);
    kt_push_queue(&q, heap_image(2), &evicted);
    kt_push_queue(&q, heap_image(3), &evicted);
    ASSERT_NE(nullptr, evicted);
    EXPECT_EQ(1, evicted->data[0]);
    kt_deinit_queue(&q);
    EXPECT_EQ(1, evicted->data[0]);  // still alive: read after deinit is not a use-after-free
    drop(evicted);

    // Without an evicted pointer the queue frees what leaves it.
    ASSERT_EQ(1, kt_init_queue(&q, 1));
    kt_push_queue(&q, heap_image(1), nullptr);
    kt_push_queue(&q, heap_image(2), nullptr);
    EXPECT_EQ(1u, kt_size_queue(&q));
    kt_deinit_queue(&q);
}

TEST(Queue, Refusals) {
    kt_queue q{};
    EXPECT_EQ(0, kt_init_queue(&q, 0));  // a zero-length queue is refused
    EXPECT_EQ(nullptr, q.begin);
    EXPECT_EQ(0, kt_init_queue(&q, 0xFFFFFFFFu));
    EXPECT_EQ(0, kt_init_queue(nullptr, 3));
    kt_image* evicted = nullptr;
    kt_image* im = heap_image(1);
    EXPECT_EQ(0, kt_push_queue(&q, im, &evicted));  // not initialised
    EXPECT_EQ(0u, kt_size_queue(&q));
    EXPECT_EQ(0u, kt_size_queue(nullptr));
    ASSERT_EQ(1, kt_init_queue(&q, 2));
    EXPECT_EQ(0, kt_push_queue(&q, nullptr, &evicted));
    EXPECT_EQ(0, kt_push_queue(nullptr, im, &evicted));
    EXPECT_EQ(0u, kt_size_queue(&q));
    EXPECT_EQ(nullptr, kt_next_next(&q, nullptr));
    EXPECT_EQ(nullptr, kt_next_next(&q, q.end));
    EXPECT_EQ(q.begin, kt_next_next(&q, q.end - 1));
    kt_deinit_queue(&q);
    drop(im);

    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_init_queue(&q, 4));
    EXPECT_EQ("kt_init_queue(...) - Unable to allocate memory for pArrayBegin.\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, q.begin);
    kt_image* refused = heap_image(1);
    EXPECT_EQ(0, kt_push_queue(&q, refused, &evicted));
    drop(refused);
    kt_deinit_queue(&q);
}

}  // namespace
