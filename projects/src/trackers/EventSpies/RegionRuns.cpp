// RegionRuns: row runs of a region mask and box shares over them.
#include "RegionRuns.h"

#include <algorithm>

namespace spygeo {

void RegionRuns::build(const RegionMask& mask) {
    m_columns = static_cast<uint32_t>(mask.columns());
    m_rows = static_cast<uint32_t>(mask.rows());
    m_runs.clear();
    m_rowStart.assign(size_t(m_rows) + 1, 0);
    for (uint32_t r = 0; r < m_rows; ++r) {
        m_rowStart[r] = static_cast<uint32_t>(m_runs.size() / 2);
        uint32_t c = 0;
        while (c < m_columns) {
            while (c < m_columns && mask.cells()(c, r) != 1) ++c;
            if (c == m_columns) break;
            const uint32_t begin = c;
            while (c < m_columns && mask.cells()(c, r) == 1) ++c;
            m_runs.push_back(begin);
            m_runs.push_back(c);
        }
    }
    m_rowStart[m_rows] = static_cast<uint32_t>(m_runs.size() / 2);
}

double RegionRuns::share(const Box& box) const {
    // Clipped as the mask's own overlap clips, so both give the same double for any box.
    const long long bx = box.x, by = box.y, bw = box.width, bh = box.height;
    if (bw <= 0 || bh <= 0) return 0.0;
    const long long left = std::max<long long>(bx, 0), top = std::max<long long>(by, 0);
    const long long right = std::min<long long>(bx + bw, m_columns), bottom = std::min<long long>(by + bh, m_rows);
    if (right <= left || bottom <= top) return 0.0;
    const uint32_t c0 = uint32_t(left), c1 = uint32_t(right);
    unsigned long long matching = 0;
    for (long long r = top; r < bottom; ++r) {
        size_t lo = m_rowStart[size_t(r)], hi = m_rowStart[size_t(r) + 1];
        const uint32_t* end = m_runs.data() + 2 * hi;
        // First run ending right of c0: a ragged region can put hundreds of runs on one row.
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (m_runs[2 * mid + 1] <= c0) lo = mid + 1;
            else hi = mid;
        }
        for (const uint32_t* run = m_runs.data() + 2 * lo; run != end && run[0] < c1; run += 2)
            if (run[1] > c0) matching += std::min(run[1], c1) - std::max(run[0], c0);
    }
    const long double total = (long double)bw * (long double)bh;
    return static_cast<double>((long double)matching / total);
}

}  // namespace spygeo
