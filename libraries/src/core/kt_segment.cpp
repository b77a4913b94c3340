#include "kt_segment.h"

#include <cmath>
#include <cstdint>

void kt_set_segment(kt_segment* segment, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!segment) return;
    segment->x1 = x1;
    segment->y1 = y1;
    segment->x2 = x2;
    segment->y2 = y2;
}

double kt_determinate(double a, double b, double c, double d) { return a * d - b * c; }

namespace {

// Rounds as the crossing test does: add 0.5, truncate toward zero. Clamped so far-away crossings of
// nearly parallel lines cannot overflow the integer conversion.
int64_t round_half(double v) {
    v += 0.5;
    if (!(v > -9.0e15)) return INT64_C(-9000000000000000);
    if (v > 9.0e15) return INT64_C(9000000000000000);
    return static_cast<int64_t>(v);
}

bool crossing(const kt_segment* a, const kt_segment* b, int64_t* px, int64_t* py) {
    const double x1 = a->x1, y1 = a->y1, x2 = a->x2, y2 = a->y2;
    const double x3 = b->x1, y3 = b->y1, x4 = b->x2, y4 = b->y2;
    const double den = kt_determinate(x1 - x2, y1 - y2, x3 - x4, y3 - y4);
    if (den == 0.0) return false;
    const double d12 = kt_determinate(x1, y1, x2, y2);
    const double d34 = kt_determinate(x3, y3, x4, y4);
    *px = round_half((d12 * (x3 - x4) - (x1 - x2) * d34) / den);
    *py = round_half((d12 * (y3 - y4) - (y1 - y2) * d34) / den);
    return true;
}

bool within(int64_t v, int32_t a, int32_t b) {
    return a < b ? (v >= a && v <= b) : (v >= b && v <= a);
}

}  // namespace

int kt_intersects(const kt_segment* a, const kt_segment* b) {
    if (!a || !b) return 0;
    int64_t px = 0, py = 0;
    if (!crossing(a, b, &px, &py)) return 0;
    return within(px, a->x1, a->x2) && within(py, a->y1, a->y2) && within(px, b->x1, b->x2) &&
                   within(py, b->y1, b->y2)
               ? 1
               : 0;
}

int kt_get_intersection(const kt_segment* a, const kt_segment* b, kt_point* point) {
    if (!a || !b || !point) return 0;
    int64_t px = 0, py = 0;
    if (!crossing(a, b, &px, &py)) return 0;
    // Crossings beyond the 32-bit plane are reported at its edge.
    point->x = int32_t(px < INT32_MIN ? INT32_MIN : (px > INT32_MAX ? INT32_MAX : px));
    point->y = int32_t(py < INT32_MIN ? INT32_MIN : (py > INT32_MAX ? INT32_MAX : py));
    return 1;
}

int kt_colinear_contains(const kt_segment* segment, const kt_point* point) {
    if (!segment || !point) return 0;
    return within(point->x, segment->x1, segment->x2) && within(point->y, segment->y1, segment->y2)
               ? 1
               : 0;
}
