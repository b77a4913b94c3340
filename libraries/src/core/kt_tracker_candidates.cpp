#include "kt_tracker_candidates.h"

#include <cmath>
#include <utility>

namespace {

kt_bbox blob_box(const kt_blob_info* info) {
    const kt_vertex* v = info->vertex;
    return kt_bbox{v->x, v->y, v->width, v->height};
}

/* Appends the candidate of one blob when it overlaps the prediction; returns 1 when it did. */
int try_candidate(kt_object* object, kt_blob_info* info, kt_candidate* slot) {
    if (!info->vertex) return 0;
    const kt_bbox box = blob_box(info);
    const uint64_t a = kt_bbox_overlap(&box, &object->predicted);
    if (a == 0) return 0;
    // Union area is at least A > 0, so the ratio is always defined.
    const double uni = double(kt_bbox_area(&box)) - double(a) + double(kt_bbox_area(&object->predicted));
    *slot = kt_candidate{float(double(a) / uni), 0.0f, 0.0f, 0.0f, info, object};
    kt_track_weigh_confidences(slot);
    return 1;
}

float size_match(float average, uint32_t size) {
    const double sum = double(average) + size;
    if (sum == 0.0) return 1.0f;
    return float(1.0 - std::fabs(double(average) - size) / sum);
}

}  // namespace

uint32_t kt_track_candidates(kt_object* object, kt_blob_info* infos, uint32_t blob_count,
                             kt_candidate* slots, uint32_t slot_count) {
    if (!object || !infos || !slots) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < blob_count && n < slot_count; ++i) n += try_candidate(object, &infos[i], &slots[n]);
    return n;
}

uint32_t kt_track_candidates_at(kt_object* object, kt_blob_info* infos, const uint32_t* indices,
                                uint32_t index_count, kt_candidate* slots, uint32_t slot_count) {
    if (!object || !infos || !indices || !slots) return 0;
    uint32_t n = 0;
    for (uint32_t k = 0; k < index_count && n < slot_count; ++k)
        n += try_candidate(object, &infos[indices[k]], &slots[n]);
    return n;
}

void kt_track_weigh_confidences(kt_candidate* candidate) {
    if (!candidate || !candidate->object || !candidate->blob || !candidate->blob->vertex) return;
    const kt_object* o = candidate->object;
    const kt_blob_info* b = candidate->blob;
    candidate->width_match = size_match(o->avg_width.value, b->vertex->width);
    candidate->height_match = size_match(o->avg_height.value, b->vertex->height);
    float sum = 0.0f;
    bool usable = false;
    for (int r = 0; r < KT_REGIONS; ++r) {
        sum += kt_histogram_compare(&o->hist[r], &b->hist[r]);
        usable = usable || (o->hist[r].total && b->hist[r].total);
    }
    const float appearance = sum / KT_REGIONS;
    candidate->appearance = appearance;
    const double overlap = candidate->score;
    double score;
    if (o->flags & (KT_OBJECT_NEAR_EDGE | KT_OBJECT_NEAR_SEGMENT))
        score = appearance < KT_SCORE_MIN_APPEARANCE_NEAR_EDGE ? 0.0 : appearance;
    else if (usable)
        score = appearance < KT_SCORE_MIN_APPEARANCE
                    ? 0.0
                    : KT_SCORE_OVERLAP_WEIGHT * overlap + KT_SCORE_APPEARANCE_WEIGHT * appearance +
                          KT_SCORE_SIZE_WEIGHT * candidate->width_match +
                          KT_SCORE_SIZE_WEIGHT * candidate->height_match;
    else
        score = KT_SCORE_PLAIN_OVERLAP_WEIGHT * overlap + KT_SCORE_PLAIN_SIZE_WEIGHT * candidate->width_match +
                KT_SCORE_PLAIN_SIZE_WEIGHT * candidate->height_match;
    candidate->score = std::isnan(score) ? 0.0f : float(score);  // the sort needs an order
}

void kt_candidate_siftdown(kt_candidate* candidates, uint32_t count, uint32_t index) {
    if (!candidates) return;
    uint64_t root = index;
    while (root < count) {
        const uint64_t child = 2 * root + 1;
        if (child >= count) return;
        uint64_t top = root;
        if (candidates[top].score < candidates[child].score) top = child;
        if (child + 1 < count && candidates[top].score < candidates[child + 1].score) top = child + 1;
        if (top == root) return;
        std::swap(candidates[root], candidates[top]);
        root = top;
    }
}

void kt_candidate_heapify(kt_candidate* candidates, uint32_t count) {
    if (!candidates || count < 2) return;
    for (uint32_t start = (count - 2) / 2 + 1; start-- > 0;) kt_candidate_siftdown(candidates, count, start);
}

void kt_candidate_heapsort(kt_candidate* candidates, uint32_t count) {
    if (!candidates || count < 2) return;
    kt_candidate_heapify(candidates, count);
    for (uint32_t end = count - 1; end > 0; --end) {
        std::swap(candidates[0], candidates[end]);
        kt_candidate_siftdown(candidates, end, 0);
    }
}

void kt_link_candidates(kt_candidate* candidate) {
    if (!candidate || !candidate->object || !candidate->blob) return;
    kt_object* o = candidate->object;
    o->match = candidate->blob;
    o->last_score = candidate->score;
    o->last_appearance = candidate->appearance;
    o->last_width_match = candidate->width_match;
    o->last_height_match = candidate->height_match;
}
