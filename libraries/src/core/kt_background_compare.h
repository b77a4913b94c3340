/* kt_background_compare: how unlike the learned background each pixel of a frame is. */
#pragma once

#include <cstdint>

#include "kt_background_model.h"
#include "kt_image.h"

/* Compares image with the model into diff: 0 where the pixel matches the background, up to 255 the
 * less likely it is; *count receives the number of pixels that do not fully match.
 * Gray (mode 0, one-channel image): diff = 255 - likelihood. Blue-green-red (mode 1, four channels):
 * when any channel is below full likelihood, diff = 255 - (Lr + Lg + Lb) / 3. Lightness-chroma
 * (mode 2, four channels): kt_background_compare_lab.
 * Needs the model's size equal to the image's, diff of width x height bytes, and a mask (optional)
 * of width x height bytes; pixels whose mask byte is 0 are skipped (diff 0). reserved is ignored.
 * diff is cleared first. Untrained pixels always match. Reads the model's compact view, not the
 * records (the same results while the view is in step, kt_background_check_view). Returns 1; 0 (nothing written) for null
 * arguments, a model without arrays, a channel count that does not fit the mode, mismatched sizes or
 * an unknown mode. In mode 2 the chroma floors of the model are adjusted (see _lab). */
int kt_background_compare(kt_background* model, const kt_image* image, const kt_image* mask,
                          uint32_t reserved, kt_image* diff, uint32_t* count);

/* The blue-green-red comparison of kt_background_compare. Checks the arguments as that does (a fault
 * in a caller must not become an overrun), but does not clear diff or count: pixels that match or are
 * masked out are written 0, and *count grows by the non-matching pixels. Returns 1 or 0. */
int kt_background_compare_bgr(kt_background* model, const kt_image* image, const kt_image* mask,
                              uint32_t reserved, kt_image* diff, uint32_t* count);

/* The lightness-chroma comparison (mode 2). A first pass measures how much of the frame changed in
 * lightness; a large global change (a light switched, the sun behind a cloud) raises the chroma floors
 * and moves the weight from lightness to chroma, so the scene still compares by colour. Pixels that
 * look like a shadow (darker by a plausible ratio with unchanged chroma) are background. Sets diff and
 * *count; writes the floors of dist1 and dist2. Returns 1; 0 as kt_background_compare. */
int kt_background_compare_lab(kt_background* model, const kt_image* image, const kt_image* mask,
                              uint32_t reserved, kt_image* diff, uint32_t* count);
