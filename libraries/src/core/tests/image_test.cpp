// Lifetime of the image record: creation, reuse, overflowing shapes and allocation failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "image_test_util.h"
#include "kt_image.h"

TEST(ImageLifetime, CreateReuseResizeAndFree) {
    kt_image im;
    std::memset(&im, 0xAB, sizeof(im));  // a declared record starts with garbage
    ASSERT_EQ(1, kt_init_image(&im, 7, 5, 3));
    EXPECT_EQ(105u, im.size);
    for (uint32_t i = 0; i < im.size; ++i) ASSERT_EQ(0, im.data[i]) << i;
    EXPECT_EQ(3u * (4 + 7 * 2), kt_image_index(&im, 4, 2));
    kt_free_image(&im);
    EXPECT_TRUE(im.data == nullptr && im.width + im.height + im.channels + im.size == 0);
    ASSERT_EQ(1, kt_init_image(&im, 0, 10, 1));  // a zero-sized image is a shape, not a failure
    EXPECT_EQ(0, kt_image_valid(&im));

    kttest::Image a(6, 4, 1);
    a.at(2, 3) = 200;
    unsigned char* before = a.img.data;
    ASSERT_EQ(1, kt_ensure_image(a.get(), 6, 4, 1));  // same shape: buffer and pixels kept
    EXPECT_TRUE(before == a.img.data && a.at(2, 3) == 200);
    ASSERT_EQ(1, kt_ensure_image(a.get(), 4, 6, 1));  // same byte count, other shape: zeroed
    EXPECT_TRUE(a.img.width == 4 && a.all(0));
    for (unsigned char fill : {17, 3}) {  // a new shape, then the same one: refilled both times
        ASSERT_EQ(1, kt_resize_image(a.get(), 3, 3, 4, fill));
        EXPECT_TRUE(a.img.size == 36 && a.all(fill));
    }
}

TEST(ImageLifetime, ShapesWhoseByteCountOverflowsAreRefused) {
    // 2^32 (one past the largest size); 2^32 - 1 exactly fits; width x height fits, x channels does not.
    const uint32_t cases[][4] = {{65536, 65536, 1, 0}, {65535, 65537, 1, 1}, {40000, 40000, 4, 0},
                                 {0xFFFFFFFFu, 2, 1, 0}};  // w, h, c, fits
    for (const auto& c : cases) {
        uint32_t size = 7;
        EXPECT_EQ(int(c[3]), kt_image_bytes(c[0], c[1], c[2], &size)) << c[0] << "x" << c[1] << "x" << c[2];
        if (c[3]) continue;
        kt_image im;
        std::memset(&im, 0x5A, sizeof(im));
        EXPECT_EQ(0, kt_init_image(&im, c[0], c[1], c[2]));
        EXPECT_TRUE(size == 7 && im.data == nullptr && im.size == 0);
        kttest::Image keep(4, 4, 1);
        keep.at(1, 1) = 42;
        EXPECT_EQ(0, kt_ensure_image(keep.get(), c[0], c[1], c[2]));
        EXPECT_TRUE(keep.img.width == 4 && keep.at(1, 1) == 42);  // refused before anything changed
    }
}

TEST(ImageLifetime, AllocationFailureIsReportedOnStdoutAndLeavesShapeWithoutData) {
    const std::string message = "kt_init_image(...) - Unable to allocate memory for new buffer.\n";
    kt_image im;
    EXPECT_EQ(message, kttest::with_alloc_failure(0, [&] { EXPECT_EQ(0, kt_init_image(&im, 8, 8, 1)); }));
    EXPECT_TRUE(im.data == nullptr && im.width == 8 && im.size == 64);
    ASSERT_EQ(1, kt_ensure_image(&im, 8, 8, 1));  // retries instead of trusting the shape
    ASSERT_NE(nullptr, im.data);
    EXPECT_EQ(message, kttest::with_alloc_failure(0, [&] { EXPECT_EQ(0, kt_ensure_image(&im, 9, 9, 1)); }));
    EXPECT_TRUE(im.data == nullptr && im.size == 81);
    kt_free_image(&im);

    kt_alloc_fail_after(1);  // one-shot: the second allocation fails, the third succeeds
    void* a = kt_calloc(4, 4);
    void* b = kt_calloc(4, 4);
    void* c = kt_calloc(4, 4);
    EXPECT_TRUE(a != nullptr && b == nullptr && c != nullptr);
    std::free(a);
    std::free(c);
    EXPECT_EQ(nullptr, kt_calloc(SIZE_MAX / 2, 4));  // count x size overflows
}
