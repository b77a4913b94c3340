/* kt_image_scale: nearest-neighbour resampling, halving and doubling. */
#pragma once

#include "kt_image.h"

/* Resamples source to destination's existing shape, nearest neighbour: destination pixel (x, y) takes
 * source pixel (truncate(x x sw/dw), truncate(y x sh/dh)) with the ratios as floats; a source
 * coordinate outside the source gives a zero pixel. Needs equal channels, both valid. Returns 1 or 0.
 * Source and destination must not share a buffer. */
int kt_scale_image(const kt_image* source, kt_image* destination);

/* destination = width/2 x height/2, pixel (x, y) = source pixel (2x, 2y). The destination keeps its
 * buffer when already that shape; one without data takes the source's channels; one with data and
 * other channels fails. A source narrower or shorter than 2 fails. Returns 1 or 0. */
int kt_shrink_image(const kt_image* source, kt_image* destination);

/* destination = 2 width x 2 height with the source's channels; each source pixel fills the 2x2 block
 * it covers. Fails (0) when the doubled shape overflows 32 bits or on allocation failure. */
int kt_grow_image(const kt_image* source, kt_image* destination);
