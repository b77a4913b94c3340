/* kt_image_count: how much of a box of a one-channel image reaches a threshold. */
#pragma once

#include <cstdint>

#include "kt_bbox.h"
#include "kt_image.h"

/* Counts the pixels inside the box whose value is >= threshold, stores the count in *count and
 * returns count / (box width x box height) as a float. Returns -1.0f (count untouched) when the image
 * is null, empty or not one-channel, count is null, the box is null or has zero width or height, or
 * the box leaves the image. */
float kt_image_count(const kt_bbox* box, const kt_image* image, unsigned char threshold,
                     uint32_t* count);
