#include "ktil_Conversion.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <string>

#include "kt_hsv.h"
#include "ktil_CubeRoot.h"
#include "kttl_Exception.h"

namespace ktil {

namespace {

const char* const kClass = "ktil::Conversion";

void fail(const char* op, const char* text) {
    KT_THROW(kClass, std::string(op) + "( ... ) - " + text);
}

// Source checks shared by every conversion; channels_ok tells whether the channel count is accepted.
void check_source(const char* op, const kt_image& src, bool channels_ok, const char* channel_text) {
    if (!src.data || src.size == 0) fail(op, "NULL src buffer");
    if (!channels_ok) fail(op, channel_text);
    if (!kt_image_consistent(&src)) fail(op, "src size does not match its shape");
}

// Sizes dst; a conversion that changes the channel count cannot share the source's buffer, because
// kt_ensure_image would free it.
void prepare_dest(const char* op, const kt_image& src, kt_image& dst, uint32_t channels) {
    if (src.data == dst.data && (channels != src.channels || dst.width != src.width ||
                                 dst.height != src.height || dst.channels != src.channels))
        fail(op, "src and dst share a buffer");
    if (!kt_ensure_image(&dst, src.width, src.height, channels) || !dst.data)
        fail(op, "Unable to allocate dst buffer");
}

const char* const k34 = "input image should be either 3 OR 4 channels";
const char* const k1 = "input image should be 1 channel";

// Calls fn(in, out) for every pixel, stepping by the source's and the destination's channel counts.
// fn reads the whole input pixel before it writes, so conversions that keep the channel count run
// in place.
template <class Fn>
void each_pixel(const kt_image& src, kt_image& dst, Fn fn) {
    const uint32_t n = src.width * src.height, ci = src.channels, co = dst.channels;
    const unsigned char* in = src.data;
    unsigned char* out = dst.data;
    for (uint32_t i = 0; i < n; ++i, in += ci, out += co) fn(in, out);
}

// A colour conversion that keeps the channel count (3 or 4): fn writes bytes 0..2 of each pixel and
// a fourth byte is copied.
template <class Fn>
void convert_colour(const char* op, const kt_image& src, kt_image& dst, Fn fn) {
    check_source(op, src, src.channels == 3 || src.channels == 4, k34);
    prepare_dest(op, src, dst, src.channels);
    if (src.channels == 4) {
        each_pixel(src, dst, [&fn](const unsigned char* in, unsigned char* out) {
            out[3] = in[3];
            fn(in, out);
        });
    } else {
        each_pixel(src, dst, fn);
    }
}

unsigned char round_byte(float v) {
    if (v < 0.0f) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<unsigned char>(v + 0.5f);
}

// ---- lightness-chroma ----------------------------------------------------------------------------

constexpr float kInv255 = 0.003921569f;
constexpr float kLabEpsilon = 0.008856f;  // CIE linear/cube-root switch point of t

float lab_f(float t) {
    if (t > kLabEpsilon) return static_cast<float>(std::pow(double(t), double(1.0f / 3.0f)));
    return 7.787f * t + 0.13793103f;
}

// L scaled to 0..255: 2.55 x (116 Y^(1/3) - 16), or 2.55 x 903.3 Y near black. cube_root_y is
// lab_f(y), which equals Y^(1/3) in the upper branch.
float lab_l(float y, float cube_root_y) {
    return y > kLabEpsilon ? 295.8f * cube_root_y - 40.8f : 2303.415f * y;
}

uint32_t lab_pixel(unsigned char b8, unsigned char g8, unsigned char r8) {
    const float B = b8 * kInv255, G = g8 * kInv255, R = r8 * kInv255;
    const float Y = 0.212671f * R + 0.71516f * G + 0.072169f * B;
    const float X = (0.412453f * R + 0.35758f * G + 0.180423f * B) * 1.0521265f;
    const float Z = (0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184811f;
    const float fy = lab_f(Y);
    const unsigned char L = round_byte(lab_l(Y, fy));
    const unsigned char a = round_byte(500.0f * (lab_f(X) - fy) + 128.0f);
    const unsigned char b = round_byte(200.0f * (fy - lab_f(Z)) + 128.0f);
    return uint32_t(L) | uint32_t(a) << 8 | uint32_t(b) << 16;
}

// ---- fast lightness-chroma path ------------------------------------------------------------------
//
// Gives lab_pixel's bytes exactly without its three pow() calls in nearly every pixel:
// - X, Y and Z are sums of per-byte products; the tables hold those very float products and the sums
//   are taken in lab_pixel's order, so X, Y and Z are the same floats.
// - L is a monotonic function of Y alone and moves less than one level across a cube-root interval
//   (at most 0.39), so the L byte at the interval's left end and one threshold on Y settle it.
// - a and b come from interpolated cube roots; when the value is too close to a rounding boundary
//   for the interpolation error to be ruled out, the pixel goes through lab_pixel (about 1 in 400).

// a and b are decided in fixed point: q = trunc(65536 w), w = v + 0.5 the value round_byte truncates
// (v the a or b value before rounding), taken straight from the cube-root difference d with the
// scale folded into the constants (powers of two do not change float rounding). The byte is q's
// integer part clamped to 0..255.
constexpr float kFixed = 65536.0f;
constexpr float kScaleA = 500.0f * kFixed, kScaleB = 200.0f * kFixed, kOffset = 128.5f * kFixed;
// Margins in 1/65536, less one for truncating q, above the largest gap between the estimated and the
// exact w. a: 500 x (two cube-root errors E + 2 x 3e-8 for rounding the differences), plus half an
// ulp for each of the estimated and exact products (2 x 1.5e-5), the estimated sum (3.1e-5) and the
// exact sums with 128 and 0.5 (2 x 3.1e-5): 1000 E + 1.52e-4 = 7.8e-4. b likewise with 200 and
// smaller magnitudes: 400 E + 0.73e-4 = 3.2e-4. Both margins are rounded up from these bounds.
constexpr int32_t kMarginA = static_cast<int32_t>((1000.0f * CubeRoot::kMaxError + 2.0e-4f) * kFixed) + 1;
constexpr int32_t kMarginB = static_cast<int32_t>((400.0f * CubeRoot::kMaxError + 1.2e-4f) * kFixed) + 1;

int lab_l_byte(float y) { return round_byte(lab_l(y, lab_f(y))); }

struct LabTables {
    float term[9][256];  // per byte: Y from R, G, B; X from R, G, B and Z from R, G, B before white-point scaling
    float l_from[257];   // least Y whose L byte is >= k; [0] is 0 and [256] lies above every Y
    unsigned char l_node[CubeRoot::kIntervals];  // L byte at the left end of each cube-root interval
    CubeRoot root;

    LabTables() {
        static const float kWeight[9] = {0.212671f, 0.71516f,  0.072169f, 0.412453f, 0.35758f,
                                         0.180423f, 0.019334f, 0.119193f, 0.950227f};
        for (int k = 0; k < 9; ++k)
            for (int v = 0; v < 256; ++v) term[k][v] = kWeight[k] * (v * kInv255);
        // The largest X, Y and Z (white) must stay inside the cube-root table.
        assert((term[0][255] + term[1][255] + term[2][255]) < CubeRoot::kHigh);
        assert((term[3][255] + term[4][255] + term[5][255]) * 1.0521265f < CubeRoot::kHigh);
        assert((term[6][255] + term[7][255] + term[8][255]) * 0.9184811f < CubeRoot::kHigh);

        // Y >= 0, so its bit patterns order like its values: bisect on them between 0 (byte 0) and
        // 2 (byte 255).
        l_from[0] = 0.0f;
        l_from[256] = 4.0f;
        const uint32_t two_bits = 0x40000000u;
        for (int k = 1; k < 256; ++k) {
            uint32_t lo = 0, hi = two_bits;
            while (hi - lo > 1) {
                const uint32_t mid = lo + (hi - lo) / 2;
                float y;
                std::memcpy(&y, &mid, sizeof y);
                (lab_l_byte(y) >= k ? hi : lo) = mid;
            }
            std::memcpy(&l_from[k], &hi, sizeof hi);
        }
        int left = lab_l_byte(CubeRoot::node(0));
        for (uint32_t i = 0; i < CubeRoot::kIntervals; ++i) {
            const int right = lab_l_byte(CubeRoot::node(i + 1));
            assert(right - left <= 1);  // what the single threshold test relies on
            l_node[i] = static_cast<unsigned char>(left);
            left = right;
        }
    }
};

const LabTables& lab_tables() {
    static const LabTables tables;  // built once per process, on the first conversion
    return tables;
}

// lab_f with the interpolated cube root; within CubeRoot::kMaxError of lab_f, equal below the switch.
inline float lab_f_fast(const CubeRoot& root, float t) {
    return t > kLabEpsilon ? root(t) : 7.787f * t + 0.13793103f;
}

// The byte round_byte gives for the a or b value whose estimate is scale x d / 65536 + 128; ok is
// cleared when the estimate cannot decide. Free of branches: on noisy frames the clamped cases come
// too irregularly to predict.
inline uint32_t settle(float d, float scale, int32_t margin, bool& ok) {
    // |q| < 2^26: a and b lie within about -310..570.
    const int32_t q = static_cast<int32_t>(d * scale + kOffset);
    // Fractions within margin of a whole number, also at whole numbers outside 1..255 where the
    // clamp decides anyway: too rare to be worth a test.
    ok &= static_cast<uint32_t>((q & 0xFFFF) - margin) <= static_cast<uint32_t>(0x10000 - 2 * margin);
    const int32_t i = (q < 0 ? 0 : q) >> 16;
    return static_cast<uint32_t>(i > 255 ? 255 : i);
}

inline uint32_t lab_fast(const LabTables& t, unsigned b8, unsigned g8, unsigned r8) {
    const float Y = t.term[0][r8] + t.term[1][g8] + t.term[2][b8];
    const float X = (t.term[3][r8] + t.term[4][g8] + t.term[5][b8]) * 1.0521265f;
    const float Z = (t.term[6][r8] + t.term[7][g8] + t.term[8][b8]) * 0.9184811f;
    const float fy = lab_f_fast(t.root, Y);
    bool ok = true;
    const uint32_t a = settle(lab_f_fast(t.root, X) - fy, kScaleA, kMarginA, ok);
    const uint32_t b = settle(fy - lab_f_fast(t.root, Z), kScaleB, kMarginB, ok);
    if (!ok)
        return lab_pixel(static_cast<unsigned char>(b8), static_cast<unsigned char>(g8),
                         static_cast<unsigned char>(r8));
    uint32_t L;
    if (Y >= CubeRoot::kLow) {
        L = t.l_node[CubeRoot::interval(Y)];
        L += Y >= t.l_from[L + 1];
    } else {
        L = round_byte(2303.415f * Y);  // lab_l below the switch point
    }
    return L | a << 8 | b << 16;
}

float lab_finv(float f) {
    return f > 0.20689304f ? f * f * f : (f - 0.13793103f) / 7.787f;
}

}  // namespace

void Conversion::bgr2lab(const kt_image& src, kt_image& dst) {
    const LabTables& tables = lab_tables();
    convert_colour("bgr2lab", src, dst, [&tables](const unsigned char* in, unsigned char* out) {
        const uint32_t v = lab_fast(tables, in[0], in[1], in[2]);
        out[0] = static_cast<unsigned char>(v);
        out[1] = static_cast<unsigned char>(v >> 8);
        out[2] = static_cast<unsigned char>(v >> 16);
    });
}

void Conversion::gray2lab(const kt_image& src, kt_image& dst) {
    const char* op = "gray2lab";
    check_source(op, src, src.channels == 1, k1);
    prepare_dest(op, src, dst, 4);
    // 256 possible inputs: one table per call instead of a pow() per pixel.
    unsigned char table[256];
    for (int g = 0; g < 256; ++g) {
        const float t = g / 255.0f;
        table[g] = round_byte(lab_l(t, lab_f(t)));
    }
    each_pixel(src, dst, [&table](const unsigned char* in, unsigned char* out) {
        out[0] = table[in[0]];
        out[1] = 0;
        out[2] = 0;
        out[3] = 255;
    });
}

void Conversion::lab2gray(const kt_image& src, kt_image& dst) {
    const char* op = "lab2gray";
    check_source(op, src, src.channels == 3 || src.channels == 4, k34);
    prepare_dest(op, src, dst, 1);
    each_pixel(src, dst, [](const unsigned char* in, unsigned char* out) { out[0] = in[0]; });
}

void Conversion::color2gray(const kt_image& src, kt_image& dst) {
    const char* op = "color2gray";
    check_source(op, src, src.channels == 3 || src.channels == 4, k34);
    prepare_dest(op, src, dst, 1);
    if (src.channels == 3) {
        each_pixel(src, dst, [](const unsigned char* in, unsigned char* out) {
            out[0] = static_cast<unsigned char>((30u * in[0] + 59u * in[1] + 11u * in[2]) / 100u);
        });
    } else {
        each_pixel(src, dst, [](const unsigned char* in, unsigned char* out) {
            out[0] = static_cast<unsigned char>((11u * in[0] + 59u * in[1] + 30u * in[2]) / 100u);
        });
    }
}

void Conversion::bgr2hsv(const kt_image& src, kt_image& dst) {
    convert_colour("bgr2hsv", src, dst, [](const unsigned char* in, unsigned char* out) {
        float h = 0, s = 0, v = 0;
        kt_rgb_to_hsv(in[2], in[1], in[0], &h, &s, &v);
        out[0] = round_byte(h / 360.0f * 255.0f);
        out[1] = round_byte(s * 255.0f);
        out[2] = round_byte(v * 255.0f);
    });
}

void Conversion::lab2bgr(const kt_image& src, kt_image& dst) {
    convert_colour("lab2bgr", src, dst, [](const unsigned char* in, unsigned char* out) {
        const float L = in[0], A = in[1] - 128.0f, Bc = in[2] - 128.0f;
        float Y, fy;
        // 20.4 is where the cube-root branch of the forward lightness starts (295.8 x 0.2069 - 40.8).
        if (L > 20.4f) {
            fy = (L + 40.8f) / 295.8f;
            Y = fy * fy * fy;
        } else {
            Y = L / 2303.415f;
            fy = 7.787f * Y + 0.13793103f;
        }
        const float X = lab_finv(A / 500.0f + fy) / 1.0521265f;
        const float Z = lab_finv(fy - Bc / 200.0f) / 0.9184811f;
        const float R = 3.240479f * X - 1.53715f * Y - 0.498535f * Z;
        const float G = -0.969256f * X + 1.875992f * Y + 0.041556f * Z;
        const float B = 0.055648f * X - 0.204043f * Y + 1.057311f * Z;
        out[0] = round_byte(B * 255.0f);
        out[1] = round_byte(G * 255.0f);
        out[2] = round_byte(R * 255.0f);
    });
}

void Conversion::hsv2bgr(const kt_image& src, kt_image& dst) {
    convert_colour("hsv2bgr", src, dst, [](const unsigned char* in, unsigned char* out) {
        unsigned char r = 0, g = 0, b = 0;
        // The hue byte 255 is 360 degrees, which kt_hsv_to_rgb treats as 0.
        kt_hsv_to_rgb(in[0] * (360.0f / 255.0f), in[1] / 255.0f, in[2] / 255.0f, &r, &g, &b);
        out[0] = b;
        out[1] = g;
        out[2] = r;
    });
}

void Conversion::bgr2yuv(const kt_image& src, kt_image& dst) {
    // 0.299/0.587/0.114 and the chroma rows in 1/65536 units; each row sums to 65536 or 0 so gray
    // maps exactly to (g, 128, 128). The 128 offset and the rounding half are folded into kBias, which
    // keeps every sum non-negative.
    constexpr int32_t kBias = 128 * 65536 + 32768;
    convert_colour("bgr2yuv", src, dst, [](const unsigned char* in, unsigned char* out) {
        const int32_t B = in[0], G = in[1], R = in[2];
        const int32_t y = (19595 * R + 38470 * G + 7471 * B + 32768) >> 16;
        const int32_t u = (-11059 * R - 21709 * G + 32768 * B + kBias) >> 16;
        const int32_t v = (32768 * R - 27439 * G - 5329 * B + kBias) >> 16;
        out[0] = static_cast<unsigned char>(y > 255 ? 255 : y);
        out[1] = static_cast<unsigned char>(u > 255 ? 255 : u);
        out[2] = static_cast<unsigned char>(v > 255 ? 255 : v);
    });
}

void Conversion::gray2color(const kt_image& src, kt_image& dst, uint32_t channels) {
    const char* op = "gray2color";
    check_source(op, src, src.channels == 1, k1);
    if (channels != 3 && channels != 4) fail(op, "output image should be either 3 OR 4 channels");
    prepare_dest(op, src, dst, channels);
    const bool fourth = channels == 4;
    each_pixel(src, dst, [fourth](const unsigned char* in, unsigned char* out) {
        out[0] = out[1] = out[2] = in[0];
        if (fourth) out[3] = in[0];
    });
}

}  // namespace ktil
