#include "kt_tracker_step.h"

#include <cstdlib>

namespace {

uint32_t add_sat(uint32_t a, uint32_t b) { return b > UINT32_MAX - a ? UINT32_MAX : a + b; }

/* Blobs to take: blob_count, but never past the end of the list. */
uint32_t listed_blobs(const kt_tracker_input* in) {
    if (in->blob_count <= 0) return 0;
    const uint32_t wanted = uint32_t(in->blob_count);
    uint32_t n = 0;
    for (const kt_vertex* v = in->blobs; v && n < wanted; v = v->next) ++n;
    return n;
}

void link_frame(const kt_tracker_input* in, kt_object_list* list) {
    const uint32_t n = list->candidate_count;
    if (list->static_mode) {
        kt_tracker_static_pass(list->candidates, n);
        return;
    }
    kt_candidate_heapsort(list->candidates, n);
    kt_tracker_exclusive_pass(list->candidates, n);
    kt_tracker_merge_pass(list->candidates, n, in->max_per_blob);
    // Left open: the nascent object that gives a shared blob up is not handed another one.
    kt_tracker_release_pass(list->candidates, n);
}

int run_frame(const kt_tracker_input* in, kt_object_list* list, bool static_mode) {
    if (!in || !list) return 0;
    list->candidate_count = 0;
    list->info_count = 0;
    const int ok = in->blobs && in->image && (list->static_mode != 0) == static_mode;
    if (ok) {
        kt_tracker_prepare_blobs(in, list);
        kt_tracker_collect_candidates(in, list);
        link_frame(in, list);
    }
    kt_object_list_update(in, list);
    if (ok) kt_add_new_objects(in, list);
    return ok;
}

}  // namespace

int kt_tracker_process(const kt_tracker_input* input, kt_object_list* list) { return run_frame(input, list, false); }

int kt_tracker_static_process(const kt_tracker_input* input, kt_object_list* list) {
    return run_frame(input, list, true);
}

uint32_t kt_tracker_prepare_blobs(const kt_tracker_input* input, kt_object_list* list) {
    if (!input || !list) return 0;
    uint32_t n = listed_blobs(input);
    kt_object_list_resize_buffers(list, n);
    if (n > list->info_capacity || !list->infos) n = list->infos ? list->info_capacity : 0;
    const kt_vertex* v = input->blobs;
    for (uint32_t i = 0; i < n; ++i, v = v->next) {
        kt_blob_info* info = &list->infos[i];
        info->vertex = v;
        info->claims = 0;
        info->confidence = v->confidence;
        const kt_bbox box{v->x, v->y, v->width, v->height};
        kt_tracker_populate_histograms(info->hist, input->image, input->mask, &box);
    }
    kt_blob_grid_build(&list->grid, input->blobs, n);  // not ready on failure: a plain scan then
    list->info_count = n;
    return n;
}

uint32_t kt_tracker_collect_candidates(const kt_tracker_input* input, kt_object_list* list) {
    if (!input || !list) return 0;
    const uint32_t n = list->info_count;
    uint32_t total = 0;
    for (kt_object* o = list->head; o; o = o->next) {
        if (list->static_mode) kt_object_static_estimate(o, &o->predicted);
        else kt_object_estimate(o, &o->predicted);
        o->flags &= uint8_t(~(KT_OBJECT_NEAR_EDGE | KT_OBJECT_NEAR_SEGMENT));
        if (kt_object_near_edge(&o->predicted, input->image) == 1) o->flags |= KT_OBJECT_NEAR_EDGE;
        if (kt_object_near_segment(&o->predicted, input->segments, input->segment_count))
            o->flags |= KT_OBJECT_NEAR_SEGMENT;
        if (n == 0) continue;
        const uint32_t* hits = nullptr;
        const bool indexed = list->grid.ready;
        const uint32_t possible = indexed ? kt_blob_grid_query(&list->grid, &o->predicted, &hits) : n;
        if (possible == 0) continue;
        // Room for every possible candidate of this object; when memory is short, as many as fit.
        const uint64_t need = uint64_t(total) + possible;
        if (need > list->candidate_capacity)
            kt_object_list_reserve_candidates(list, need > UINT32_MAX ? UINT32_MAX : uint32_t(need), total);
        if (!list->candidates || total >= list->candidate_capacity) break;
        kt_candidate* slots = list->candidates + total;
        const uint32_t room = list->candidate_capacity - total;
        const uint32_t made = indexed ? kt_track_candidates_at(o, list->infos, hits, possible, slots, room)
                                      : kt_track_candidates(o, list->infos, n, slots, room);
        if (list->static_mode) kt_candidate_heapsort(slots, made);
        total += made;
    }
    list->candidate_count = total;
    return total;
}

void kt_tracker_populate_histograms(kt_histogram* hist, const kt_image* image, const kt_image* mask,
                                    const kt_bbox* box) {
    if (!hist || !box) return;
    const uint32_t hw = box->width / 2, hh = box->height / 2;
    kt_bbox regions[KT_REGIONS];
    regions[KT_REGION_WHOLE] = *box;
    regions[KT_REGION_TOP] = kt_bbox{box->x, box->y, box->width, hh};
    regions[KT_REGION_BOTTOM] = kt_bbox{box->x, add_sat(box->y, hh), box->width, hh};
    regions[KT_REGION_LEFT] = kt_bbox{box->x, box->y, hw, box->height};
    regions[KT_REGION_RIGHT] = kt_bbox{add_sat(box->x, hw), box->y, hw, box->height};
    for (int r = 0; r < KT_REGIONS; ++r) {
        kt_histogram_reset(&hist[r]);
        kt_histogram_set(&hist[r], image, mask, &regions[r]);
    }
}

void kt_object_list_update(const kt_tracker_input* input, kt_object_list* list) {
    if (!input || !list) return;
    while (list->free) {
        kt_object* next = list->free->next;
        std::free(list->free);
        list->free = next;
    }
    kt_object** link = &list->head;
    while (kt_object* o = *link) {
        if (o->match) {
            if (list->static_mode) kt_object_static_update(o, input);
            else kt_object_update(o, input);
            o->lost_since = 0;
            link = &o->next;
            continue;
        }
        const bool drop = list->static_mode || kt_object_near_death(o, input->now, input->lost_timeout) ||
                          kt_object_near_edge(&o->box, input->image) == 1 ||
                          kt_object_near_segment(&o->box, input->segments, input->segment_count);
        if (drop) {
            kt_object_list_erase(list, link);  // *link is now the next object
            continue;
        }
        if (o->lost_since == 0) o->lost_since = input->now;
        o->predicted = o->box;
        link = &o->next;
    }
}

void kt_add_new_objects(const kt_tracker_input* input, kt_object_list* list) {
    if (!input || !list || !list->infos) return;
    for (uint32_t i = 0; i < list->info_count; ++i) {
        const kt_blob_info* info = &list->infos[i];
        if (info->claims == 0 && info->confidence >= input->min_new_confidence)
            kt_object_list_push(input, list, info);
    }
}
