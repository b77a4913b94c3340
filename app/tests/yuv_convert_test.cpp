// The frame conversion: fixed-point values with their floor rounding, clamping, and block layout.
#include <gtest/gtest.h>

#include <vector>

#include "kt_image.h"
#include "yuv_convert.h"

namespace {

struct Image {
    kt_image img{};
    Image(uint32_t w, uint32_t h) { kt_init_image(&img, w, h, 4); }
    ~Image() { kt_free_image(&img); }
};

}  // namespace

TEST(Nv21Conversion, PixelValues) {
    struct Case {
        int y, first, second;  // luminance, chroma pair bytes
        int b, g, r;
    };
    const Case cases[] = {
        {100, 128, 128, 100, 100, 100},  // neutral chroma: grey
        {100, 127, 127, 97, 101, 98},    // -1,-1: shifts round down (-2.03 -> -3, -1.14 -> -2, -0.97 -> -1)
        {0, 255, 255, 255, 0, 144},      // blue clamps high, green clamps low
        {255, 0, 0, 0, 255, 109},        // blue clamps low (255 - 261), green high (255 + 125)
        {200, 129, 100, 202, 211, 168},
        {16, 128, 255, 16, 0, 160},
    };
    for (const Case& c : cases) {
        Image dst(2, 2);
        std::vector<unsigned char> src = {static_cast<unsigned char>(c.y), static_cast<unsigned char>(c.y),
                                          static_cast<unsigned char>(c.y), static_cast<unsigned char>(c.y),
                                          static_cast<unsigned char>(c.first), static_cast<unsigned char>(c.second)};
        ASSERT_TRUE(convertYUV420_NV21toARGB8888(src.data(), dst.img));
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(dst.img.data[4 * p + 0], c.b) << "y " << c.y << " pair " << c.first << "," << c.second;
            EXPECT_EQ(dst.img.data[4 * p + 1], c.g) << "y " << c.y << " pair " << c.first << "," << c.second;
            EXPECT_EQ(dst.img.data[4 * p + 2], c.r) << "y " << c.y << " pair " << c.first << "," << c.second;
            EXPECT_EQ(dst.img.data[4 * p + 3], c.y);
        }
    }
}

TEST(Nv21Conversion, EachBlockUsesItsOwnPair) {
    // 4x4 frame: four blocks, each with its own chroma pair and distinct luminance per pixel.
    const uint32_t W = 4, H = 4;
    std::vector<unsigned char> src(W * H * 3 / 2);
    for (uint32_t i = 0; i < W * H; ++i) src[i] = static_cast<unsigned char>(10 * i);
    // Pairs: row 0 -> blocks (0,0) and (0,2); row 1 -> blocks (2,0) and (2,2). Only the first byte
    // varies, so blue alone tells which pair a pixel used.
    const unsigned char firsts[4] = {128, 138, 148, 158};
    for (int b = 0; b < 4; ++b) {
        src[W * H + 2 * b] = firsts[b];
        src[W * H + 2 * b + 1] = 128;
    }
    Image dst(W, H);
    ASSERT_TRUE(convertYUV420_NV21toARGB8888(src.data(), dst.img));
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W; ++x) {
            const int block = (y / 2) * 2 + x / 2;
            const int lum = 10 * (x + W * y);
            const int t0 = (2081 * (firsts[block] - 128)) >> 10;
            const unsigned char* px = dst.img.data + 4 * (x + W * y);
            EXPECT_EQ(px[3], lum) << x << "," << y;
            EXPECT_EQ(px[0], std::min(255, lum + t0)) << x << "," << y;
            EXPECT_EQ(px[2], lum) << x << "," << y;
        }
    }

    // A record that is not a W x H x 4 image, or a null frame, is left alone.
    kt_image gray{};
    kt_init_image(&gray, W, H, 1);
    std::vector<unsigned char> before(gray.data, gray.data + gray.size);
    EXPECT_TRUE(convertYUV420_NV21toARGB8888(src.data(), gray));
    EXPECT_EQ(std::vector<unsigned char>(gray.data, gray.data + gray.size), before);
    kt_free_image(&gray);
    Image untouched(W, H);
    EXPECT_TRUE(convertYUV420_NV21toARGB8888(nullptr, untouched.img));
    for (uint32_t i = 0; i < untouched.img.size; ++i) ASSERT_EQ(untouched.img.data[i], 0);
}
