// Whole-image colour conversions: reference formulae at chosen points and over sampled colour
// cubes, the per-thread colour memo against uncached results, round trips, and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>
#include <string>

#include "kt_hsv.h"
#include "kt_image.h"
#include "ktil_Conversion.h"
#include "kttl_Exception.h"

using ktil::Conversion;

namespace {

struct Image {
    kt_image img{nullptr, 0, 0, 0, 0};
    Image() = default;
    Image(uint32_t w, uint32_t h, uint32_t c) { kt_init_image(&img, w, h, c); }
    ~Image() { kt_free_image(&img); }
    unsigned char* px(uint32_t i) { return img.data + size_t(i) * img.channels; }
};

unsigned char ref_byte(float v) {
    if (v < 0.0f) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<unsigned char>(v + 0.5f);
}

float ref_f(float t) {
    return t > 0.008856f ? float(std::pow(double(t), double(1.0f / 3.0f))) : 7.787f * t + 0.13793103f;
}

// The lightness-chroma formula written out plainly, one pixel at a time.
void ref_lab(unsigned char b8, unsigned char g8, unsigned char r8, unsigned char out[3]) {
    const float B = b8 * 0.003921569f, G = g8 * 0.003921569f, R = r8 * 0.003921569f;
    const float Y = 0.212671f * R + 0.71516f * G + 0.072169f * B;
    const float X = (0.412453f * R + 0.35758f * G + 0.180423f * B) * 1.0521265f;
    const float Z = (0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184811f;
    const float L = Y > 0.008856f ? 295.8f * float(std::pow(double(Y), double(1.0f / 3.0f))) - 40.8f
                                  : 2303.415f * Y;
    out[0] = ref_byte(L);
    out[1] = ref_byte(500.0f * (ref_f(X) - ref_f(Y)) + 128.0f);
    out[2] = ref_byte(200.0f * (ref_f(Y) - ref_f(Z)) + 128.0f);
}

// Textbook CIE L*a*b* (D65, linear input) in double precision, scaled the same way.
void textbook_lab(int b, int g, int r, double out[3]) {
    const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
    const double X = (0.412453 * R + 0.357580 * G + 0.180423 * B) / 0.950456;
    const double Y = 0.212671 * R + 0.715160 * G + 0.072169 * B;
    const double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088754;
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    out[0] = (Y > 0.008856 ? 116.0 * std::cbrt(Y) - 16.0 : 903.3 * Y) * 2.55;
    out[1] = 500.0 * (f(X) - f(Y)) + 128.0;
    out[2] = 200.0 * (f(Y) - f(Z)) + 128.0;
}

TEST(Lab, ChosenPoints) {
    Image src(3, 1, 4), dst;
    unsigned char* p = src.img.data;
    // black, white, pure red; fourth bytes must be copied
    const unsigned char pix[12] = {0, 0, 0, 7, 255, 255, 255, 8, 0, 0, 255, 9};
    std::memcpy(p, pix, 12);
    Conversion::bgr2lab(src.img, dst.img);
    ASSERT_EQ(4u, dst.img.channels);
    EXPECT_EQ(0, dst.px(0)[0]);
    EXPECT_EQ(128, dst.px(0)[1]);
    EXPECT_EQ(128, dst.px(0)[2]);
    EXPECT_EQ(7, dst.px(0)[3]);
    EXPECT_EQ(255, dst.px(1)[0]);
    EXPECT_NEAR(128, dst.px(1)[1], 1);
    EXPECT_NEAR(128, dst.px(1)[2], 1);
    EXPECT_EQ(8, dst.px(1)[3]);
    // Red: L* 53.24 x 2.55 = 135.8, a* 80.1 + 128, b* 67.2 + 128
    EXPECT_NEAR(136, dst.px(2)[0], 1);
    EXPECT_NEAR(208, dst.px(2)[1], 1);
    EXPECT_NEAR(195, dst.px(2)[2], 1);
}

TEST(Lab, MatchesPlainFormulaAndTextbookOverTheColourCube) {
    // Every 5th level of each channel: 52^3 colours, 3 channels.
    const uint32_t steps = 52;
    Image src(steps * steps, steps, 3), dst;
    uint32_t i = 0;
    for (uint32_t b = 0; b < steps; ++b)
        for (uint32_t g = 0; g < steps; ++g)
            for (uint32_t r = 0; r < steps; ++r, ++i) {
                unsigned char* q = src.px(i);
                q[0] = b * 5, q[1] = g * 5, q[2] = r * 5;
            }
    Conversion::bgr2lab(src.img, dst.img);
    ASSERT_EQ(3u, dst.img.channels);
    for (i = 0; i < steps * steps * steps; ++i) {
        const unsigned char* s = src.px(i);
        unsigned char expect[3];
        ref_lab(s[0], s[1], s[2], expect);
        const unsigned char* d = dst.px(i);
        ASSERT_EQ(expect[0], d[0]) << int(s[0]) << "," << int(s[1]) << "," << int(s[2]);
        ASSERT_EQ(expect[1], d[1]) << int(s[0]) << "," << int(s[1]) << "," << int(s[2]);
        ASSERT_EQ(expect[2], d[2]) << int(s[0]) << "," << int(s[1]) << "," << int(s[2]);
        double tb[3];
        textbook_lab(s[0], s[1], s[2], tb);
        for (int c = 0; c < 3; ++c) {
            const double clamped = std::min(255.0, std::max(0.0, tb[c]));
            ASSERT_NEAR(clamped, d[c], 1.01) << c << ": " << int(s[0]) << "," << int(s[1]) << "," << int(s[2]);
        }
    }
}

// The memo is keyed by colour; many repeats and more distinct colours than slots force hits,
// misses and evictions. Results must equal the uncached formula pixel by pixel.
TEST(Lab, ColourMemoNeverChangesResults) {
    std::mt19937 rng(5);
    std::vector<uint32_t> palette(9000);
    for (uint32_t& c : palette) c = rng() & 0xFFFFFF;
    for (uint32_t ch : {3u, 4u}) {
        Image src(67, 301, ch), dst, ref(67, 301, ch);
        for (uint32_t i = 0; i < 67 * 301; ++i) {
            const uint32_t c = palette[rng() % (i < 10000 ? 300 : palette.size())];
            unsigned char* q = src.px(i);
            q[0] = c & 0xFF, q[1] = (c >> 8) & 0xFF, q[2] = c >> 16;
            if (ch == 4) q[3] = static_cast<unsigned char>(i);
            ref_lab(q[0], q[1], q[2], ref.px(i));
            if (ch == 4) ref.px(i)[3] = q[3];
        }
        for (int pass = 0; pass < 2; ++pass) {  // second pass runs on a warm memo
            Conversion::bgr2lab(src.img, dst.img);
            long diff = -1;
            for (uint32_t k = 0; k < ref.img.size && diff < 0; ++k)
                if (ref.img.data[k] != dst.img.data[k]) diff = long(k);
            EXPECT_EQ(-1, diff) << "pass " << pass << " channels " << ch;
        }
        // The comparison itself can fail.
        ref.img.data[100] ^= 1;
        long diff = -1;
        for (uint32_t k = 0; k < ref.img.size && diff < 0; ++k)
            if (ref.img.data[k] != dst.img.data[k]) diff = long(k);
        EXPECT_EQ(100, diff);
    }
}

TEST(Lab, InPlaceEqualsOutOfPlace) {
    Image a(33, 17, 4), b;
    std::mt19937 rng(9);
    for (uint32_t k = 0; k < a.img.size; ++k) a.img.data[k] = rng() & 0xFF;
    Conversion::bgr2lab(a.img, b.img);
    Conversion::bgr2lab(a.img, a.img);
    EXPECT_EQ(0, std::memcmp(a.img.data, b.img.data, a.img.size));
}

TEST(Lab, GrayToLabAndBack) {
    Image gray(256, 1, 1), lab, back;
    for (int g = 0; g < 256; ++g) gray.img.data[g] = g;
    Conversion::gray2lab(gray.img, lab.img);
    ASSERT_EQ(4u, lab.img.channels);
    for (int g = 0; g < 256; ++g) {
        const float t = g / 255.0f;
        const float L = t > 0.008856f ? 295.8f * float(std::pow(double(t), double(1.0f / 3.0f))) - 40.8f
                                      : 2303.415f * t;
        const unsigned char* p = lab.px(g);
        ASSERT_EQ(ref_byte(L), p[0]) << g;
        ASSERT_EQ(0, p[1]);
        ASSERT_EQ(0, p[2]);
        ASSERT_EQ(255, p[3]);
    }
    EXPECT_EQ(0, lab.px(0)[0]);
    EXPECT_EQ(255, lab.px(255)[0]);
    Conversion::lab2gray(lab.img, back.img);
    ASSERT_EQ(1u, back.img.channels);
    for (int g = 0; g < 256; ++g) ASSERT_EQ(lab.px(g)[0], back.img.data[g]);
}

TEST(Lab, RoundTripThroughInverseStaysClose) {
    Image src(32, 32, 3), lab, back;
    std::mt19937 rng(3);
    for (uint32_t k = 0; k < src.img.size; ++k) src.img.data[k] = rng() & 0xFF;
    // Gray ramp in the first row: the inverse must keep neutrals neutral.
    for (uint32_t x = 0; x < 32; ++x) src.px(x)[0] = src.px(x)[1] = src.px(x)[2] = x * 8;
    Conversion::bgr2lab(src.img, lab.img);
    Conversion::lab2bgr(lab.img, back.img);
    int worst = 0;
    for (uint32_t k = 0; k < src.img.size; ++k)
        worst = std::max(worst, std::abs(int(src.img.data[k]) - int(back.img.data[k])));
    EXPECT_LE(worst, 6);  // byte quantisation of L, a, b
    for (uint32_t x = 0; x < 32; ++x)
        EXPECT_LE(std::abs(int(back.px(x)[0]) - int(back.px(x)[2])), 2) << x;
}

TEST(Gray, ColourToGrayIntegerWeights) {
    Image four(1, 1, 4), three(1, 1, 3), out;
    four.img.data[2] = 255;  // blue 0, green 0, red 255
    Conversion::color2gray(four.img, out.img);
    EXPECT_EQ(76, out.img.data[0]);
    three.img.data[0] = 255;
    Conversion::color2gray(three.img, out.img);
    EXPECT_EQ(76, out.img.data[0]);

    Image src(67, 9, 4);
    std::mt19937 rng(1);
    for (uint32_t k = 0; k < src.img.size; ++k) src.img.data[k] = rng() & 0xFF;
    Conversion::color2gray(src.img, out.img);
    ASSERT_EQ(67u, out.img.width);
    for (uint32_t i = 0; i < 67 * 9; ++i) {
        const unsigned char* p = src.px(i);
        ASSERT_EQ((11 * p[0] + 59 * p[1] + 30 * p[2]) / 100, out.img.data[i]);
    }
    Image white(2, 2, 3);
    std::memset(white.img.data, 255, white.img.size);
    Conversion::color2gray(white.img, out.img);
    EXPECT_EQ(255, out.img.data[3]);
}

TEST(Hsv, MatchesSinglePixelConversionAndRoundTrips) {
    Image src(64, 64, 4), hsv, back;
    std::mt19937 rng(2);
    for (uint32_t k = 0; k < src.img.size; ++k) src.img.data[k] = rng() & 0xFF;
    Conversion::bgr2hsv(src.img, hsv.img);
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        const unsigned char* p = src.px(i);
        float h, s, v;
        kt_rgb_to_hsv(p[2], p[1], p[0], &h, &s, &v);
        const unsigned char* q = hsv.px(i);
        ASSERT_EQ(ref_byte(h / 360.0f * 255.0f), q[0]);
        ASSERT_EQ(ref_byte(s * 255.0f), q[1]);
        ASSERT_EQ(ref_byte(v * 255.0f), q[2]);
        ASSERT_EQ(p[3], q[3]);
    }
    Conversion::hsv2bgr(hsv.img, back.img);
    int worst = 0;
    for (uint32_t i = 0; i < 64 * 64; ++i)
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(src.px(i)[c]) - int(back.px(i)[c])));
    EXPECT_LE(worst, 4);  // hue kept in 256 steps of 1.4 degrees
    Image red(1, 1, 3);
    red.img.data[2] = 255;
    Conversion::bgr2hsv(red.img, hsv.img);
    EXPECT_EQ(0, hsv.img.data[0]);
    EXPECT_EQ(255, hsv.img.data[1]);
    EXPECT_EQ(255, hsv.img.data[2]);
}

