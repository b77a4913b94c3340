/* kt_tracker_step: one frame of the blob tracker, in normal and static mode, and the steps it is
 * made of. */
#pragma once

#include <cstdint>

#include "kt_tracker.h"

/* One frame in normal mode:
 *  1. takes min(blob_count, length of the blob list) blobs (never reads past the list's end), sizes
 *     the buffers and describes each blob (histograms of five regions of its box);
 *  2. predicts every object's box, sets its near-edge and near-segment flags from the prediction and
 *     collects a candidate for every blob overlapping the prediction (objects in list order, blobs
 *     in list order), each weighed;
 *  3. sorts all candidates by score and links best-first: exclusive, merge, release passes;
 *  4. kt_object_list_update; 5. kt_add_new_objects.
 * Returns 1; 0 for a null input or list, a null blob list (an empty frame also has one) or image,
 * or a static list. With an input and a list the list update still runs on 0, so objects age
 * normally (nascent ones go, mature ones coast). */
int kt_tracker_process(const kt_tracker_input* input, kt_object_list* list);

/* One frame in static mode: as kt_tracker_process, but the prediction is the rounded position
 * averages, each object's candidates are sorted on their own, and one pass from the last candidate
 * back to the first links unmatched objects to unclaimed blobs; unmatched objects are removed.
 * Same results; a normal-mode list gives 0 (after the list update). */
int kt_tracker_static_process(const kt_tracker_input* input, kt_object_list* list);

/* Step 1: takes the frame's blobs into the list's infos (vertex, claims 0, confidence, histograms)
 * and indexes them for the overlap search. Returns the number taken: min(blob_count, list length),
 * fewer only when memory for the infos runs out; also stored in list->info_count. 0 for nulls. */
uint32_t kt_tracker_prepare_blobs(const kt_tracker_input* input, kt_object_list* list);

/* Step 2 over every object: prediction (normal or static per the list), near flags, candidates into
 * the list's buffer grown as needed (in static mode each object's candidates are heap-sorted on
 * their own). The candidates and their order are those of kt_track_candidates over all infos, object
 * after object. Returns their number, also stored in list->candidate_count (fewer only when memory
 * runs out). 0 for nulls. */
uint32_t kt_tracker_collect_candidates(const kt_tracker_input* input, kt_object_list* list);

/* The five region histograms of box over image, restricted by mask when not null: whole box, top
 * half (height halved), bottom half (y moved down by the halved height), left half (width halved),
 * right half (x moved right by the halved width), into hist[KT_REGION_*]. Each is cleared first, so
 * an image that is not four-channel gives empty histograms. Nulls for hist or box ignored. */
void kt_tracker_populate_histograms(kt_histogram* hist, const kt_image* image, const kt_image* mask,
                                    const kt_bbox* box);

/* End of frame: frees the records in `free`; updates every matched object (in the list's mode) and
 * clears its lost_since; removes an unmatched object in static mode, and in normal mode when it is
 * nascent, lost for more than lost_timeout ms, or its box is near the image edge (only with an
 * image) or near a segment; a kept one gets lost_since = now if it was 0 and predicted = box.
 * Nulls ignored. */
void kt_object_list_update(const kt_tracker_input* input, kt_object_list* list);

/* Starts an object (kt_object_list_push) from every blob of the frame that has no claim and a
 * confidence >= min_new_confidence, in blob order, so that the last one heads the list. Nulls
 * ignored. */
void kt_add_new_objects(const kt_tracker_input* input, kt_object_list* list);
