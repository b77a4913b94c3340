// Whole-image colour conversions: the fast lightness-chroma path against the plain per-pixel formula,
// its cube root, companion conversions, round trips and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "kt_hsv.h"
#include "kt_image.h"
#include "ktil_Conversion.h"
#include "ktil_CubeRoot.h"
#include "kttl_Exception.h"

using ktil::Conversion;

namespace {

struct Image {
    kt_image img{nullptr, 0, 0, 0, 0};
    Image() = default;
    Image(uint32_t w, uint32_t h, uint32_t c, uint32_t seed = 0) {
        kt_init_image(&img, w, h, c);
        std::mt19937 rng(seed);
        for (uint32_t k = 0; seed && k < img.size; ++k) img.data[k] = rng() & 0xFF;
    }
    ~Image() { kt_free_image(&img); }
    unsigned char* px(uint32_t i) { return img.data + size_t(i) * img.channels; }
};

unsigned char ref_byte(float v) { return v < 0.0f ? 0 : v >= 255.0f ? 255 : uint8_t(v + 0.5f); }

// The lightness-chroma formula written out plainly, one pixel at a time.
float ref_f(float t) {
    return t > 0.008856f ? float(std::pow(double(t), double(1.0f / 3.0f))) : 7.787f * t + 0.13793103f;
}
float ref_l(float y) {
    return y > 0.008856f ? 295.8f * float(std::pow(double(y), double(1.0f / 3.0f))) - 40.8f : 2303.415f * y;
}
void ref_lab(const unsigned char* bgr, unsigned char* out) {
    const float B = bgr[0] * 0.003921569f, G = bgr[1] * 0.003921569f, R = bgr[2] * 0.003921569f;
    const float Y = 0.212671f * R + 0.71516f * G + 0.072169f * B;
    const float X = (0.412453f * R + 0.35758f * G + 0.180423f * B) * 1.0521265f;
    const float Z = (0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184811f;
    out[0] = ref_byte(ref_l(Y));
    out[1] = ref_byte(500.0f * (ref_f(X) - ref_f(Y)) + 128.0f);
    out[2] = ref_byte(200.0f * (ref_f(Y) - ref_f(Z)) + 128.0f);
}

// Textbook CIE L*a*b* (D65, linear input) in double precision with exact cube roots, scaled the same
// way and clamped to bytes.
void textbook_lab(int b, int g, int r, double out[3]) {
    const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
    const double X = (0.412453 * R + 0.357580 * G + 0.180423 * B) / 0.950456;
    const double Y = 0.212671 * R + 0.715160 * G + 0.072169 * B;
    const double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088754;
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    const double lab[3] = {(Y > 0.008856 ? 116.0 * std::cbrt(Y) - 16.0 : 903.3 * Y) * 2.55,
                           500.0 * (f(X) - f(Y)) + 128.0, 200.0 * (f(Y) - f(Z)) + 128.0};
    for (int c = 0; c < 3; ++c) out[c] = std::min(255.0, std::max(0.0, lab[c]));
}

// Every 5th level of each channel (52^3 colours), the darkest corner level by level (where Y, X and Z
// take the linear branch), then random colours. Results must equal the plain formula byte for byte,
// into a fresh destination, a reused one and in place, and lie within rounding of the textbook
// values. (tools/lab_exhaustive_check covers all 2^24 colours.)
TEST(Lab, FastPathMatchesThePlainFormula) {
    const uint32_t kCube = 52 * 52 * 52, kDark = 12 * 12 * 12, kW = 400, kH = 400;
    std::mt19937 rng(5);
    for (uint32_t ch : {3u, 4u}) {
        Image src(kW, kH, ch), dst, ref(kW, kH, ch);
        for (uint32_t i = 0; i < kW * kH; ++i) {
            unsigned char* q = src.px(i);
            const uint32_t k = i - kCube, c = rng();
            if (i < kCube) {
                q[0] = (i / 2704) * 5, q[1] = (i / 52 % 52) * 5, q[2] = (i % 52) * 5;
            } else if (i < kCube + kDark) {
                q[0] = k / 144, q[1] = k / 12 % 12, q[2] = k % 12;
            } else {
                q[0] = c & 0xFF, q[1] = (c >> 8) & 0xFF, q[2] = (c >> 16) & 0xFF;
            }
            if (ch == 4) ref.px(i)[3] = q[3] = static_cast<unsigned char>(i);
            ref_lab(q, ref.px(i));
        }
        for (int pass = 0; pass < 3; ++pass) {  // fresh destination, reused one, in place
            kt_image& out = pass < 2 ? dst.img : src.img;
            Conversion::bgr2lab(src.img, out);
            const auto diff = std::mismatch(ref.img.data, ref.img.data + ref.img.size, out.data);
            EXPECT_EQ(ref.img.data + ref.img.size, diff.first) << "pass " << pass << " channels " << ch;
        }
        // The comparison can fail: one changed reference byte is found.
        ref.img.data[100] ^= 1;
        EXPECT_EQ(ref.img.data + 100, std::mismatch(ref.img.data, ref.img.data + 101, dst.img.data).first);
        for (uint32_t i = 0; ch == 3 && i < kCube; ++i) {
            double tb[3];
            textbook_lab((i / 2704) * 5, (i / 52 % 52) * 5, (i % 52) * 5, tb);
            for (int c = 0; c < 3; ++c) ASSERT_NEAR(tb[c], dst.px(i)[c], 1.01) << i << " " << c;
        }
    }
}

// The interpolated cube root stays within its stated bound (sampled here, every float in the tool),
// and interval() and node() agree at binade edges and in between.
TEST(CubeRoot, WithinItsBoundAndIntervalsMatchNodes) {
    using ktil::CubeRoot;
    const CubeRoot root;
    double worst = 0;
    for (float t = CubeRoot::kLow; t < CubeRoot::kHigh; t = t * 1.0000123f + 1e-9f)
        worst = std::max(worst, std::fabs(double(root(t)) - double(CubeRoot::exact(t))));
    EXPECT_LE(worst, CubeRoot::kMaxError);
    const float low = 0.0078125f, low_next = std::nextafter(low, 1.0f);
    const struct { float t; uint32_t interval; } cases[] = {
        {low, 0},      {low_next, 0},  {low * (1 + 1 / 256.f), 1},      {0.015625f, 256},     {0.5f, 6 * 256},
        {0.999999f, 1791}, {1.0f, 1792}, {1.0f + 1 / 256.f, 1793}, {1.9999999f, 8 * 256 - 1}};
    for (const auto& c : cases) {
        const uint32_t i = CubeRoot::interval(c.t);
        EXPECT_EQ(c.interval, i) << c.t;
        EXPECT_TRUE(CubeRoot::node(i) <= c.t && c.t < CubeRoot::node(i + 1)) << c.t;
        EXPECT_EQ(CubeRoot::exact(CubeRoot::node(i)), root(CubeRoot::node(i))) << c.t;
    }
    EXPECT_TRUE(CubeRoot::node(CubeRoot::kIntervals) == 2.0f && root(0.125f) == 0.5f);
}

TEST(Lab, GrayToLabAndBackAndTheInverse) {
    Image gray(256, 1, 1), lab, back;
    for (int g = 0; g < 256; ++g) gray.img.data[g] = g;
    Conversion::gray2lab(gray.img, lab.img);
    Conversion::lab2gray(lab.img, back.img);
    ASSERT_TRUE(lab.img.channels == 4 && back.img.channels == 1);
    for (int g = 0; g < 256; ++g) {
        const unsigned char* p = lab.px(g);
        ASSERT_TRUE(p[0] == ref_byte(ref_l(g / 255.0f)) && p[1] == 0 && p[2] == 0 && p[3] == 255) << g;
        ASSERT_EQ(p[0], back.img.data[g]);
    }

    Image src(32, 32, 3, 3), lab3, bgr;
    for (uint32_t x = 0; x < 32; ++x) src.px(x)[0] = src.px(x)[1] = src.px(x)[2] = x * 8;  // gray ramp
    Conversion::bgr2lab(src.img, lab3.img);
    Conversion::lab2bgr(lab3.img, bgr.img);
    int worst = 0;
    for (uint32_t k = 0; k < src.img.size; ++k)
        worst = std::max(worst, std::abs(src.img.data[k] - bgr.img.data[k]));
    EXPECT_LE(worst, 6);               // byte quantisation of L, a, b
    for (uint32_t x = 0; x < 32; ++x)  // neutrals stay neutral
        EXPECT_LE(std::abs(int(bgr.px(x)[0]) - int(bgr.px(x)[2])), 2) << x;
}

TEST(Gray, IntegerWeightsAndGrayToColour) {
    Image three(1, 1, 3), src(67, 9, 4, 1), out, gray(5, 3, 1, 7);
    three.img.data[0] = 255;  // three channels weigh byte 0 as red
    Conversion::color2gray(three.img, out.img);
    EXPECT_EQ(76, out.img.data[0]);
    Conversion::color2gray(src.img, out.img);
    ASSERT_EQ(67u, out.img.width);
    for (uint32_t i = 0; i < 67 * 9; ++i)
        ASSERT_EQ((11 * src.px(i)[0] + 59 * src.px(i)[1] + 30 * src.px(i)[2]) / 100, out.img.data[i]);
    for (uint32_t ch : {4u, 3u}) {
        Conversion::gray2color(gray.img, out.img, ch);
        ASSERT_EQ(ch, out.img.channels);
        for (uint32_t k = 0; k < 15; ++k)
            for (uint32_t c = 0; c < ch; ++c) ASSERT_EQ(gray.img.data[k], out.px(k)[c]);
    }
}

TEST(HsvAndYuv, MatchPerPixelFormulasAndRoundTrip) {
    Image src(64, 64, 4, 2), hsv, back;
    Conversion::bgr2hsv(src.img, hsv.img);
    Conversion::hsv2bgr(hsv.img, back.img);
    int worst = 0;
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        const unsigned char *p = src.px(i), *q = hsv.px(i);
        float h, s, v;
        kt_rgb_to_hsv(p[2], p[1], p[0], &h, &s, &v);
        ASSERT_TRUE(q[0] == ref_byte(h / 360.0f * 255.0f) && q[1] == ref_byte(s * 255.0f) &&
                    q[2] == ref_byte(v * 255.0f) && q[3] == p[3])
            << i;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(p[c]) - int(back.px(i)[c])));
    }
    EXPECT_LE(worst, 4);  // hue kept in 256 steps of 1.4 degrees

    // Full-range BT.601 Y, Cb, Cr.
    Image bgr(40, 40, 3, 4), yuv;
    for (uint32_t x = 0; x < 40; ++x) bgr.px(x)[0] = bgr.px(x)[1] = bgr.px(x)[2] = x * 6;  // gray row
    Conversion::bgr2yuv(bgr.img, yuv.img);
    for (uint32_t i = 0; i < 1600; ++i) {
        const double B = bgr.px(i)[0], G = bgr.px(i)[1], R = bgr.px(i)[2];
        const double expect[3] = {0.299 * R + 0.587 * G + 0.114 * B,
                                  128 - 0.168736 * R - 0.331264 * G + 0.5 * B,
                                  128 + 0.5 * R - 0.418688 * G - 0.081312 * B};
        for (int c = 0; c < 3; ++c) ASSERT_NEAR(std::min(255.0, expect[c]), yuv.px(i)[c], 1.0) << i;
    }
    for (uint32_t x = 0; x < 40; ++x)  // neutral stays exactly neutral
        EXPECT_TRUE(yuv.px(x)[0] == x * 6 && yuv.px(x)[1] == 128 && yuv.px(x)[2] == 128) << x;
}

