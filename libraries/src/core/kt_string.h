/* kt_string: C-string helpers the core and its callers share. */
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstddef>

/* Heap copy (free with free()); null for null or on allocation failure. */
char* kt_strdup(const char* source);

/* Copies at most length bytes of source and always writes a terminator at destination[length-1]
 * (or earlier, after a shorter source). Returns destination; null (nothing written) for null
 * pointers or length 0. */
char* kt_strcpy(char* destination, size_t length, const char* source);

/* Case-insensitive compare: <0, 0, >0. Nulls sort before strings; two nulls are equal. */
int kt_stricmp(const char* a, const char* b);

/* In-place lower/upper case by the standard mappings; return their argument (null ignored). */
char* kt_strlwr(char* text);
char* kt_strupr(char* text);

/* Number of characters format and args would produce, terminator excluded; -1 for a null format or
 * an encoding error. args is consumed as by vsnprintf. */
int kt_vscprintf(const char* format, va_list args);

/* Base-10 signed 64-bit parse: optional leading blanks and sign, then digits up to the first other
 * character; saturates at INT64_MIN/INT64_MAX; 0 for null or no digits. */
int64_t kt_atoi64(const char* text);
