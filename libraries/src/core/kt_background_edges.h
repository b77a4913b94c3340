/* kt_background_edges: the learnt edge orientations of the background and the test whether a blob is
 * really background (a ghost: a region the model has not yet learnt, whose edges are the scene's). */
#pragma once

#include <cstdint>

#include "kt_background_model.h"
#include "kt_bbox.h"
#include "kt_image.h"

/* Two orientations match when they differ by less than this many degrees (around the circle). */
#define KT_BG_ANGLE_TOLERANCE 30

/* Orientation of the gradient (gx, gy) in whole degrees 1..360: atan2(gy, gx) taken to 0..2 pi,
 * in degrees, truncated, plus 1 (0 is kept for "no edge"). */
int32_t kt_bg_edge_angle(int32_t gx, int32_t gy);

/* 1 when angles a and b (degrees) differ by less than KT_BG_ANGLE_TOLERANCE or more than
 * 360 - KT_BG_ANGLE_TOLERANCE. */
int kt_bg_angles_match(int32_t a, int32_t b);

/* 1 when some pixel of the window [max(0, x - r), min(width, x + r)) x
 * [max(0, y - r), min(height, y + r)) has a non-zero edge average (truncated to an integer) that
 * matches angle; 0 otherwise, for a model without arrays or a null model. */
int kt_background_check_region(const kt_background* model, int32_t angle, int32_t x, int32_t y,
                               int32_t radius);

/* Ghost test of a blob box. Succeeds at once with *ratio 1.0 when the box is a bright, uniform region
 * (kt_background_check_varmean). Otherwise the box's strong edges in gray are compared with the learnt
 * orientations: with radius < 2 at the same pixel, else (for pixels set in foreground) within
 * radius/2 (an even radius is raised by one first); *ratio = matched / edges when there are more than
 * 9 edges, else 1.0. A high ratio means the blob's edges are the background's.
 * Needs colour (four channels) and gray (one channel) consistent; foreground one channel of gray's
 * size; the box inside gray, colour and the model; 2 x radius below the box's width and height.
 * Returns 1; 0 (*ratio untouched) otherwise or when the crop or gradient cannot be allocated.
 * Allocates per call. */
int kt_background_is_background(const kt_background* model, const kt_image* colour,
                                const kt_image* gray, const kt_image* foreground,
                                const kt_bbox* box, int32_t radius, int32_t mode, float* ratio);

/* Uniform bright region: the population variances of the box's bytes 2, 1 and 0 (red/green/blue or
 * the chroma pair and lightness) are below the limits (100 for bytes 2 and 1 in mode 2, 625 otherwise;
 * always 625 for byte 0) and the region is bright (mode 2: lightness mean above 30.747; else any mean
 * above 50). 0 also for a colour image that is not four-channel and consistent, a null, empty or
 * outside box. */
int kt_background_check_varmean(const kt_image* colour, const kt_bbox* box, int32_t mode);

/* Population mean and variance of count bytes, as floats. Returns 1; 0 for null pointers or count 0. */
int kt_background_varmean(const unsigned char* bytes, uint32_t count, float* variance, float* mean);

/* gray = (30 x red + 59 x green + 11 x blue) / 100 for every pixel of a four-channel image (bytes 2, 1,
 * 0) into a one-channel image of the same width and height. Returns 1; 0 (untouched) otherwise. */
int kt_background_rgb_to_gray(const kt_image* colour, kt_image* gray);
