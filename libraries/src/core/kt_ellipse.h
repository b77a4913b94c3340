/* kt_ellipse: an ellipse by its foci, used to shape structuring elements. */
#pragma once

#include "kt_point.h"

typedef struct kt_ellipse {
    float f1x, f1y;   /* first focus */
    float f2x, f2y;   /* second focus */
    float cx, cy;     /* centre */
    float major;      /* major axis length */
    float minor;      /* minor axis length */
} kt_ellipse;

/* Axis-aligned ellipse of the given full width and height around centre; the longer of the two is the
 * major axis (ties: width) and the foci lie on it at +-sqrt((major/2)^2 - (minor/2)^2) from the
 * centre. Returns 1, or 0 for null pointers or a negative or non-finite width or height (untouched). */
int kt_init_ellipse(kt_ellipse* ellipse, const kt_fpoint* centre, float width, float height);

/* 1 when the distances from (x, y) to the two foci add up to no more than the major axis length;
 * 0 otherwise or for null. */
int kt_ellipse_contains(const kt_ellipse* ellipse, float x, float y);
