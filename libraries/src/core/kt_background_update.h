/* kt_background_update: folds a frame into the background model where the caller lets it learn. */
#pragma once

#include "kt_background_model.h"
#include "kt_image.h"

/* Strong edge: |gx| + |gy| of the Sobel gradient above this counts as an edge. */
#define KT_BG_EDGE_STRENGTH 200
/* An edge average with no strong edge for longer than this many milliseconds is forgotten. */
#define KT_BG_EDGE_TIMEOUT_MS 2000u

/* Folds one frame into every pixel whose mask byte is non-zero: gray mode from gray (one channel),
 * colour modes from colour (four channels: byte 0 into dist0, 1 into dist1, 2 into dist2). When
 * track_edges is set, the edge orientations are learnt from gray as well (kt_background_update_edges;
 * this allocates a gradient array per call). A frame of another size first re-creates the model
 * (every pixel untrained) at that size.
 * gray and colour count only when they have data and the right channel count; an image that counts
 * must be consistent, and with both counting in a colour mode they must have the same size. The mask
 * must be one channel of the frame's size. Returns 1; 0 (model unchanged) for a null model or mask, a
 * missing image the mode or edge tracking needs, a frame not larger than 3 x 3, a mask of another
 * size, or when re-creating the model or the gradient fails. */
int kt_background_update(kt_background* model, const kt_image* gray, const kt_image* colour,
                         const kt_image* mask);

/* The edge part of kt_background_update on its own: for every masked-in pixel, a strong edge sets or
 * blends its orientation (degrees 1..360) into the pixel's edge average and stamps the time; a pixel
 * without a strong edge for more than KT_BG_EDGE_TIMEOUT_MS loses its average. gray and mask must be
 * one channel of the model's size, at least 3 x 3. Returns 1; 0 (unchanged) otherwise or when the
 * gradient array cannot be allocated. */
int kt_background_update_edges(kt_background* model, const kt_image* gray, const kt_image* mask);
