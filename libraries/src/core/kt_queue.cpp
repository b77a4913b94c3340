#include "kt_queue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"

int kt_init_queue(kt_queue* queue, uint32_t capacity) {
    if (!queue) return 0;
    // A capacity of 0 would make a queue that can never hold an item (and callers divide by it).
    if (capacity == 0 || capacity == UINT32_MAX) return 0;
    std::memset(queue, 0, sizeof(*queue));
    const size_t slots = size_t(capacity) + 1;
    kt_image** array = static_cast<kt_image**>(kt_calloc(slots, sizeof(kt_image*)));
    if (!array) {
        std::printf("kt_init_queue(...) - Unable to allocate memory for pArrayBegin.\n");
        std::fflush(stdout);
        return 0;
    }
    queue->capacity = capacity;
    queue->begin = array;
    queue->end = array + slots;
    queue->head = array;
    queue->tail = array;
    return 1;
}

kt_image** kt_next_next(const kt_queue* queue, kt_image** slot) {
    if (!queue || !slot || !queue->begin || slot < queue->begin || slot >= queue->end) return nullptr;
    ++slot;
    return slot == queue->end ? queue->begin : slot;
}

int kt_push_queue(kt_queue* queue, kt_image* item, kt_image** evicted) {
    if (!queue || !queue->begin || !item) return 0;
    *queue->head = item;
    queue->head = kt_next_next(queue, queue->head);
    kt_image* out = nullptr;
    if (queue->head == queue->tail) {
        // Full: the oldest item leaves, and its slot is cleared so the queue no longer owns it.
        out = *queue->tail;
        *queue->tail = nullptr;
        queue->tail = kt_next_next(queue, queue->tail);
    }
    if (evicted) {
        *evicted = out;
    } else if (out) {
        kt_free_image(out);
        std::free(out);
    }
    return 1;
}

uint32_t kt_size_queue(const kt_queue* queue) {
    if (!queue || !queue->begin) return 0;
    const ptrdiff_t slots = queue->end - queue->begin;
    ptrdiff_t n = queue->head - queue->tail;
    if (n < 0) n += slots;
    return uint32_t(n);
}

void kt_deinit_queue(kt_queue* queue) {
    if (!queue) return;
    if (queue->begin) {
        for (kt_image** slot = queue->begin; slot < queue->end; ++slot) {
            if (*slot) {
                kt_free_image(*slot);
                std::free(*slot);
            }
        }
        std::free(queue->begin);
    }
    std::memset(queue, 0, sizeof(*queue));
}
