/* kt_alloc: the one place the core takes zero-filled heap memory, so tests can make it fail. */
#pragma once

#include <cstddef>

/* Zero-filled heap block of count x size bytes (calloc semantics; free it with free()).
 * Returns null when the product overflows, when the allocation fails, or when a failure was armed
 * with kt_alloc_fail_after. A zero-byte request returns null without counting as a failure. */
void* kt_calloc(size_t count, size_t size);

/* Fault injection for tests: the next n allocations succeed, the one after fails, and from then on
 * allocations succeed again. A negative n disarms. Thread-safe; meant only for tests. */
void kt_alloc_fail_after(int n);
