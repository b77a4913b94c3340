/* kt_queue: bounded ring of heap-allocated kt_image records, oldest evicted first. The queue owns the
 * images it holds; an evicted image passes to the caller. */
#pragma once

#include <cstdint>

#include "kt_image.h"

typedef struct kt_queue {
    uint32_t capacity;  /* items it holds */
    kt_image** begin;   /* capacity + 1 slots; the slot at head is always empty */
    kt_image** end;     /* one past the last slot */
    kt_image** head;    /* next slot to write */
    kt_image** tail;    /* oldest item */
} kt_queue;

/* Allocates capacity + 1 null slots, head = tail = begin. The record must be zeroed or deinitialised
 * (a live queue would leak). Returns 1; 0 for a null queue, a capacity of 0 or one whose slot count
 * overflows, or when the slots cannot be allocated (then prints
 * "kt_init_queue(...) - Unable to allocate memory for pArrayBegin." and leaves the record zeroed). */
int kt_init_queue(kt_queue* queue, uint32_t capacity);

/* Appends item (a heap kt_image the queue now owns). When the queue was full, the oldest item leaves
 * the queue: it is handed back through *evicted (the caller then owns it) and its slot is cleared;
 * otherwise *evicted receives null. When evicted is null, an evicted image is freed here instead.
 * Returns 1; 0 (nothing changed) for a null or uninitialised queue or a null item. */
int kt_push_queue(kt_queue* queue, kt_image* item, kt_image** evicted);

/* Number of items between tail and head across the wrap; 0 for null or uninitialised. */
uint32_t kt_size_queue(const kt_queue* queue);

/* Frees every held image (kt_free_image, then the record itself), frees the slots, zeroes the record.
 * Null ignored; safe on a zeroed record. */
void kt_deinit_queue(kt_queue* queue);

/* The slot after slot, wrapping from end to begin. Null for null arguments or a slot outside the
 * queue's slots. Walk tail -> head to see the items oldest first. */
kt_image** kt_next_next(const kt_queue* queue, kt_image** slot);
