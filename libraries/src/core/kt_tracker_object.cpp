#include "kt_tracker_object.h"

#include <cstring>

namespace {

kt_bbox blob_box(const kt_blob_info* info) {
    const kt_vertex* v = info->vertex;
    return v ? kt_bbox{v->x, v->y, v->width, v->height} : kt_bbox{0, 0, 0, 0};
}

/* truncate(v) limited to 0 .. cap; NaN gives 0. Keeps huge or hostile averages from overflowing the
 * conversion. */
uint32_t trunc_cap(double v, uint32_t cap) {
    if (!(v > 0.0)) return 0;
    if (v >= double(cap)) return cap;
    return uint32_t(v);
}

uint32_t add_sat(uint32_t a, uint32_t b) { return b > UINT32_MAX - a ? UINT32_MAX : a + b; }

/* truncate(avg + 0.5) as a coordinate. */
uint32_t round_position(float avg) {
    const double v = double(avg) + 0.5;
    if (!(v > 0.0)) return 0;
    return v >= 4294967295.0 ? UINT32_MAX : uint32_t(v);
}

void blend_histograms(kt_object* o, const kt_blob_info* b) {
    for (int r = 0; r < KT_REGIONS; ++r) kt_histogram_avg(&o->hist[r], &b->hist[r], KT_HISTOGRAM_BLEND_WEIGHT);
}

bool keeps_appearance(const kt_object* o, const kt_tracker_input* in) {
    return in->update_near_edges == 0 && (o->flags & (KT_OBJECT_NEAR_EDGE | KT_OBJECT_NEAR_SEGMENT));
}

void start_record(kt_object* o, uint32_t id, const kt_tracker_input* in, const kt_blob_info* info) {
    std::memset(o, 0, sizeof *o);
    o->id = id;
    o->created = in->now;
    o->confidence = info->confidence;
    o->flags = KT_OBJECT_NASCENT;
    o->box = o->predicted = o->first_box = blob_box(info);
    std::memcpy(o->hist, info->hist, sizeof o->hist);
}

}  // namespace

int kt_object_init(kt_object* object, uint32_t id, const kt_tracker_input* input, const kt_blob_info* info) {
    if (!object || !input || !info) return 0;
    start_record(object, id, input, info);
    const kt_bbox& b = object->box;
    const kt_image* im = input->image;
    const bool inside = im && b.x > 6 && b.y > 6 && uint64_t(b.x) + b.width + KT_TRACKER_EDGE_MARGIN < im->width &&
                        uint64_t(b.y) + b.height + KT_TRACKER_EDGE_MARGIN < im->height;
    if (!inside) object->flags |= KT_OBJECT_NEAR_EDGE;
    if (kt_object_near_segment(&b, input->segments, input->segment_count)) object->flags |= KT_OBJECT_NEAR_SEGMENT;
    for (auto& m : object->motion) kt_running_avg_reset(&m, KT_MOTION_WEIGHT);
    kt_running_avg_reset(&object->avg_width, KT_SIZE_WEIGHT);
    kt_running_avg_reset(&object->avg_height, KT_SIZE_WEIGHT);
    if (!(object->flags & (KT_OBJECT_NEAR_EDGE | KT_OBJECT_NEAR_SEGMENT))) {
        kt_running_avg_add(&object->avg_width, float(b.width));
        kt_running_avg_add(&object->avg_height, float(b.height));
    }
    return 1;
}

int kt_object_static_init(kt_object* object, uint32_t id, const kt_tracker_input* input,
                          const kt_blob_info* info) {
    if (!object || !input || !info) return 0;
    start_record(object, id, input, info);
    const kt_bbox& b = object->box;
    const float position[4] = {float(b.x), float(b.y), float(b.width), float(b.height)};
    for (int k = 0; k < 4; ++k) {
        kt_running_avg_reset(&object->motion[k], KT_STATIC_POSITION_WEIGHT);
        kt_running_avg_add(&object->motion[k], position[k]);
    }
    kt_running_avg_reset(&object->avg_width, KT_SIZE_WEIGHT);
    kt_running_avg_reset(&object->avg_height, KT_SIZE_WEIGHT);
    kt_running_avg_add(&object->avg_width, float(b.width));
    kt_running_avg_add(&object->avg_height, float(b.height));
    return 1;
}

void kt_object_estimate(const kt_object* object, kt_bbox* out) {
    if (!object || !out) return;
    const kt_bbox& b = object->box;
    const uint32_t hw = b.width / 2, hh = b.height / 2;
    const double vx = object->motion[0].value, vy = object->motion[1].value;
    const double vw = object->motion[2].value, vh = object->motion[3].value;
    kt_bbox p;
    if (vx < 0) {
        const uint32_t d = trunc_cap(0.05 - vx, hw);  // 0.05 here, not 0.5: drift left is damped less
        p.x = d >= b.x ? 0 : b.x - d;
    } else {
        p.x = add_sat(b.x, trunc_cap(vx + 0.5, hw));
    }
    if (vy < 0) {
        const uint32_t d = trunc_cap(0.5 - vy, hh);
        p.y = d >= b.y ? 0 : b.y - d;
    } else {
        p.y = add_sat(b.y, trunc_cap(vy + 0.5, hh));
    }
    if (vw < 0) {
        const uint32_t w = b.width - trunc_cap(0.5 - vw, hw);
        p.width = w > KT_PREDICTED_MIN_SIDE ? w : KT_PREDICTED_MIN_SIDE;
    } else {
        p.width = add_sat(b.width, trunc_cap(vw + 0.5, hw));
    }
    if (vh < 0) {
        const uint32_t h = b.height - trunc_cap(0.5 - vh, hh);
        p.height = h > KT_PREDICTED_MIN_SIDE ? h : KT_PREDICTED_MIN_SIDE;
    } else {
        p.height = add_sat(b.height, trunc_cap(vh + 0.5, hh));
    }
    *out = p;
}

