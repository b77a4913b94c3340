/* kt_tracker_passes: the passes that turn a frame's sorted candidates into links between objects
 * and blobs. Every pass walks from the last candidate (highest score) to the first. */
#pragma once

#include <cstdint>

#include "kt_tracker.h"

/* Exclusive pass: a candidate whose blob has no claim and whose object has no match is linked
 * (kt_link_candidates) and the blob's claims set to 1. Null ignored. */
void kt_tracker_exclusive_pass(kt_candidate* candidates, uint32_t count);

/* Merge pass: a candidate whose object still has no match, is not nascent, scores above 0, and whose
 * blob has fewer than max_per_blob claims is linked and the blob's claims grow by 1. Null ignored. */
void kt_tracker_merge_pass(kt_candidate* candidates, uint32_t count, uint8_t max_per_blob);

/* Release pass: a nascent object linked to a blob with more than one claim gives it up (claims - 1,
 * match null) and stays unmatched for the frame. Null ignored. */
void kt_tracker_release_pass(kt_candidate* candidates, uint32_t count);

/* Static mode's only pass: links an unmatched object to an unclaimed blob (claims 1). Null ignored. */
void kt_tracker_static_pass(kt_candidate* candidates, uint32_t count);
