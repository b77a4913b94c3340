#include "kt_string.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char* kt_strdup(const char* source) {
    if (!source) return nullptr;
    const size_t n = std::strlen(source) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (!copy) return nullptr;
    std::memcpy(copy, source, n);
    return copy;
}

char* kt_strcpy(char* destination, size_t length, const char* source) {
    if (!destination || !source || length == 0) return nullptr;
    size_t i = 0;
    for (; i + 1 < length && source[i] != '\0'; ++i) destination[i] = source[i];
    destination[i] = '\0';
    destination[length - 1] = '\0';
    return destination;
}

int kt_stricmp(const char* a, const char* b) {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

char* kt_strlwr(char* text) {
    if (!text) return nullptr;
    for (char* p = text; *p; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
    return text;
}

char* kt_strupr(char* text) {
    if (!text) return nullptr;
    for (char* p = text; *p; ++p) *p = char(std::toupper(static_cast<unsigned char>(*p)));
    return text;
}

int kt_vscprintf(const char* format, va_list args) {
    if (!format) return -1;
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    return n;
}

int64_t kt_atoi64(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' ||
           *text == '\f')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    // Accumulate as a negative number: its range holds INT64_MIN.
    int64_t v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int d = *text - '0';
        if (v < (INT64_MIN + d) / 10) {
            v = INT64_MIN;
            continue;
        }
        v = v * 10 - d;
    }
    if (negative) return v;
    return v == INT64_MIN ? INT64_MAX : -v;
}
