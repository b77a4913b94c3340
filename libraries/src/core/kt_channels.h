/* kt_channels: channel reordering, alpha insertion, channel extraction and border filling. */
#pragma once

#include <cstdint>

#include "kt_image.h"

/* Three-channel source to a four-channel destination (ensured to the source's width and height):
 * source bytes 0, 1, 2 go to destination bytes 2, 1, 0, fourth byte 0. Returns 1 or 0. */
int kt_inflate_image(const kt_image* source, kt_image* destination);

/* Writes each byte of the one-channel source into the fourth byte of the corresponding pixel of the
 * four-channel destination; both must have the same width and height. Returns 1 or 0. */
int kt_add_alpha(const kt_image* source, kt_image* destination);

/* Four-channel source to a one-channel destination (ensured to the source's width and height):
 * destination byte = source byte of the channel (0..3) when greater than threshold, else 0.
 * Returns 1 or 0. */
int kt_extract_channel(const kt_image* source, kt_image* destination, uint32_t channel,
                       unsigned char threshold);

/* Sets the outer border rows and columns on every side of a one-channel image to value.
 * Needs border >= 1, 2 x border <= height and 2 x border <= width. Returns 1 or 0. */
int kt_fill_border(kt_image* image, uint32_t border, unsigned char value);
