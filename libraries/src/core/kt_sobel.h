/* kt_sobel: 3x3 Sobel gradient of a gray image. */
#pragma once

#include <cstdint>

#include "kt_image.h"

/* Writes width x height (gx, gy) pairs of signed 32-bit values into gradient, row by row: zero first,
 * so the border pixels stay 0; for each interior pixel with neighbourhood a b c / d e f / g h i,
 * gx = (c + 2f + i) - (a + 2d + g) (right minus left) and gy = (a + 2b + c) - (g + 2h + i)
 * (top minus bottom). pairs is the number of pairs the array holds (at least width x height).
 * Needs a one-channel source of at least 3 x 3. Returns 1; 0 (array untouched) otherwise. */
int kt_sobel_image(const kt_image* source, int32_t* gradient, uint32_t pairs);
