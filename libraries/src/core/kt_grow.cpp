#include "kt_grow.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"

int kt_grow_buffer(void** buffer, uint32_t* capacity, uint32_t need, size_t record, uint32_t keep) {
    if (!buffer || !capacity || record == 0) return 0;
    if (need <= *capacity && (*buffer || need == 0)) return 1;
    if (need > SIZE_MAX / record) return 0;
    const uint64_t twice = uint64_t(need) * 2;
    void* block = nullptr;
    uint32_t got = 0;
    if (twice <= UINT32_MAX && twice <= SIZE_MAX / record) {
        block = kt_calloc(size_t(twice), record);
        got = uint32_t(twice);
    }
    if (!block) {  // the doubled block may not fit where the need itself still does
        block = kt_calloc(need, record);
        got = need;
    }
    if (!block) return 0;
    if (keep > *capacity) keep = *capacity;
    if (keep > need) keep = need;
    if (*buffer && keep) std::memcpy(block, *buffer, size_t(keep) * record);
    std::free(*buffer);
    *buffer = block;
    *capacity = got;
    return 1;
}

int kt_set_buffer(void** buffer, uint32_t* capacity_out, uint32_t capacity, size_t record) {
    if (!buffer || !capacity_out || record == 0) return 0;
    void* block = nullptr;
    if (capacity) {
        if (capacity > SIZE_MAX / record) return 0;
        block = kt_calloc(capacity, record);
        if (!block) return 0;
    }
    std::free(*buffer);
    *buffer = block;
    *capacity_out = capacity;
    return 1;
}
