/* kt_tick: the monotonic millisecond tick count every timing in the system uses. */
#pragma once

#include <cstdint>

/* Milliseconds of the monotonic clock (seconds x 1000 + nanoseconds / 1000000) as an unsigned 32-bit
 * value that wraps about every 49.7 days; differences of two ticks taken as uint32_t stay right across
 * the wrap. Returns 0 when the clock cannot be read. Thread-safe, allocates nothing. */
uint32_t kt_tickcount(void);

/* The same function under its second name. */
uint32_t gettickcount(void);

/* A replacement clock for kt_tickcount (and so for every countdown and timer of the process); null
 * restores the monotonic clock. For harnesses that must step time without sleeping: the source must be
 * thread-safe and is called on every tick request. */
typedef uint32_t (*kt_tick_source)(void);
void kt_set_tick_source(kt_tick_source source);
