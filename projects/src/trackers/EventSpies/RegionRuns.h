// RegionRuns: a region mask kept as the runs of set cells of each row, so the share of a box that
// lies in the regions costs a few steps per box row instead of one per box cell.
#pragma once

#include <cstdint>
#include <vector>

#include "SpyGeometry.h"

namespace spygeo {

class RegionRuns {
public:
    // Rebuilds the runs from the cells of `mask` holding 1. Called on every mask rebuild, never per
    // frame; memory is two words per run plus one per row.
    void build(const RegionMask& mask);

    // The share of the box's cells that hold 1 in the mask the runs were built from: the same
    // double `mask.getOverlap(box, 1)` returns (cells outside the mask count as not set).
    double share(const Box& box) const;

    size_t runCount() const { return m_runs.size() / 2; }

    // Calls f(row, first column, end column) for every run, row by row, left to right.
    template <typename F>
    void forEachRun(F f) const {
        for (uint32_t r = 0; r < m_rows; ++r)
            for (uint32_t k = m_rowStart[r]; k < m_rowStart[r + 1]; ++k) f(r, m_runs[2 * k], m_runs[2 * k + 1]);
    }

private:
    uint32_t m_columns = 0, m_rows = 0;
    std::vector<uint32_t> m_rowStart;  // rows + 1 offsets into m_runs, in runs
    std::vector<uint32_t> m_runs;      // per run its first column and one past its last, by row
};

}  // namespace spygeo