TEST(Yuv, FullRangeBt601) {
    Image src(40, 40, 3), yuv;
    std::mt19937 rng(4);
    for (uint32_t k = 0; k < src.img.size; ++k) src.img.data[k] = rng() & 0xFF;
    for (uint32_t x = 0; x < 40; ++x) src.px(x)[0] = src.px(x)[1] = src.px(x)[2] = x * 6;
    Conversion::bgr2yuv(src.img, yuv.img);
    for (uint32_t i = 0; i < 1600; ++i) {
        const double B = src.px(i)[0], G = src.px(i)[1], R = src.px(i)[2];
        const double y = 0.299 * R + 0.587 * G + 0.114 * B;
        const double u = 128 - 0.168736 * R - 0.331264 * G + 0.5 * B;
        const double v = 128 + 0.5 * R - 0.418688 * G - 0.081312 * B;
        ASSERT_NEAR(std::min(255.0, y), yuv.px(i)[0], 1.0);
        ASSERT_NEAR(std::min(255.0, u), yuv.px(i)[1], 1.0);
        ASSERT_NEAR(std::min(255.0, v), yuv.px(i)[2], 1.0);
    }
    for (uint32_t x = 0; x < 40; ++x) {  // neutral stays exactly neutral
        EXPECT_EQ(x * 6, yuv.px(x)[0]);
        EXPECT_EQ(128, yuv.px(x)[1]);
        EXPECT_EQ(128, yuv.px(x)[2]);
    }
}

