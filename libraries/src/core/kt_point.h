/* kt_point: integer and float points of the detection core, with distance and angle helpers. */
#pragma once

#include <cstdint>

typedef struct kt_point {
    int32_t x;
    int32_t y;
} kt_point;

/* Float point used by the distance and ellipse helpers. */
typedef struct kt_fpoint {
    float x;
    float y;
} kt_fpoint;

/* Euclidean distance from p to (x, y) as a float. When one coordinate difference is exactly 0 the
 * absolute other difference is returned without a square root. Null p: -1.0f. */
float kt_distance_to(const kt_fpoint* p, float x, float y);

/* kt_distance_to between two float points. Either null: -1.0f. */
float kt_distance_to_point(const kt_fpoint* a, const kt_fpoint* b);

/* atan2(b.y - a.y, b.x - a.x) in radians as a float (-pi..pi). Either null: 0.0f. */
float kt_angle_to_point(const kt_fpoint* a, const kt_fpoint* b);
