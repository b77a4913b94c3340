/* kt_background_args: the argument checks the background operations share (internal to the core). */
#pragma once

#include <cstdint>

#include "kt_background_model.h"
#include "kt_image.h"

/* Channels of the image a mode compares and learns from: 1 for gray, 4 for the colour modes; 0 for an
 * unknown mode. */
uint32_t kt_bg_mode_channels(int32_t mode);

/* 1 when image is a valid, consistent image of width x height bytes and one channel. Null: 0. */
int kt_bg_is_plane(const kt_image* image, uint32_t width, uint32_t height);

/* The checks every comparison makes before writing: a ready model, non-null diff and count, a
 * consistent image of the model's size with the mode's channel count, diff data of width x height
 * bytes and a mask (when given) with data of width x height bytes. */
int kt_bg_compare_args_ok(const kt_background* model, const kt_image* image, const kt_image* mask,
                          const kt_image* diff, const uint32_t* count);
