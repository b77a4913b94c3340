// The frame conversion: fixed-point values with their floor rounding, clamping, and block layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kt_image.h"
#include "yuv_convert.h"

namespace {

struct Image {
    kt_image img{};
    Image(uint32_t w, uint32_t h, uint32_t channels = 4) { kt_init_image(&img, w, h, channels); }
    ~Image() { kt_free_image(&img); }
    std::vector<unsigned char> bytes() const { return std::vector<unsigned char>(img.data, img.data + img.size); }
};

}  // namespace

TEST(Nv21Conversion, PixelValues) {
    const int cases[][6] = {
        // luminance, chroma pair bytes, blue, green, red
        {100, 128, 128, 100, 100, 100},  // neutral chroma: grey
        {100, 127, 127, 97, 101, 98},    // -1,-1: shifts round down (-2.03 -> -3, -1.14 -> -2, -0.97 -> -1)
        {0, 255, 255, 255, 0, 144},      // blue clamps high, green clamps low
        {255, 0, 0, 0, 255, 109},        // blue clamps low (255 - 261), green high (255 + 125)
        {200, 129, 100, 202, 211, 168},
        {16, 128, 255, 16, 0, 160},
    };
    for (const auto& c : cases) {
        Image dst(2, 2);
        const unsigned char y = static_cast<unsigned char>(c[0]);
        const std::vector<unsigned char> src = {y, y, y, y, static_cast<unsigned char>(c[1]), static_cast<unsigned char>(c[2])};
        ASSERT_TRUE(convertYUV420_NV21toARGB8888(src.data(), dst.img));
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(std::vector<int>(dst.img.data + 4 * p, dst.img.data + 4 * p + 4), (std::vector<int>{c[3], c[4], c[5], c[0]}))
                << "y " << c[0] << " pair " << c[1] << "," << c[2];
        }
    }
}

TEST(Nv21Conversion, EachBlockUsesItsOwnPairAgainstAPerPixelReference) {
    const uint32_t W = 6, H = 4;
    std::vector<unsigned char> src(W * H * 3 / 2);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 37 + 11);
    Image dst(W, H);
    ASSERT_TRUE(convertYUV420_NV21toARGB8888(src.data(), dst.img));
    const auto clamp = [](int v) { return std::min(255, std::max(0, v)); };
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W; ++x) {
            const unsigned char* pair = &src[W * H + (y / 2) * W + (x / 2) * 2];
            const int c0 = pair[0] - 128, c1 = pair[1] - 128, lum = src[x + W * y];
            const std::vector<int> expected = {clamp(lum + ((2081 * c0) >> 10)), clamp(lum - ((594 * c0 + 404 * c1) >> 10)),
                                               clamp(lum + ((1167 * c1) >> 10)), lum};
            const unsigned char* px = dst.img.data + 4 * (x + W * y);
            EXPECT_EQ(std::vector<int>(px, px + 4), expected) << x << "," << y;
        }
    }

    // A record that is not a W x H x 4 image, or a null frame, is left alone.
    Image gray(W, H, 1), untouched(W, H);
    const std::vector<unsigned char> grayBefore = gray.bytes(), zeros = untouched.bytes();
    EXPECT_TRUE(convertYUV420_NV21toARGB8888(src.data(), gray.img));
    EXPECT_EQ(gray.bytes(), grayBefore);
    EXPECT_TRUE(convertYUV420_NV21toARGB8888(nullptr, untouched.img));
    EXPECT_EQ(untouched.bytes(), zeros);
}
