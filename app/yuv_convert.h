// yuv_convert: the camera frame (NV21) to the four-byte blue-green-red-luminance ("BGRY") image.
#pragma once

#include "kt_image.h"

// Converts the frame `src` into `dst`, which already has the frame's width W, height H (both even)
// and 4 channels. `src` holds the luminance plane (W x H bytes) followed by H/2 rows of W bytes of
// interleaved chroma pairs, one pair per 2x2 block. With c0 = first byte of the pair - 128 and
// c1 = second byte - 128, each pixel of the block gets blue = Y + (2081 c0 >> 10),
// green = Y - ((594 c0 + 404 c1) >> 10), red = Y + (1167 c1 >> 10), each limited to 0..255, and Y
// itself in the fourth byte. Integer arithmetic only; allocates nothing. Returns true; a null `src`
// or a `dst` without a buffer of W x H x 4 bytes is left untouched.
//
// The formula takes the first byte of each pair as the blue difference; NV21 as usually defined
// stores the red difference first, in which case red and blue come out exchanged. Stored classifier
// models were made with this form, so it stays as it is.
bool convertYUV420_NV21toARGB8888(const unsigned char* src, kt_image& dst);
