/* kt_background_shadows: a map of how shadow-like each pixel of a colour frame is against the learnt
 * blue-green-red background. */
#pragma once

#include "kt_background_model.h"
#include "kt_image.h"

/* Channels darker than this are too noisy to judge a shadow by. */
#define KT_BG_SHADOW_MIN_LEVEL 16

/* Writes 255 everywhere, then for every masked-in pixel whose three channels are all above
 * KT_BG_SHADOW_MIN_LEVEL and below their background means: with per-channel ratios rR, rG, rB
 * (sample / mean), t = mean ratio x 0.1 and the differences dRG = |rR - rG|, dGB = |rG - rB|, the
 * output is (1 - dRG / t) x 255 when dRG >= dGB and dRG < t, else (1 - dGB / t) x 255 when dGB < t;
 * every other pixel stays 255. A shadow darkens all channels by about the same ratio: a darker pixel
 * whose ratios agree gets 255, falling towards 0 as they drift apart up to the tolerance. Mode 1
 * models only. colour is four channels of the model's size; output one channel of the same width and height;
 * mask (optional) one channel of that size. Returns 1; 0 (untouched) otherwise. */
int kt_background_compare_shadows(const kt_background* model, const kt_image* colour,
                                  const kt_image* mask, kt_image* output);