void kt_object_static_estimate(const kt_object* object, kt_bbox* out) {
    if (!object || !out) return;
    *out = kt_bbox{round_position(object->motion[0].value), round_position(object->motion[1].value),
                   round_position(object->motion[2].value), round_position(object->motion[3].value)};
}

int kt_object_near_edge(const kt_bbox* box, const kt_image* image) {
    if (!box || !image) return -1;
    const uint64_t m = KT_TRACKER_EDGE_MARGIN;
    return box->x < m || box->y < m || m + box->x + box->width >= image->width ||
                   m + box->y + box->height >= image->height
               ? 1
               : 0;
}

int kt_object_near_segment(const kt_bbox* box, const kt_segment* segments, uint32_t count) {
    if (!box || !segments || count == 0) return 0;
    kt_bbox grown = *box;
    kt_bbox_inflate(&grown, KT_TRACKER_EDGE_MARGIN, KT_TRACKER_EDGE_MARGIN, KT_TRACKER_EDGE_MARGIN,
                    KT_TRACKER_EDGE_MARGIN);
    for (uint32_t i = 0; i < count; ++i)
        if (kt_bbox_intersects(&grown, &segments[i])) return 1;
    return 0;
}

int kt_object_near_death(const kt_object* object, uint32_t now, uint32_t timeout) {
    if (!object) return 0;
    if (kt_object_nascent(object)) return 1;
    if (object->lost_since == 0) return 0;
    return now - object->lost_since > timeout ? 1 : 0;
}

int kt_object_nascent(const kt_object* object) { return object && (object->flags & KT_OBJECT_NASCENT) ? 1 : 0; }

void kt_object_update(kt_object* object, const kt_tracker_input* input) {
    if (!object || !input || !object->match || !object->match->vertex) return;
    kt_object* o = object;
    const kt_blob_info* b = o->match;
    const kt_bbox nb = blob_box(b);
    if (o->shared || b->claims > 1) {
        kt_running_avg_set_weight(&o->avg_width, KT_SHARED_SIZE_WEIGHT);
        kt_running_avg_set_weight(&o->avg_height, KT_SHARED_SIZE_WEIGHT);
    } else {
        kt_running_avg_add(&o->motion[0], float(int64_t(nb.x) - int64_t(o->box.x)));
        kt_running_avg_add(&o->motion[1], float(int64_t(nb.y) - int64_t(o->box.y)));
        kt_running_avg_add(&o->motion[2], float(int64_t(nb.width) - int64_t(o->box.width)));
        kt_running_avg_add(&o->motion[3], float(int64_t(nb.height) - int64_t(o->box.height)));
        kt_running_avg_set_weight(&o->avg_width, KT_SIZE_WEIGHT);
        kt_running_avg_set_weight(&o->avg_height, KT_SIZE_WEIGHT);
        if (!keeps_appearance(o, input)) blend_histograms(o, b);
    }
    if (!keeps_appearance(o, input)) {
        kt_running_avg_add(&o->avg_width, float(nb.width));
        kt_running_avg_add(&o->avg_height, float(nb.height));
    }
    kt_object_finish_update(o, input);
}

void kt_object_static_update(kt_object* object, const kt_tracker_input* input) {
    if (!object || !input || !object->match || !object->match->vertex) return;
    kt_object* o = object;
    const kt_blob_info* b = o->match;
    if (!o->shared && b->claims == 1) {
        const kt_bbox nb = blob_box(b);
        const float position[4] = {float(nb.x), float(nb.y), float(nb.width), float(nb.height)};
        for (int k = 0; k < 4; ++k) kt_running_avg_add(&o->motion[k], position[k]);
        kt_running_avg_add(&o->avg_width, float(nb.width));
        kt_running_avg_add(&o->avg_height, float(nb.height));
        blend_histograms(o, b);
    }
    kt_object_finish_update(o, input);
}

void kt_object_finish_update(kt_object* object, const kt_tracker_input* input) {
    if (!object || !input || !object->match) return;
    const kt_blob_info* b = object->match;
    object->box = blob_box(b);
    object->shared = b->claims > 1 ? 1 : 0;
    object->confidence = b->confidence;
    object->match = nullptr;
    if (object->updates != UINT32_MAX) ++object->updates;
    if (object->updates >= input->maturity) object->flags &= uint8_t(~KT_OBJECT_NASCENT);
}
