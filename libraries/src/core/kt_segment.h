/* kt_segment: integer line segments and their intersection tests. */
#pragma once

#include <cstdint>

#include "kt_point.h"

typedef struct kt_segment {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
} kt_segment;

/* Fills the record; null ignored. */
void kt_set_segment(kt_segment* segment, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

/* a x d - b x c in double precision. */
double kt_determinate(double a, double b, double c, double d);

/* 1 when the two segments cross: the crossing point of their lines, rounded to integers (add 0.5,
 * truncate toward zero), lies within the x and y ranges of both segments, ends included. Parallel
 * or degenerate pairs and null segments give 0. */
int kt_intersects(const kt_segment* a, const kt_segment* b);

/* The crossing point of the lines through a and b, rounded as in kt_intersects, without the range
 * test. Returns 1 and writes *point, or 0 (point untouched) for parallel lines or null pointers. */
int kt_get_intersection(const kt_segment* a, const kt_segment* b, kt_point* point);

/* 1 when point lies within the segment's x range and y range, ends included; 0 otherwise or null. */
int kt_colinear_contains(const kt_segment* segment, const kt_point* point);
