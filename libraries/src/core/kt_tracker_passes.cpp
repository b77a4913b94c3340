#include "kt_tracker_passes.h"

void kt_tracker_exclusive_pass(kt_candidate* candidates, uint32_t count) {
    if (!candidates) return;
    for (uint32_t i = count; i-- > 0;) {
        kt_candidate* c = &candidates[i];
        if (c->blob->claims != 0 || c->object->match) continue;
        kt_link_candidates(c);
        c->blob->claims = 1;
    }
}

void kt_tracker_merge_pass(kt_candidate* candidates, uint32_t count, uint8_t max_per_blob) {
    if (!candidates) return;
    for (uint32_t i = count; i-- > 0;) {
        kt_candidate* c = &candidates[i];
        if (c->object->match || kt_object_nascent(c->object) || !(c->score > 0.0f) ||
            c->blob->claims >= max_per_blob)
            continue;
        kt_link_candidates(c);
        ++c->blob->claims;
    }
}

void kt_tracker_release_pass(kt_candidate* candidates, uint32_t count) {
    if (!candidates) return;
    for (uint32_t i = count; i-- > 0;) {
        kt_candidate* c = &candidates[i];
        if (c->blob->claims <= 1 || !kt_object_nascent(c->object) || c->object->match != c->blob) continue;
        --c->blob->claims;
        c->object->match = nullptr;
    }
}

void kt_tracker_static_pass(kt_candidate* candidates, uint32_t count) {
    kt_tracker_exclusive_pass(candidates, count);  // the same rule without a merge or release after it
}
