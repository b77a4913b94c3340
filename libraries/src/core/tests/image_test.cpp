// Lifetime of the image record: creation, shape checks, reuse, overflow and allocation failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "image_test_util.h"
#include "kt_alloc.h"
#include "kt_image.h"

namespace {

TEST(ImageLifetime, InitAllocatesZeroedBufferOfTheShape) {
    kt_image im;
    std::memset(&im, 0xAB, sizeof(im));  // a declared record starts with garbage
    ASSERT_EQ(1, kt_init_image(&im, 7, 5, 3));
    EXPECT_EQ(7u, im.width);
    EXPECT_EQ(5u, im.height);
    EXPECT_EQ(3u, im.channels);
    EXPECT_EQ(105u, im.size);
    ASSERT_NE(nullptr, im.data);
    for (uint32_t i = 0; i < im.size; ++i) ASSERT_EQ(0, im.data[i]) << i;
    EXPECT_EQ(1, kt_image_valid(&im));
    EXPECT_EQ(1, kt_image_consistent(&im));
    EXPECT_EQ(3u * (4 + 7 * 2), kt_image_index(&im, 4, 2));
    kt_free_image(&im);
    EXPECT_EQ(nullptr, im.data);
    EXPECT_EQ(0u, im.width + im.height + im.channels + im.size);
    EXPECT_EQ(0, kt_image_valid(&im));
}

TEST(ImageLifetime, NullAndEmptyRecords) {
    EXPECT_EQ(0, kt_init_image(nullptr, 4, 4, 1));
    EXPECT_EQ(0, kt_ensure_image(nullptr, 4, 4, 1));
    EXPECT_EQ(0, kt_resize_image(nullptr, 4, 4, 1, 9));
    kt_free_image(nullptr);
    EXPECT_EQ(0, kt_image_valid(nullptr));
    EXPECT_EQ(0u, kt_image_index(nullptr, 3, 3));

    kt_image im;
    ASSERT_EQ(1, kt_init_image(&im, 0, 10, 1));  // a zero-sized image is a shape, not a failure
    EXPECT_EQ(nullptr, im.data);
    EXPECT_EQ(0u, im.size);
    EXPECT_EQ(0, kt_image_valid(&im));
    kt_free_image(&im);
}

TEST(ImageLifetime, ShapesWhoseByteCountOverflowsAreRefused) {
    struct Case {
        uint32_t w, h, c;
        int ok;
    } cases[] = {
        {65536, 65536, 1, 0},      // 2^32: one past the largest 32-bit size
        {65535, 65537, 1, 1},      // 2^32 - 1 exactly fits the size field
        {40000, 40000, 4, 0},      // width x height fits, x channels does not
        {0xFFFFFFFFu, 2, 1, 0},
        {3, 0x55555556u, 1, 0},
    };
    for (const Case& c : cases) {
        uint32_t size = 7;
        EXPECT_EQ(c.ok, kt_image_bytes(c.w, c.h, c.c, &size)) << c.w << "x" << c.h << "x" << c.c;
        if (!c.ok) {
            EXPECT_EQ(7u, size);
            kt_image im;
            std::memset(&im, 0x5A, sizeof(im));
            EXPECT_EQ(0, kt_init_image(&im, c.w, c.h, c.c));
            EXPECT_EQ(nullptr, im.data);
            EXPECT_EQ(0u, im.size);

            kttest::Image keep(4, 4, 1);
            keep.get()->data[5] = 42;
            EXPECT_EQ(0, kt_ensure_image(keep.get(), c.w, c.h, c.c));
            EXPECT_EQ(4u, keep.get()->width);  // refused before anything changed
            EXPECT_EQ(42, keep.get()->data[5]);
        }
    }
    EXPECT_EQ(0, kt_image_bytes(1, 1, 1, nullptr));
}

TEST(ImageLifetime, EnsureKeepsPixelsOnSameShapeAndZeroesOnNewShape) {
    kttest::Image im(6, 4, 1);
    im.at(2, 3) = 200;
    unsigned char* before = im.get()->data;
    ASSERT_EQ(1, kt_ensure_image(im.get(), 6, 4, 1));
    EXPECT_EQ(before, im.get()->data);
    EXPECT_EQ(200, im.at(2, 3));

    // Same byte count, other shape: still a new, zeroed buffer.
    ASSERT_EQ(1, kt_ensure_image(im.get(), 4, 6, 1));
    EXPECT_EQ(4u, im.get()->width);
    EXPECT_EQ(24u, im.get()->size);
    for (uint32_t i = 0; i < im.get()->size; ++i) ASSERT_EQ(0, im.get()->data[i]);

    ASSERT_EQ(1, kt_resize_image(im.get(), 3, 3, 4, 17));
    EXPECT_EQ(36u, im.get()->size);
    for (uint32_t i = 0; i < im.get()->size; ++i) ASSERT_EQ(17, im.get()->data[i]);
    // Same shape: kt_resize_image still refills.
    ASSERT_EQ(1, kt_resize_image(im.get(), 3, 3, 4, 3));
    EXPECT_EQ(3, im.get()->data[35]);
}

TEST(ImageLifetime, AllocationFailureIsReportedOnStdoutAndLeavesShapeWithoutData) {
    kt_image im;
    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_init_image(&im, 8, 8, 1));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("kt_init_image(...) - Unable to allocate memory for new buffer.\n", out);
    EXPECT_EQ(nullptr, im.data);
    EXPECT_EQ(8u, im.width);
    EXPECT_EQ(64u, im.size);
    EXPECT_EQ(0, kt_image_valid(&im));

    // kt_ensure_image on that record retries the allocation instead of trusting the shape.
    ASSERT_EQ(1, kt_ensure_image(&im, 8, 8, 1));
    ASSERT_NE(nullptr, im.data);

    testing::internal::CaptureStdout();
    kt_alloc_fail_after(0);
    EXPECT_EQ(0, kt_ensure_image(&im, 9, 9, 1));
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("kt_init_image(...) - Unable to allocate memory for new buffer.\n", out);
    EXPECT_EQ(nullptr, im.data);
    EXPECT_EQ(81u, im.size);
    kt_free_image(&im);

    // The injected failure is one-shot.
    kt_alloc_fail_after(1);
    void* a = kt_calloc(4, 4);
    void* b = kt_calloc(4, 4);
    void* c = kt_calloc(4, 4);
    EXPECT_NE(nullptr, a);
    EXPECT_EQ(nullptr, b);
    EXPECT_NE(nullptr, c);
    std::free(a);
    std::free(c);
    EXPECT_EQ(nullptr, kt_calloc(SIZE_MAX / 2, 4));  // count x size overflows
    EXPECT_EQ(nullptr, kt_calloc(0, 4));
}

}  // namespace
