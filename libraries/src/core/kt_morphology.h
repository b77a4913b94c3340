/* kt_morphology: 3x3 dilation and erosion of one-channel images (masks), whole image or in a box.
 * Two separable passes: a vertical one into the caller's scratch image, 32 bits at a time, then a
 * horizontal one into the destination. Nothing is allocated. */
#pragma once

#include "kt_bbox.h"
#include "kt_image.h"

/* 3x3 dilation: destination (x, y) = OR of the source's 3x3 neighbourhood for every interior pixel;
 * the destination's first and last rows and columns are not written. source and destination may be
 * the same image (in place); scratch must be a third image of the source's size. Needs a one-channel
 * source, a destination of the same size. A source shorter than 3 rows returns 1 untouched.
 * Returns 1; 0 (nothing written) for null or invalid images, mismatched sizes, or a scratch that
 * shares a buffer with source or destination. */
int kt_dilate_image(const kt_image* source, kt_image* destination, kt_image* scratch);

/* As kt_dilate_image with AND (3x3 erosion). */
int kt_erode_image(const kt_image* source, kt_image* destination, kt_image* scratch);

/* The same operation on the box of the source treated as an image of its own: the result is written
 * into the destination at the box's place, except for the box's own first and last rows and columns.
 * A null box means the whole image. scratch must be exactly the box's width x height, one channel, and
 * must not share a buffer with source or destination; the box must lie inside the source; a box
 * shorter than 3 rows returns 1 untouched. Returns 1 or 0 (nothing written). */
int kt_dilate_image_roi(const kt_image* source, kt_image* destination, kt_image* scratch,
                        const kt_bbox* box);
int kt_erode_image_roi(const kt_image* source, kt_image* destination, kt_image* scratch,
                       const kt_bbox* box);
