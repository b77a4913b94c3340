// ktml::Mask2D: a two-dimensional grid of cells with a fill value (the value of every cell not set),
// used by the spies to rasterise zones and to measure how much of a box lies in them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "kttl_DimArray.h"
#include "ktml_BoundingBox.h"
#include "ktml_Polygon2d.h"

namespace ktml {

template <typename T>
class Mask2D {
public:
    typedef T value_type;

    Mask2D() : m_fill() {}
    // columns x rows cells, all holding fill.
    Mask2D(size_t columns, size_t rows, const T& fill) : m_cells(std::array<size_t, 2>{columns, rows}, fill), m_fill(fill) {}
    // Dimensions as a run-time list (columns, rows); any other count throws.
    Mask2D(const std::vector<size_t>& dims, const T& fill) : m_cells(dims, fill), m_fill(fill) {}
    // Over existing cells (dimension 0 columns, dimension 1 rows).
    Mask2D(const kttl::DimArray<T, 2>& cells, const T& fill) : m_cells(cells), m_fill(fill) {}

    size_t columns() const { return m_cells.dim(0); }
    size_t rows() const { return m_cells.dim(1); }
    const T& fillValue() const { return m_fill; }
    const kttl::DimArray<T, 2>& cells() const { return m_cells; }
    kttl::DimArray<T, 2>& cells() { return m_cells; }

    // Re-creates the mask as columns x rows cells holding fill.
    void reset(size_t columns, size_t rows, const T& fill) {
        m_cells.resize(std::array<size_t, 2>{columns, rows}, fill);
        m_fill = fill;
    }
    // Every cell back to the fill value.
    void clear() { m_cells.fill(m_fill); }

    bool inside(long long c, long long r) const {
        return c >= 0 && r >= 0 && static_cast<unsigned long long>(c) < columns() &&
               static_cast<unsigned long long>(r) < rows();
    }
    // The cell's value; the fill value outside the mask.
    T get(long long c, long long r) const { return inside(c, r) ? m_cells(size_t(c), size_t(r)) : m_fill; }
    // Sets one cell; false (nothing changed) outside the mask.
    bool set(long long c, long long r, const T& v) {
        if (!inside(c, r)) return false;
        m_cells(size_t(c), size_t(r)) = v;
        return true;
    }

    // Sets to value every cell (c, r) of the polygon's box, clipped to the mask, whose point (c, r)
    // the polygon contains. A polygon of fewer than three vertices changes nothing: false.
    // Filled row by row: each row's edge crossings are computed with the very expression contains()
    // uses and sorted, so the cells set are exactly those contains() accepts, in O(rows x (edges +
    // columns)) instead of one containment test per cell.
    template <typename U>
    bool addPolygon(const Polygon2D<U>& polygon, const T& value) {
        if (!polygon.isValid()) return false;
        double minX = static_cast<double>(polygon[0].x), maxX = minX;
        double minY = static_cast<double>(polygon[0].y), maxY = minY;
        for (const auto& p : polygon) {
            const double px = static_cast<double>(p.x), py = static_cast<double>(p.y);
            if (std::isnan(px) || std::isnan(py)) return true;  // contains nothing
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
        if (columns() == 0 || rows() == 0) return true;
        // Only whole cells within the box can be inside; clip in double so nothing overflows.
        const double c0 = std::max(0.0, std::ceil(minX)), c1 = std::min(double(columns() - 1), std::floor(maxX));
        const double r0 = std::max(0.0, std::ceil(minY)), r1 = std::min(double(rows() - 1), std::floor(maxY));
        if (c0 > c1 || r0 > r1) return true;
        const size_t n = polygon.size();
        std::vector<double> xs;
        xs.reserve(n);
        for (size_t r = size_t(r0); r <= size_t(r1); ++r) {
            const double py = double(r);
            xs.clear();
            for (size_t i = 0; i < n; ++i) {
                const auto& a = polygon[i];
                const auto& b = polygon[i + 1 == n ? 0 : i + 1];
                const double xi = a.x, yi = a.y, xj = b.x, yj = b.y;
                if ((yi <= py && yj > py) || (yi > py && yj <= py)) {
                    const double xc = xi + (xj - xi) * ((py - yi) / (yj - yi));
                    if (!std::isnan(xc)) xs.push_back(xc);  // a NaN crossing counts for no cell
                }
            }
            if (xs.empty()) continue;
            std::sort(xs.begin(), xs.end());
            // A cell is inside when it lies on a crossing or an odd number of crossings lie right of it.
            size_t atOrLeft = 0;
            for (size_t c = size_t(c0); c <= size_t(c1); ++c) {
                const double px = double(c);
                while (atOrLeft < xs.size() && xs[atOrLeft] <= px) ++atOrLeft;
                const bool onEdge = atOrLeft > 0 && xs[atOrLeft - 1] == px;
                if (onEdge || ((xs.size() - atOrLeft) & 1u)) m_cells(c, r) = value;
            }
        }
        return true;
    }

    // Share of the box's cells (columns x .. x+width-1, rows y .. y+height-1) holding value; cells
    // outside the mask hold the fill value. A box without any cell inside the mask gives 1.0 when
    // value is the fill value and 0.0 otherwise.
    template <typename U>
    double getOverlap(const BoundingBox<U>& box, const T& value) const {
        const long long bx = coordCast<long long>(box.x), by = coordCast<long long>(box.y);
        const long long bw = coordCast<long long>(box.width), bh = coordCast<long long>(box.height);
        const bool isFill = value == m_fill;
        if (bw <= 0 || bh <= 0) return isFill ? 1.0 : 0.0;
        // Clip in long double: corners far beyond any mask must not overflow.
        const long double left = std::max<long double>(bx, 0), top = std::max<long double>(by, 0);
        const long double right = std::min<long double>((long double)bx + bw, (long double)columns());
        const long double bottom = std::min<long double>((long double)by + bh, (long double)rows());
        if (right <= left || bottom <= top) return isFill ? 1.0 : 0.0;
        const size_t c0 = size_t(left), c1 = size_t(right), r0 = size_t(top), r1 = size_t(bottom);
        unsigned long long matching = 0;
        for (size_t r = r0; r < r1; ++r)
            for (size_t c = c0; c < c1; ++c)
                if (m_cells(c, r) == value) ++matching;
        const long double total = (long double)bw * (long double)bh;
        const long double insideCells = (long double)(c1 - c0) * (long double)(r1 - r0);
        const long double hits = (long double)matching + (isFill ? total - insideCells : 0.0L);
        return static_cast<double>(hits / total);
    }

private:
    kttl::DimArray<T, 2> m_cells;
    T m_fill;
};

}  // namespace ktml
