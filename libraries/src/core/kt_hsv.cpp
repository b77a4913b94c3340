#include "kt_hsv.h"

#include <cmath>

int kt_rgb_to_hsv(unsigned char r8, unsigned char g8, unsigned char b8, float* h, float* s,
                  float* v) {
    if (!h || !s || !v) return 0;
    const float r = r8 / 255.0f, g = g8 / 255.0f, b = b8 / 255.0f;
    if (r8 == g8 && g8 == b8) {
        *h = 0.0f;
        *s = 0.0f;
        *v = r;
        return 1;
    }
    float mx, mn, hue;
    // Ties go to red, then green: the order of these comparisons.
    if (r >= g && r >= b) {
        mx = r;
        mn = g < b ? g : b;
        hue = 60.0f * (g - b) / (mx - mn);
        if (g < b) hue += 360.0f;
    } else if (g >= b) {
        mx = g;
        mn = r < b ? r : b;
        hue = 60.0f * (b - r) / (mx - mn) + 120.0f;
    } else {
        mx = b;
        mn = r < g ? r : g;
        hue = 60.0f * (r - g) / (mx - mn) + 240.0f;
    }
    *h = hue;
    *s = 1.0f - mn / mx;
    *v = mx;
    return 1;
}

namespace {
unsigned char to_byte(float c) {
    const float x = c * 255.0f;
    if (!(x > 0.0f)) return 0;  // NaN too
    if (x >= 255.0f) return 255;
    return static_cast<unsigned char>(x);  // truncation toward zero
}
}  // namespace

int kt_hsv_to_rgb(float h, float s, float v, unsigned char* r, unsigned char* g, unsigned char* b) {
    if (!r || !g || !b) return 0;
    if (!std::isfinite(h) || !std::isfinite(s) || !std::isfinite(v)) return 0;
    if (h < 0.0f || s < 0.0f || v < 0.0f) return 0;
    const float fi = std::floor(h / 60.0f);
    const float f = h / 60.0f - fi;
    const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    float R = v, G = v, B = v;
    // fi is a whole number >= 0 here; compare as float so a huge hue cannot overflow an int.
    if (fi == 0.0f || fi == 6.0f) {
        R = v; G = t; B = p;
    } else if (fi == 1.0f) {
        R = q; G = v; B = p;
    } else if (fi == 2.0f) {
        R = p; G = v; B = t;
    } else if (fi == 3.0f) {
        R = p; G = q; B = v;
    } else if (fi == 4.0f) {
        R = t; G = p; B = v;
    } else if (fi == 5.0f) {
        R = v; G = p; B = q;
    }
    *r = to_byte(R);
    *g = to_byte(G);
    *b = to_byte(B);
    return 1;
}
