/* kt_detection_report: how the detection core reports a failure it cannot return in detail: one line
 * on standard output, flushed at once so the line survives whatever happens next. */
#pragma once

#include <cstdio>

/* Prints text and a newline to standard output and flushes it. */
inline void kt_detection_report(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}
