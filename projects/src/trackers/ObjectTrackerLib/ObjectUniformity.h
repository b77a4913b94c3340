// ObjectUniformity: how evenly grey an object's box is, for the "Object Uniformity" attribute.
#pragma once

#include "kt_image.h"
#include "ktml_BoundingBox.h"

// 1 - sigma / 127.5, where sigma is the standard deviation of the gray levels of the one-channel
// image inside the box (clipped to the image): 1 for a flat region, 0 for one that is half black and
// half white, so the value lies in 0..1 whatever the box size. -1 when the box holds no pixel of the
// image or the image is not one-channel.
double objectUniformity(const kt_image& gray, const ktml::BoundingBox<int>& box);
