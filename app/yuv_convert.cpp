// yuv_convert: the camera frame (NV21) to the four-byte blue-green-red-luminance ("BGRY") image.
#include "yuv_convert.h"

#include <cstddef>
#include <cstdint>

namespace {

// Y + t lies in -261..514 for Y in 0..255 and the coefficients' range; the table limits it to 0..255.
const int kClampOffset = 384;
struct ClampTable {
    unsigned char v[1024];
    ClampTable() {
        for (int i = 0; i < 1024; ++i) {
            const int x = i - kClampOffset;
            v[i] = static_cast<unsigned char>(x < 0 ? 0 : x > 255 ? 255 : x);
        }
    }
};
const ClampTable kClamp;

inline void writePixel(unsigned char* out, int y, int t0, int t1, int t2) {
    const unsigned char* clamp = kClamp.v + kClampOffset;
    out[0] = clamp[y + t0];
    out[1] = clamp[y - t2];
    out[2] = clamp[y + t1];
    out[3] = static_cast<unsigned char>(y);
}

}  // namespace

bool convertYUV420_NV21toARGB8888(const unsigned char* src, kt_image& dst) {
    const uint32_t w = dst.width, h = dst.height;
    if (src == nullptr || dst.data == nullptr || dst.channels != 4 ||
        static_cast<uint64_t>(w) * h * 4 != dst.size) {
        return true;
    }
    const unsigned char* chroma = src + static_cast<size_t>(w) * h;
    // Odd sizes are not NV21; their last row or column is left as it was rather than read past the end.
    const uint32_t evenW = w & ~1u, evenH = h & ~1u;
    for (uint32_t r = 0; r < evenH; r += 2) {
        const unsigned char* y0 = src + static_cast<size_t>(r) * w;
        const unsigned char* y1 = y0 + w;
        const unsigned char* pairs = chroma + static_cast<size_t>(r / 2) * w;
        unsigned char* out0 = dst.data + static_cast<size_t>(r) * w * 4;
        unsigned char* out1 = out0 + static_cast<size_t>(w) * 4;
        for (uint32_t c = 0; c < evenW; c += 2) {
            const int c0 = static_cast<int>(pairs[c]) - 128;
            const int c1 = static_cast<int>(pairs[c + 1]) - 128;
            // Arithmetic right shifts: rounding towards minus infinity, as the fixed-point form wants.
            const int t0 = (2081 * c0) >> 10;
            const int t1 = (1167 * c1) >> 10;
            const int t2 = (594 * c0 + 404 * c1) >> 10;
            writePixel(out0 + 4 * c, y0[c], t0, t1, t2);
            writePixel(out0 + 4 * (c + 1), y0[c + 1], t0, t1, t2);
            writePixel(out1 + 4 * c, y1[c], t0, t1, t2);
            writePixel(out1 + 4 * (c + 1), y1[c + 1], t0, t1, t2);
        }
    }
    return true;
}
