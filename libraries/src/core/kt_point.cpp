#include "kt_point.h"

#include <cmath>

float kt_distance_to(const kt_fpoint* p, float x, float y) {
    if (!p) return -1.0f;
    const float dx = x - p->x, dy = y - p->y;
    // Axis-aligned pairs skip the square root.
    if (dx == 0.0f) return std::fabs(dy);
    if (dy == 0.0f) return std::fabs(dx);
    return std::sqrt(dx * dx + dy * dy);
}

float kt_distance_to_point(const kt_fpoint* a, const kt_fpoint* b) {
    if (!a || !b) return -1.0f;
    return kt_distance_to(a, b->x, b->y);
}

float kt_angle_to_point(const kt_fpoint* a, const kt_fpoint* b) {
    if (!a || !b) return 0.0f;
    return static_cast<float>(std::atan2(b->y - a->y, b->x - a->x));
}
