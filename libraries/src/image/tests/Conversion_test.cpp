// Whole-image colour conversions against per-pixel formulas, the fast path's cube root, round trips, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "../../core/tests/image_test_util.h"
#include "../../misc/tests/TestBytes.h"
#include "kt_hsv.h"
#include "ktil_Conversion.h"
#include "ktil_CubeRoot.h"

using ktil::Conversion, ktil::CubeRoot;

namespace {

// An owned image, random when seeded, with pixel access by index.
struct Image : kttest::Image {
    Image() = default;
    Image(uint32_t w, uint32_t h, uint32_t c, uint32_t seed = 0) : kttest::Image(w, h, c) {
        if (seed) kttest::fill_random(&img, seed);
    }
    unsigned char* px(uint32_t i) { return img.data + size_t(i) * img.channels; }
};

// The largest |out - ref(pixel i of src, c)| over the first `pixels` pixels and `channels` channels.
template <class F>
double worst(Image& out, Image& src, uint32_t pixels, uint32_t channels, F ref) {
    double w = 0;
    for (uint32_t i = 0; i < pixels; ++i)
        for (uint32_t c = 0; c < channels; ++c) w = std::max(w, std::fabs(out.px(i)[c] - ref(src.px(i), c)));
    return w;
}
double same(const unsigned char* p, uint32_t c) { return p[c]; }
double first(const unsigned char* p, uint32_t) { return p[0]; }

unsigned char ref_byte(float v) { return v < 0.0f ? 0 : v >= 255.0f ? 255 : uint8_t(v + 0.5f); }

// The lightness-chroma formula written out plainly, one pixel at a time.
float cbrt3(float t) { return float(std::pow(double(t), double(1.0f / 3.0f))); }
float ref_f(float t) { return t > 0.008856f ? cbrt3(t) : 7.787f * t + 0.13793103f; }
float ref_l(float y) { return y > 0.008856f ? 295.8f * cbrt3(y) - 40.8f : 2303.415f * y; }
void ref_lab(const unsigned char* bgr, unsigned char* out) {
    const float B = bgr[0] * 0.003921569f, G = bgr[1] * 0.003921569f, R = bgr[2] * 0.003921569f;
    const float Y = 0.212671f * R + 0.71516f * G + 0.072169f * B;
    const float X = (0.412453f * R + 0.35758f * G + 0.180423f * B) * 1.0521265f;
    const float Z = (0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184811f;
    out[0] = ref_byte(ref_l(Y));
    out[1] = ref_byte(500.0f * (ref_f(X) - ref_f(Y)) + 128.0f);
    out[2] = ref_byte(200.0f * (ref_f(Y) - ref_f(Z)) + 128.0f);
}

// Colour i of an n x n x n cube of levels `s` apart, as blue | green << 8 | red << 16.
uint32_t cube(uint32_t i, uint32_t n, uint32_t s) { return i / (n * n) * s | i / n % n * s << 8 | i % n * s << 16; }

// Textbook CIE L*a*b* (D65, linear input, exact cube roots) in double, scaled the same way, clamped.
double textbook_lab(const unsigned char* bgr, uint32_t c) {
    const double R = bgr[2] / 255.0, G = bgr[1] / 255.0, B = bgr[0] / 255.0;
    const double X = (0.412453 * R + 0.357580 * G + 0.180423 * B) / 0.950456;
    const double Y = 0.212671 * R + 0.715160 * G + 0.072169 * B;
    const double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088754;
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    const double lab[3] = {(Y > 0.008856 ? 116.0 * std::cbrt(Y) - 16.0 : 903.3 * Y) * 2.55,
                           500.0 * (f(X) - f(Y)) + 128.0, 200.0 * (f(Y) - f(Z)) + 128.0};
    return std::min(255.0, std::max(0.0, lab[c]));
}

// Companions per pixel and channel: gray to 4-channel lightness-chroma (chroma 0, 4th byte 255), integer
// gray weights, HSV (hue in 256 steps of 1.4 degrees, 4th byte kept) and full-range BT.601 Y, Cb, Cr.
double ref_gray_lab(const unsigned char* p, uint32_t c) { return c ? (c == 3) * 255 : ref_byte(ref_l(*p / 255.f)); }
double ref_gray(const unsigned char* p, uint32_t) { return (11 * p[0] + 59 * p[1] + 30 * p[2]) / 100; }
double ref_hsv(const unsigned char* p, uint32_t c) {
    float hsv[3];
    kt_rgb_to_hsv(p[2], p[1], p[0], &hsv[0], &hsv[1], &hsv[2]);
    return c == 3 ? p[3] : ref_byte((c == 0 ? hsv[0] / 360.0f : hsv[c]) * 255.0f);
}
double ref_yuv(const unsigned char* p, uint32_t c) {
    const double B = p[0], G = p[1], R = p[2];
    const double yuv[3] = {0.299 * R + 0.587 * G + 0.114 * B, 128 - 0.168736 * R - 0.331264 * G + 0.5 * B,
                           128 + 0.5 * R - 0.418688 * G - 0.081312 * B};
    return std::min(255.0, yuv[c]);
}

// Every 5th level (52^3 colours), the dark corner (the linear branch), then random colours: byte-exact to the
// plain formula in every destination, within rounding of the textbook (tools/lab_exhaustive_check: all 2^24).
TEST(Lab, FastPathMatchesThePlainFormula) {
    const uint32_t kCube = 52 * 52 * 52, kDark = 12 * 12 * 12, kW = 400, kH = 400;
    std::mt19937 rng(5);
    for (uint32_t ch : {3u, 4u}) {
        Image src(kW, kH, ch), dst, ref(kW, kH, ch);
        for (uint32_t i = 0; i < kW * kH; ++i) {
            unsigned char* q = src.px(i);
            const uint32_t k = i - kCube, c = i < kCube ? cube(i, 52, 5) : k < kDark ? cube(k, 12, 1) : rng();
            q[0] = c & 0xFF, q[1] = c >> 8 & 0xFF, q[2] = c >> 16 & 0xFF;
            if (ch == 4) ref.px(i)[3] = q[3] = static_cast<unsigned char>(i);
            ref_lab(q, ref.px(i));
        }
        EXPECT_LE(worst(ref, src, kCube, 3, textbook_lab), 1.01);
        for (kt_image* out : {&dst.img, &dst.img, &src.img}) {  // fresh destination, reused one, in place
            Conversion::bgr2lab(src.img, *out);
            EXPECT_EQ(kttest::first_difference(&ref.img, out), -1) << ch << (out == &src.img);
        }
    }
}

// The cube root keeps its bound (sampled; the tool tries every float), is exact at nodes, turns at binades.
TEST(CubeRoot, WithinItsBoundExactAtNodes) {
    const CubeRoot root;
    double worst = 0;
    for (float t = CubeRoot::kLow; t < CubeRoot::kHigh; t = t * 1.0000123f + 1e-9f)
        worst = std::max(worst, std::fabs(double(root(t)) - double(CubeRoot::exact(t))));
    EXPECT_LE(worst, CubeRoot::kMaxError);
    for (uint32_t i : {0u, 1u, 255u, 256u, 1791u, 1792u, 2047u}) {  // binade edges and the range's ends
        const float left = CubeRoot::node(i), lastInside = std::nextafter(CubeRoot::node(i + 1), 0.f);
        EXPECT_TRUE(CubeRoot::interval(left) == i && CubeRoot::interval(lastInside) == i &&
                    root(left) == CubeRoot::exact(left)) << i;
    }
    EXPECT_TRUE(CubeRoot::node(256) == 0.015625f && CubeRoot::node(1792) == 1.0f && root(0.125f) == 0.5f &&
                CubeRoot::node(CubeRoot::kIntervals) == 2.0f);
}

// Gray to lightness-chroma and back exactly; colour and back within byte quantisation, neutrals neutral.
TEST(Lab, GrayToLabAndBackAndTheInverse) {
    Image gray(256, 1, 1), lab, back, src(32, 32, 3, 3), lab3, bgr;
    for (int g = 0; g < 256; ++g) gray.img.data[g] = g;
    Conversion::gray2lab(gray.img, lab.img);
    Conversion::lab2gray(lab.img, back.img);
    ASSERT_TRUE(lab.img.channels == 4 && back.img.channels == 1);
    EXPECT_TRUE(worst(lab, gray, 256, 4, ref_gray_lab) == 0 && worst(back, lab, 256, 1, same) == 0);

    for (uint32_t x = 0; x < 32; ++x) src.px(x)[0] = src.px(x)[1] = src.px(x)[2] = x * 8;  // gray ramp
    Conversion::bgr2lab(src.img, lab3.img);
    Conversion::lab2bgr(lab3.img, bgr.img);
    EXPECT_LE(worst(bgr, src, 32 * 32, 3, same), 6);
    EXPECT_LE(worst(bgr, bgr, 32, 1, [](const unsigned char* p, uint32_t) { return p[2]; }), 2);  // B = R
}

TEST(Gray, IntegerWeightsAndGrayToColour) {
    Image three(1, 1, 3), src(67, 9, 4, 1), out, gray(5, 3, 1, 7);
    three.img.data[0] = 255;  // three channels weigh byte 0 as red
    Conversion::color2gray(three.img, out.img);
    EXPECT_EQ(76, out.img.data[0]);
    Conversion::color2gray(src.img, out.img);
    ASSERT_TRUE(out.img.width == 67 && out.img.height == 9 && out.img.channels == 1 &&
                worst(out, src, 67 * 9, 1, ref_gray) == 0);
    for (uint32_t ch : {4u, 3u}) {
        Conversion::gray2color(gray.img, out.img, ch);
        ASSERT_TRUE(out.img.channels == ch && worst(out, gray, 15, ch, first) == 0) << ch;
    }
}

TEST(HsvAndYuv, MatchPerPixelFormulasAndRoundTrip) {
    Image src(64, 64, 4, 2), hsv, back, bgr(40, 40, 3, 4), yuv;
    Conversion::bgr2hsv(src.img, hsv.img);
    Conversion::hsv2bgr(hsv.img, back.img);
    EXPECT_TRUE(worst(hsv, src, 64 * 64, 4, ref_hsv) == 0 && worst(back, src, 64 * 64, 3, same) <= 4);

    for (uint32_t x = 0; x < 40; ++x) bgr.px(x)[0] = bgr.px(x)[1] = bgr.px(x)[2] = x * 6;  // gray row
    Conversion::bgr2yuv(bgr.img, yuv.img);
    EXPECT_LE(worst(yuv, bgr, 40 * 40, 3, ref_yuv), 1.0);
    EXPECT_EQ(worst(yuv, bgr, 40, 3, [](const unsigned char* p, uint32_t c) { return c ? 128 : p[0]; }), 0);
}

TEST(Refusals, BadSourcesThrowAndLeaveTheDestination) {
    Image none, gray(4, 4, 1), two(4, 4, 2), color(4, 4, 4), dst(2, 2, 1), liar(4, 4, 4);
    dst.img.data[0] = 99, liar.img.width = 400;  // a record whose size disagrees with its shape is not walked
    const std::string k34 = " - input image should be either 3 OR 4 channels", shared = " - src and dst share a buffer";
    // Changing the channel count in place would free the source under the conversion.
    const struct { std::function<void()> f; std::string text; } rows[] = {
        {[&] { Conversion::bgr2lab(none.img, dst.img); }, "bgr2lab( ... ) - NULL src buffer"},
        {[&] { Conversion::bgr2lab(gray.img, dst.img); }, "bgr2lab( ... )" + k34},
        {[&] { Conversion::gray2lab(color.img, dst.img); }, "gray2lab( ... ) - input image should be 1 channel"},
        {[&] { Conversion::lab2gray(two.img, dst.img); }, "lab2gray( ... )" + k34},
        {[&] { Conversion::gray2color(gray.img, dst.img, 2); },
         "gray2color( ... ) - output image should be either 3 OR 4 channels"},
        {[&] { Conversion::bgr2lab(liar.img, dst.img); }, "bgr2lab( ... ) - src size does not match its shape"},
        {[&] { Conversion::color2gray(color.img, color.img); }, "color2gray( ... )" + shared},
        {[&] { Conversion::gray2lab(gray.img, gray.img); }, "gray2lab( ... )" + shared}};
    for (const auto& r : rows) expectThrowMessage(r.f, "image/ktil_Conversion", "ktil::Conversion::" + r.text);
    EXPECT_TRUE(dst.img.data[0] == 99 && dst.img.width == 2);
    EXPECT_TRUE(color.img.data != nullptr && color.img.channels == 4 && gray.img.channels == 1);
}

}  // namespace
