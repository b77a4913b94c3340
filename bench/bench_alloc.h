// bench_alloc: counts heap allocations and live heap bytes of the whole process, by replacing
// malloc and its relatives (operator new allocates through malloc).
#pragma once

#include <cstdint>

namespace bench {

// False when the counter is not built in (sanitizer builds replace malloc themselves).
bool alloc_counting();

// Allocations made so far (malloc, calloc, realloc, the aligned ones).
uint64_t alloc_count();

// Bytes currently allocated, and the most ever allocated since the last reset_peak.
uint64_t live_bytes();
uint64_t peak_bytes();
void reset_peak();

}  // namespace bench
