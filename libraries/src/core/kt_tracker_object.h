/* kt_tracker_object: one tracked object: creation from a blob, the predicted box, the edge, segment
 * and lifetime tests, and the end-of-frame update in both modes. */
#pragma once

#include <cstdint>

#include "kt_tracker.h"

/* Distance in pixels from the image border or an occluding segment within which an object is
 * "near" it: its appearance is then unreliable and it may vanish there. */
#define KT_TRACKER_EDGE_MARGIN 7u
/* Running-average weights: normal-mode motion, static-mode position, sizes, sizes while the blob is
 * shared, and histogram blending. */
#define KT_MOTION_WEIGHT 0.4f
#define KT_STATIC_POSITION_WEIGHT 0.005f
#define KT_SIZE_WEIGHT 0.025f
#define KT_SHARED_SIZE_WEIGHT 0.01f
#define KT_HISTOGRAM_BLEND_WEIGHT 0.025f
/* Smallest predicted width or height when the box is shrinking. */
#define KT_PREDICTED_MIN_SIDE 3u

/* Normal-mode creation from a blob: the record is zeroed; id, created = input->now, confidence =
 * the blob's, flags nascent, plus near-edge unless x > 6, y > 6, x + width + 7 < image width and
 * y + height + 7 < image height (also set without an image), plus near-segment when the box is near
 * one of the input's segments; the blob's width and height go into the size averages only when
 * neither near flag is set; motion weights 0.4, size weights 0.025; histograms copied; box,
 * predicted and first_box = the blob's box. 1; 0 for null arguments (nothing written). */
int kt_object_init(kt_object* object, uint32_t id, const kt_tracker_input* input, const kt_blob_info* info);

/* Static-mode creation: zeroed; id, created, confidence as above; flags nascent; position weights
 * 0.005 with the blob's x, y, width, height as first samples; size weights 0.025 with its width
 * and height; histograms copied; the three boxes = the blob's box. 1; 0 for null arguments. */
int kt_object_static_init(kt_object* object, uint32_t id, const kt_tracker_input* input,
                          const kt_blob_info* info);

/* Normal-mode prediction into *out from object->box and the motion averages vx, vy, vw, vh, with
 * hw = width/2 and hh = height/2. Moving left: x - min(truncate(0.05 - vx), hw), 0 when that
 * reaches past 0; else x + min(truncate(vx + 0.5), hw). y likewise with 0.5 - vy and hh. Shrinking:
 * max(width - min(truncate(0.5 - vw), hw), 3); else width + min(truncate(vw + 0.5), hw); height
 * likewise. Sums saturate at 0xFFFFFFFF. Nulls ignored. */
void kt_object_estimate(const kt_object* object, kt_bbox* out);

/* Static-mode prediction: the position averages rounded, truncate(avg + 0.5) for x, y, width,
 * height, each clamped to 0 .. 0xFFFFFFFF. Nulls ignored. */
void kt_object_static_estimate(const kt_object* object, kt_bbox* out);

/* 1 when x < 7, y < 7, x + width + 7 >= image width or y + height + 7 >= image height; -1 for a
 * null argument; else 0. */
int kt_object_near_edge(const kt_bbox* box, const kt_image* image);

/* 1 when the box grown by 7 pixels on every side crosses any of the count segments; 0 otherwise,
 * for a null box or with no segments. */
int kt_object_near_segment(const kt_bbox* box, const kt_segment* segments, uint32_t count);

/* 1 when nascent; 0 when never lost (lost_since 0); else whether now - lost_since > timeout (ms,
 * modulo 2^32 so that the clock may wrap). 0 for null. */
int kt_object_near_death(const kt_object* object, uint32_t now, uint32_t timeout);

/* flags bit 0; 0 for null. */
int kt_object_nascent(const kt_object* object);

/* Normal-mode update of a matched object (object->match set) with its blob b. When the object was
 * shared or b has more than one claim the size weights become 0.01; otherwise the changes of x, y,
 * width and height go into the motion averages, the size weights become 0.025 and, unless
 * input->update_near_edges is 0 while a near flag is set, the histograms are blended with b's by
 * 0.025. Under that same condition b's width and height go into the size averages. Then
 * kt_object_finish_update. Nothing for nulls or an unmatched object. */
void kt_object_update(kt_object* object, const kt_tracker_input* input);

/* Static-mode update: when the object was not shared and b has exactly one claim, x, y, width and
 * height go into the position averages, width and height into the size averages and the histograms
 * are blended by 0.025. Then kt_object_finish_update. Nothing for nulls or an unmatched object. */
void kt_object_static_update(kt_object* object, const kt_tracker_input* input);

/* The common end of both updates: box = b's box, shared = b has more than one claim, confidence =
 * b's, match = null, updates + 1 (saturating), nascent cleared once updates >= input->maturity. */
void kt_object_finish_update(kt_object* object, const kt_tracker_input* input);
