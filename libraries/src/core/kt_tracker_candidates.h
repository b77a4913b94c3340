/* kt_tracker_candidates: the possible (object, blob) links of a frame: finding them, weighing them,
 * sorting them by score and linking one. */
#pragma once

#include <cstdint>

#include "kt_tracker.h"

/* Weights of the score away from edges and segments, with usable histograms ... */
#define KT_SCORE_OVERLAP_WEIGHT 0.1
#define KT_SCORE_APPEARANCE_WEIGHT 0.4
#define KT_SCORE_SIZE_WEIGHT 0.25
/* ... and without (a black or gray scene). */
#define KT_SCORE_PLAIN_OVERLAP_WEIGHT 0.2
#define KT_SCORE_PLAIN_SIZE_WEIGHT 0.4
/* Appearance below which a candidate scores 0: near an edge or segment, and elsewhere. */
#define KT_SCORE_MIN_APPEARANCE_NEAR_EDGE 0.4f
#define KT_SCORE_MIN_APPEARANCE 0.2f

/* Appends one candidate to slots for every blob among the first blob_count infos whose box
 * overlaps object->predicted with a positive area A, in info order, with score
 * A / (blob area - A + predicted area), each then weighed (kt_track_weigh_confidences). Writes at
 * most slot_count candidates. Returns how many were written; 0 for null arguments. */
uint32_t kt_track_candidates(kt_object* object, kt_blob_info* infos, uint32_t blob_count,
                             kt_candidate* slots, uint32_t slot_count);

/* The same for the infos named by indices (ascending, each below the infos' count), which must
 * include every blob that overlaps the prediction (kt_blob_grid_query gives such a list): the same
 * candidates in the same order as kt_track_candidates. Writes at most slot_count. */
uint32_t kt_track_candidates_at(kt_object* object, kt_blob_info* infos, const uint32_t* indices,
                                uint32_t index_count, kt_candidate* slots, uint32_t slot_count);

/* Computes the candidate's match values and replaces its overlap score by the weighted score:
 * width_match = 1 - |avg width - blob width| / (avg width + blob width) (1 when both are 0), height
 * likewise, appearance = mean of the five region similarities. An object near the edge or a segment
 * scores its appearance (0 below 0.4); else with usable histograms (both non-empty for at least one
 * region) 0 below appearance 0.2, otherwise 0.1 overlap + 0.4 appearance + 0.25 width_match +
 * 0.25 height_match; without usable histograms 0.2 overlap + 0.4 width_match + 0.4 height_match.
 * A score that is not a number becomes 0. Null ignored. */
void kt_track_weigh_confidences(kt_candidate* candidate);

/* Moves the element at index down the max-heap of the first count candidates (by score) until
 * neither child scores more. Nothing for null, or index >= count. */
void kt_candidate_siftdown(kt_candidate* candidates, uint32_t count, uint32_t index);

/* Arranges the first count candidates as a max-heap by score (sifting down from the last parent to
 * the root). Null ignored. */
void kt_candidate_heapify(kt_candidate* candidates, uint32_t count);

/* In-place heap sort of the first count candidates by score, ascending: heapify, then repeatedly
 * swap the root with the last unsorted element and sift the new root down. Not stable: equal
 * scores end in the order this procedure gives. Null ignored. */
void kt_candidate_heapsort(kt_candidate* candidates, uint32_t count);

/* Links the candidate's object to its blob: object->match = blob and the object's four last_ values
 * = the candidate's score, appearance, width_match, height_match. Claims are the caller's. Null or
 * a candidate without object or blob ignored. */
void kt_link_candidates(kt_candidate* candidate);
