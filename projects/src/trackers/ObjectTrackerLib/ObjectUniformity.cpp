// ObjectUniformity: how evenly grey an object's box is, for the "Object Uniformity" attribute.
#include "ObjectUniformity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
// The largest standard deviation 8-bit levels can have (half at 0, half at 255).
const double kMaxSigma = 127.5;
}  // namespace

double objectUniformity(const kt_image& gray, const ktml::BoundingBox<int>& box) {
    if (gray.data == nullptr || gray.channels != 1) return -1.0;
    const int64_t x0 = std::max<int64_t>(box.x, 0), y0 = std::max<int64_t>(box.y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(box.x) + box.width, gray.width);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(box.y) + box.height, gray.height);
    if (x1 <= x0 || y1 <= y0) return -1.0;
    uint64_t sum = 0, squares = 0;
    for (int64_t y = y0; y < y1; ++y) {
        const unsigned char* row = gray.data + static_cast<size_t>(y) * gray.width;
        for (int64_t x = x0; x < x1; ++x) {
            sum += row[x];
            squares += static_cast<uint64_t>(row[x]) * row[x];
        }
    }
    const double n = static_cast<double>((x1 - x0) * (y1 - y0));
    const double mean = static_cast<double>(sum) / n;
    const double variance = std::max(0.0, static_cast<double>(squares) / n - mean * mean);
    return std::clamp(1.0 - std::sqrt(variance) / kMaxSigma, 0.0, 1.0);
}
