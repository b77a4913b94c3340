// bench_stats: timing helpers of the benchmarks: a stopwatch, medians, and the machine's copy
// bandwidth that the per-stage floors are measured against.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace bench {

// Milliseconds since an arbitrary start, high resolution.
inline double now_ms() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

// Median of the samples (mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> samples);

// Bytes per millisecond that memcpy moves (read plus write) over buffers far larger than the caches,
// best of several runs.
double copy_bandwidth_bytes_per_ms();

}  // namespace bench
