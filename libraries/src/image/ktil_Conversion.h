// ktil::Conversion: whole-image colour conversions between kt_image records.
//
// Every conversion sizes the destination with kt_ensure_image (so a per-frame destination keeps its
// buffer) and throws kttl::Exception naming ktil::Conversion for a source without data, a source
// whose size does not match its shape or a wrong channel count (destination untouched), or for a
// destination that cannot be allocated (destination left empty). Conversions that keep the channel count
// may run in place (source and destination the same record); the others refuse a destination that
// shares the source's buffer.
#pragma once

#include <cstdint>

#include "kt_image.h"

namespace ktil {

class Conversion {
public:
    // Blue-green-red (3 or 4 channels) to lightness-chroma bytes L, a, b (neutral chroma at 128),
    // same channel count, a fourth byte copied. Linear RGB to D65-normalised XYZ to CIE L*a*b*, L
    // scaled by 2.55, each value rounded and clamped to a byte.
    static void bgr2lab(const kt_image& src, kt_image& dst);

    // Gray (1 channel) to four channels (L, 0, 0, 255), L computed as bgr2lab does for Y = gray/255.
    static void gray2lab(const kt_image& src, kt_image& dst);

    // Lightness-chroma (3 or 4 channels) to gray: byte 0 (L).
    static void lab2gray(const kt_image& src, kt_image& dst);

    // Colour (3 or 4 channels) to gray in integers: three channels (30 b0 + 59 b1 + 11 b2) / 100,
    // four channels, blue-green-red, (11 b0 + 59 b1 + 30 b2) / 100.
    static void color2gray(const kt_image& src, kt_image& dst);

    // Blue-green-red (3 or 4 channels) to hue, saturation, value bytes (h/360, s and v scaled by 255,
    // rounded), same channel count, a fourth byte copied.
    static void bgr2hsv(const kt_image& src, kt_image& dst);

    // Inverse of bgr2lab (3 or 4 channels, a fourth byte copied); a round trip lands within a few
    // levels of the original for colours inside the RGB gamut.
    static void lab2bgr(const kt_image& src, kt_image& dst);

    // Inverse of bgr2hsv by kt_hsv_to_rgb (3 or 4 channels, a fourth byte copied).
    static void hsv2bgr(const kt_image& src, kt_image& dst);

    // Blue-green-red (3 or 4 channels) to full-range BT.601 Y, Cb, Cr bytes (the JPEG form, chroma
    // neutral at 128) in 16-bit fixed point, a fourth byte copied.
    static void bgr2yuv(const kt_image& src, kt_image& dst);

    // Gray (1 channel) to blue-green-red with channels 3 or 4; a fourth byte holds the gray value
    // itself, as in the camera's blue-green-red-luminance frames.
    static void gray2color(const kt_image& src, kt_image& dst, uint32_t channels = 4);
};

}  // namespace ktil
