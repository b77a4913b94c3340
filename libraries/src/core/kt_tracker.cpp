#include "kt_tracker.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_grow.h"

namespace {

void free_objects(kt_object* o) {
    while (o) {
        kt_object* next = o->next;
        std::free(o);
        o = next;
    }
}

uint64_t objects_in(const kt_object* o) {
    uint64_t n = 0;
    for (; o; o = o->next) ++n;
    return n;
}

}  // namespace

int kt_object_list_init(kt_object_list* list, int static_mode) {
    if (!list) return 0;
    std::memset(list, 0, sizeof *list);
    list->next_id = 1;
    list->static_mode = static_mode ? 1 : 0;
    kt_set_buffer(reinterpret_cast<void**>(&list->candidates), &list->candidate_capacity,
                  KT_TRACKER_INITIAL_CANDIDATES, sizeof(kt_candidate));
    kt_set_buffer(reinterpret_cast<void**>(&list->infos), &list->info_capacity, KT_TRACKER_INITIAL_INFOS,
                  sizeof(kt_blob_info));
    return 1;
}

void kt_object_list_free(kt_object_list* list) {
    if (!list) return;
    free_objects(list->head);
    free_objects(list->free);
    std::free(list->candidates);
    std::free(list->infos);
    kt_blob_grid_free(&list->grid);
    const uint32_t next_id = list->next_id;
    const uint8_t static_mode = list->static_mode;
    std::memset(list, 0, sizeof *list);
    list->next_id = next_id;
    list->static_mode = static_mode;
}

kt_object* kt_object_list_find(kt_object_list* list, uint32_t id) {
    if (!list) return nullptr;
    for (kt_object* o = list->head; o; o = o->next)
        if (o->id == id) return o;
    return nullptr;
}

int kt_object_list_remove(kt_object_list* list, uint32_t id) {
    if (!list) return 0;
    for (kt_object** link = &list->head; *link; link = &(*link)->next)
        if ((*link)->id == id) return kt_object_list_erase(list, link);
    return 0;
}

int kt_object_list_erase(kt_object_list* list, kt_object** link) {
    if (!list || !link || !*link) return 0;
    kt_object* o = *link;
    *link = o->next;
    o->next = list->free;
    list->free = o;
    if (list->count) --list->count;
    return 1;
}

kt_object* kt_object_list_push(const kt_tracker_input* input, kt_object_list* list, const kt_blob_info* info) {
    if (!input || !list || !info || !info->vertex) return nullptr;
    kt_object* o = list->free;
    if (o) list->free = o->next;
    else o = static_cast<kt_object*>(kt_calloc(1, sizeof(kt_object)));
    if (!o) return nullptr;
    if (list->next_id == 0) list->next_id = 1;  // 0 means "no object" to the callers
    const uint32_t id = list->next_id++;
    if (list->next_id == 0) list->next_id = 1;
    if (list->static_mode) kt_object_static_init(o, id, input, info);
    else kt_object_init(o, id, input, info);
    o->next = list->head;
    list->head = o;
    ++list->count;
    return o;
}

int kt_object_list_resize_buffers(kt_object_list* list, uint32_t n) {
    if (!list) return 0;
    void** infos = reinterpret_cast<void**>(&list->infos);
    if (list->info_capacity < n || !list->infos) {
        kt_grow_buffer(infos, &list->info_capacity, n, sizeof(kt_blob_info), 0);
    } else if (list->info_capacity > KT_TRACKER_INITIAL_INFOS && uint64_t(n) * 3 < list->info_capacity) {
        kt_set_buffer(infos, &list->info_capacity, list->info_capacity / 2, sizeof(kt_blob_info));
    }
    kt_blob_grid_reserve(&list->grid, n);
    return list->infos && list->info_capacity >= n ? 1 : 0;
}

int kt_object_list_reserve_candidates(kt_object_list* list, uint32_t need, uint32_t keep) {
    if (!list) return 0;
    return kt_grow_buffer(reinterpret_cast<void**>(&list->candidates), &list->candidate_capacity, need,
                          sizeof(kt_candidate), keep);
}

uint64_t kt_object_list_bytes(const kt_object_list* list) {
    if (!list) return 0;
    return uint64_t(list->candidate_capacity) * sizeof(kt_candidate) +
           uint64_t(list->info_capacity) * sizeof(kt_blob_info) + kt_blob_grid_bytes(&list->grid) +
           (objects_in(list->head) + objects_in(list->free)) * sizeof(kt_object);
}
