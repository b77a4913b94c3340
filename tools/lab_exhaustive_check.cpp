// One-off proof that ktil::Conversion::bgr2lab gives, for every one of the 2^24 blue-green-red
// colours, the same bytes as the plain per-pixel lightness-chroma formula (float terms, double pow
// cube root), with three and with four channels. Prints the number of differing bytes per channel
// and exits 1 when any differs. Also measures the interpolated cube root the fast path relies on
// against its exact value on every float of its range, and exits 1 when the stated bound is
// exceeded. Takes a few seconds; not part of the unit tests.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kt_image.h"
#include "ktil_CubeRoot.h"
#include "ktil_Conversion.h"

namespace {

unsigned char plain_byte(float v) {
    return v < 0.0f ? 0 : v >= 255.0f ? 255 : static_cast<unsigned char>(v + 0.5f);
}

float plain_f(float t) {
    return t > 0.008856f ? float(std::pow(double(t), double(1.0f / 3.0f))) : 7.787f * t + 0.13793103f;
}

void plain_lab(int b8, int g8, int r8, unsigned char out[3]) {
    const float B = b8 * 0.003921569f, G = g8 * 0.003921569f, R = r8 * 0.003921569f;
    const float Y = 0.212671f * R + 0.71516f * G + 0.072169f * B;
    const float X = (0.412453f * R + 0.35758f * G + 0.180423f * B) * 1.0521265f;
    const float Z = (0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184811f;
    const float fy = plain_f(Y);
    out[0] = plain_byte(Y > 0.008856f ? 295.8f * fy - 40.8f : 2303.415f * Y);
    out[1] = plain_byte(500.0f * (plain_f(X) - fy) + 128.0f);
    out[2] = plain_byte(200.0f * (fy - plain_f(Z)) + 128.0f);
}

}  // namespace

// Largest |CubeRoot(t) - CubeRoot::exact(t)| over every float t in [kLow, kHigh).
double cube_root_error(float* worst_t) {
    const ktil::CubeRoot root;
    float t = ktil::CubeRoot::kLow;
    uint32_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    double worst = 0;
    for (; t < ktil::CubeRoot::kHigh; ++bits, std::memcpy(&t, &bits, sizeof t)) {
        const double e = std::fabs(double(root(t)) - double(ktil::CubeRoot::exact(t)));
        if (e > worst) worst = e, *worst_t = t;
    }
    return worst;
}

int main() {
    float worst_t = 0;
    const double worst = cube_root_error(&worst_t);
    const bool root_ok = worst <= ktil::CubeRoot::kMaxError;
    std::printf("cube_root max_error=%.3g at t=%.9g bound=%.3g %s\n", worst, worst_t,
                double(ktil::CubeRoot::kMaxError), root_ok ? "ok" : "EXCEEDED");

    // One 256x256 slab per red level: every (blue, green) pair.
    kt_image src3{nullptr, 0, 0, 0, 0}, src4{nullptr, 0, 0, 0, 0};
    kt_image dst3{nullptr, 0, 0, 0, 0}, dst4{nullptr, 0, 0, 0, 0};
    if (!kt_init_image(&src3, 256, 256, 3) || !kt_init_image(&src4, 256, 256, 4)) return 2;
    unsigned long long differ[4] = {0, 0, 0, 0}, first = ~0ull;
    for (int r = 0; r < 256; ++r) {
        for (int i = 0; i < 65536; ++i) {
            unsigned char* p3 = src3.data + 3 * i;
            unsigned char* p4 = src4.data + 4 * i;
            p3[0] = p4[0] = static_cast<unsigned char>(i & 0xFF);
            p3[1] = p4[1] = static_cast<unsigned char>(i >> 8);
            p3[2] = p4[2] = static_cast<unsigned char>(r);
            p4[3] = static_cast<unsigned char>(i * 7 + r);
        }
        ktil::Conversion::bgr2lab(src3, dst3);
        ktil::Conversion::bgr2lab(src4, dst4);
        for (int i = 0; i < 65536; ++i) {
            unsigned char ref[3];
            plain_lab(i & 0xFF, i >> 8, r, ref);
            for (int c = 0; c < 3; ++c) {
                const bool bad3 = dst3.data[3 * i + c] != ref[c], bad4 = dst4.data[4 * i + c] != ref[c];
                differ[c] += bad3 + bad4;
                if ((bad3 || bad4) && first == ~0ull) first = (unsigned long long)r << 16 | i;
            }
            differ[3] += dst4.data[4 * i + 3] != src4.data[4 * i + 3];
        }
    }
    const unsigned long long total = differ[0] + differ[1] + differ[2] + differ[3];
    std::printf("colours=16777216 channels=3,4 differing_bytes=%llu (L %llu, a %llu, b %llu, fourth %llu)\n",
                total, differ[0], differ[1], differ[2], differ[3]);
    if (total && first != ~0ull)
        std::printf("first differing colour: b=%llu g=%llu r=%llu\n", first & 0xFF, (first >> 8) & 0xFF,
                    first >> 16);
    kt_free_image(&src3);
    kt_free_image(&src4);
    kt_free_image(&dst3);
    kt_free_image(&dst4);
    return total || !root_ok ? 1 : 0;
}
