/* kt_threshold: table-driven mapping of gray bytes (thresholding and any other byte lookup). */
#pragma once

#include <cstdint>

#include "kt_image.h"

/* Fills a 256-entry table: entries 0 .. threshold-1 become 0, the rest 255 (threshold 0: all 255;
 * 256 or more: all 0). Returns 1; 0 for a null table or a length other than 256. */
int kt_threshold_inittable(unsigned char* table, uint32_t length, uint32_t threshold);

/* destination byte i = table[source byte i] over all size bytes. The source is one-channel and the
 * destination already has the source's size (it is not re-created); they may be the same image.
 * Returns 1; 0 for null pointers, a length other than 256, or mismatched sizes. */
int kt_threshold_gray(const unsigned char* table, uint32_t length, const kt_image* source,
                      kt_image* destination);