TEST(Gray, GrayToColourCopiesIntoEveryChannel) {
    Image gray(5, 3, 1), out;
    for (uint32_t k = 0; k < 15; ++k) gray.img.data[k] = k * 17;
    Conversion::gray2color(gray.img, out.img);
    ASSERT_EQ(4u, out.img.channels);
    for (uint32_t k = 0; k < 15; ++k)
        for (int c = 0; c < 4; ++c) ASSERT_EQ(k * 17, out.px(k)[c]);
    Conversion::gray2color(gray.img, out.img, 3);
    ASSERT_EQ(3u, out.img.channels);
    EXPECT_EQ(34, out.px(2)[1]);
}

// Expects a ktil::Conversion exception with this text, raised from the conversion's own source file.
template <class F>
void expect_throw(F f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no exception for " << text;
    } catch (const kttl::Exception& e) {
        const std::string msg = e.what();
        EXPECT_EQ(0u, msg.find("../../../../../libraries/src/image/ktil_Conversion (")) << msg;
        const std::string tail = "): ktil::Conversion::" + text;
        ASSERT_GE(msg.size(), tail.size());
        EXPECT_EQ(tail, msg.substr(msg.size() - tail.size())) << msg;
    }
}

TEST(Refusals, BadSourcesThrowAndLeaveTheDestination) {
    Image none, gray(4, 4, 1), two(4, 4, 2), color(4, 4, 4), dst(2, 2, 1);
    dst.img.data[0] = 99;
    expect_throw([&] { Conversion::bgr2lab(none.img, dst.img); }, "bgr2lab( ... ) - NULL src buffer");
    expect_throw([&] { Conversion::bgr2lab(gray.img, dst.img); },
                 "bgr2lab( ... ) - input image should be either 3 OR 4 channels");
    expect_throw([&] { Conversion::gray2lab(color.img, dst.img); },
                 "gray2lab( ... ) - input image should be 1 channel");
    expect_throw([&] { Conversion::lab2gray(two.img, dst.img); },
                 "lab2gray( ... ) - input image should be either 3 OR 4 channels");
    expect_throw([&] { Conversion::lab2gray(none.img, dst.img); }, "lab2gray( ... ) - NULL src buffer");
    expect_throw([&] { Conversion::color2gray(gray.img, dst.img); },
                 "color2gray( ... ) - input image should be either 3 OR 4 channels");
    expect_throw([&] { Conversion::bgr2hsv(gray.img, dst.img); },
                 "bgr2hsv( ... ) - input image should be either 3 OR 4 channels");
    expect_throw([&] { Conversion::gray2color(gray.img, dst.img, 2); },
                 "gray2color( ... ) - output image should be either 3 OR 4 channels");
    EXPECT_EQ(99, dst.img.data[0]);
    EXPECT_EQ(2u, dst.img.width);

    // A record whose size disagrees with its shape is not walked.
    Image liar(4, 4, 4);
    liar.img.width = 400;
    expect_throw([&] { Conversion::bgr2lab(liar.img, dst.img); },
                 "bgr2lab( ... ) - src size does not match its shape");
    liar.img.width = 4;

    // Changing the channel count in place would free the source under the conversion.
    expect_throw([&] { Conversion::color2gray(color.img, color.img); },
                 "color2gray( ... ) - src and dst share a buffer");
    expect_throw([&] { Conversion::gray2lab(gray.img, gray.img); },
                 "gray2lab( ... ) - src and dst share a buffer");
    EXPECT_NE(nullptr, color.img.data);
    EXPECT_EQ(4u, color.img.channels);
}

}  // namespace
