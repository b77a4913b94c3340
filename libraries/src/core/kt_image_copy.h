/* kt_image_copy: whole-image copy and the region copies (box copy, crop, paste). */
#pragma once

#include <cstdint>

#include "kt_bbox.h"
#include "kt_image.h"

/* Makes destination an exact copy of source (shape and all size bytes). The destination is freed and
 * re-created with the source's shape when its size differs. Returns 1; 0 for null pointers, a source
 * without data or with an inconsistent size, or an allocation failure. */
int kt_copy_image(const kt_image* source, kt_image* destination);

/* Copies the box's pixels of source to the same place in destination, whose other pixels are left as
 * they were (a destination of another shape is first re-created with the source's shape, all zero).
 * The box must lie inside the source (x + width <= source width, y + height <= source height).
 * Returns 1; 0 for null pointers, an invalid source, a box outside it, or an allocation failure. */
int kt_copy_image_roi(const kt_image* source, const kt_bbox* box, kt_image* destination);

/* Fills destination (which keeps its own shape) with the region of the destination's size at (x, y)
 * of source. Needs equal channels, x + destination width <= source width and
 * y + destination height <= source height. Returns 1; 0 (destination untouched) otherwise. */
int kt_crop_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination);

/* Writes source into destination at (x, y), row by row. Needs equal channels, both valid, and
 * x + source width <= destination width, y + source height <= destination height. Returns 1; 0
 * (destination untouched) otherwise. */
int kt_paste_image(const kt_image* source, uint32_t x, uint32_t y, kt_image* destination);