// Expects a ktil::Conversion exception with this text, raised from the conversion's own source file.
template <class F>
void expect_throw(F f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no exception for " << text;
    } catch (const kttl::Exception& e) {
        const std::string msg = e.what(), tail = "): ktil::Conversion::" + text;
        EXPECT_EQ(0u, msg.find("../../../../../libraries/src/image/ktil_Conversion (")) << msg;
        EXPECT_TRUE(msg.size() >= tail.size() && msg.substr(msg.size() - tail.size()) == tail) << msg;
    }
}

TEST(Refusals, BadSourcesThrowAndLeaveTheDestination) {
    Image none, gray(4, 4, 1), two(4, 4, 2), color(4, 4, 4), dst(2, 2, 1), liar(4, 4, 4);
    dst.img.data[0] = 99;
    liar.img.width = 400;  // a record whose size disagrees with its shape is not walked
    const std::string k34 = " - input image should be either 3 OR 4 channels";
    const std::string k1 = " - input image should be 1 channel", shared = " - src and dst share a buffer";
    using C = Conversion;
    expect_throw([&] { C::bgr2lab(none.img, dst.img); }, "bgr2lab( ... ) - NULL src buffer");
    expect_throw([&] { C::bgr2lab(gray.img, dst.img); }, "bgr2lab( ... )" + k34);
    expect_throw([&] { C::gray2lab(color.img, dst.img); }, "gray2lab( ... )" + k1);
    expect_throw([&] { C::lab2gray(two.img, dst.img); }, "lab2gray( ... )" + k34);
    expect_throw([&] { C::gray2color(gray.img, dst.img, 2); },
                 "gray2color( ... ) - output image should be either 3 OR 4 channels");
    expect_throw([&] { C::bgr2lab(liar.img, dst.img); },
                 "bgr2lab( ... ) - src size does not match its shape");
    EXPECT_TRUE(dst.img.data[0] == 99 && dst.img.width == 2);
    // Changing the channel count in place would free the source under the conversion.
    expect_throw([&] { C::color2gray(color.img, color.img); }, "color2gray( ... )" + shared);
    expect_throw([&] { C::gray2lab(gray.img, gray.img); }, "gray2lab( ... )" + shared);
    EXPECT_TRUE(color.img.data != nullptr && color.img.channels == 4);
}

}  // namespace
