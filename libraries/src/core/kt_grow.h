/* kt_grow: geometric growth of the reusable record buffers of the detection core, with every size
 * product checked so that a 32-bit target never wraps a byte count. */
#pragma once

#include <cstddef>
#include <cstdint>

/* Makes *buffer (a kt_calloc block of *capacity records of `record` bytes, or null) hold at least
 * need records. Nothing happens when it already does. Otherwise a zero-filled block of 2 x need
 * records is taken (need records when twice does not fit in 32 bits or in size_t, or when the larger
 * block cannot be had), the first `keep` records (at most the old capacity) are copied over, the old
 * block is freed and *capacity updated. Returns 1 when the buffer holds need records; 0 with buffer
 * and capacity untouched when memory runs out, the byte count overflows, or for null arguments. */
int kt_grow_buffer(void** buffer, uint32_t* capacity, uint32_t need, size_t record, uint32_t keep);

/* Replaces *buffer by a zero-filled block of exactly `capacity` records (0 frees it). 1 on success;
 * 0 with the buffer untouched when memory runs out, the byte count overflows, or for null. */
int kt_set_buffer(void** buffer, uint32_t* capacity_out, uint32_t capacity, size_t record);
