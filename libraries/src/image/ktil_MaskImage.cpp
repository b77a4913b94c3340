// ktil::MaskImage: a one-channel 0/255 mask drawn from exclusion polygons, and masking images with it.
#include "ktil_MaskImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ktil {

void MaskImage::exclude(const ktml::Polygon2D<float>& polygon) {
    kt_image& mask = image();
    const size_t n = polygon.size();
    if (n < 3 || mask.data == nullptr || mask.width == 0 || mask.height == 0) return;
    bool fractions = true;
    double top = HUGE_VAL, bottom = -HUGE_VAL;
    for (const auto& p : polygon) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        fractions = fractions && p.isNormalized();
    }
    const double sx = fractions ? mask.width : 1.0, sy = fractions ? mask.height : 1.0;
    for (const auto& p : polygon) {
        top = std::min(top, p.y * sy);
        bottom = std::max(bottom, p.y * sy);
    }
    // Rows whose centre (y + 0.5) lies in [top, bottom]; the clamp keeps far-off outlines cheap.
    const double firstRow = std::max(0.0, std::ceil(top - 0.5));
    const double endRow = std::min(static_cast<double>(mask.height), std::floor(bottom - 0.5) + 1.0);
    for (double row = firstRow; row < endRow; ++row) {
        const double yc = row + 0.5;
        m_crossings.clear();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const double yi = polygon[i].y * sy, yj = polygon[j].y * sy;
            if ((yi <= yc) == (yj <= yc)) continue;  // half-open, so a vertex on the line counts once
            const double xi = polygon[i].x * sx, xj = polygon[j].x * sx;
            m_crossings.push_back(xi + (yc - yi) * (xj - xi) / (yj - yi));
        }
        std::sort(m_crossings.begin(), m_crossings.end());
        unsigned char* line = mask.data + static_cast<size_t>(row) * mask.width;
        for (size_t k = 0; k + 1 < m_crossings.size(); k += 2) {
            // Pixels whose centre x + 0.5 lies in [left, right).
            const double first = std::clamp(std::ceil(m_crossings[k] - 0.5), 0.0, static_cast<double>(mask.width));
            const double end = std::clamp(std::ceil(m_crossings[k + 1] - 0.5), 0.0, static_cast<double>(mask.width));
            if (end > first) std::memset(line + static_cast<size_t>(first), kExcluded, static_cast<size_t>(end - first));
        }
    }
}

bool MaskImage::apply(const kt_image& source, kt_image& destination) const {
    const kt_image& mask = image();
    if (kt_image_consistent(&source) != 1 || mask.data == nullptr || source.width != mask.width ||
        source.height != mask.height || (source.channels != 1 && source.channels != 4)) {
        return false;
    }
    if (&source != &destination) {
        if (kt_ensure_image(&destination, source.width, source.height, source.channels) != 1 ||
            destination.data == nullptr) {
            return false;
        }
    }
    const size_t pixels = static_cast<size_t>(mask.width) * mask.height;
    const unsigned char* m = mask.data;
    const unsigned char* s = source.data;
    unsigned char* d = destination.data;
    if (source.channels == 1) {
        for (size_t i = 0; i < pixels; ++i) d[i] = static_cast<unsigned char>(s[i] & m[i]);
        return true;
    }
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t word;
        std::memcpy(&word, s + 4 * i, 4);
        word &= 0x01010101u * m[i];
        std::memcpy(d + 4 * i, &word, 4);
    }
    return true;
}

}  // namespace ktil
