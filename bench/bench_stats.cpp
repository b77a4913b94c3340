#include "bench_stats.h"

#include <algorithm>
#include <cstring>

namespace bench {

double median(std::vector<double> samples) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

double copy_bandwidth_bytes_per_ms() {
    const size_t bytes = size_t(64) << 20;
    std::vector<unsigned char> a(bytes, 1), b(bytes, 2);
    double best = 1e30;
    for (int run = 0; run < 6; ++run) {
        const double start = now_ms();
        std::memcpy(run % 2 ? a.data() : b.data(), run % 2 ? b.data() : a.data(), bytes);
        best = std::min(best, now_ms() - start);
    }
    // Keep the copies observable so they are not optimised away.
    volatile unsigned char sink = a[bytes / 2] ^ b[bytes / 3];
    (void)sink;
    return 2.0 * double(bytes) / best;
}

}  // namespace bench
