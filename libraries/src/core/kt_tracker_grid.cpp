#include "kt_tracker_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kt_grow.h"

namespace {

/* Cells per blob aimed at: about one, so that the grid costs O(blobs). */
const uint64_t kCellsPerBlob = 4;
const uint64_t kExtraCells = 64;

uint32_t cell_of(uint64_t v, uint64_t origin, uint64_t size, uint32_t cells) {
    const uint64_t c = (v - origin) / size;
    return c >= cells ? cells - 1 : uint32_t(c);
}

}  // namespace

int kt_blob_grid_reserve(kt_blob_grid* grid, uint32_t n) {
    if (!grid) return 0;
    if (n <= grid->blob_capacity && grid->boxes) return 1;
    grid->ready = 0;
    // Four arrays of one capacity: grow each; a failure leaves the smaller capacity in force.
    uint32_t caps[4] = {grid->blob_capacity, grid->blob_capacity, grid->blob_capacity, grid->blob_capacity};
    const int ok = kt_grow_buffer(reinterpret_cast<void**>(&grid->boxes), &caps[0], n, sizeof(kt_bbox), 0) &&
                   kt_grow_buffer(reinterpret_cast<void**>(&grid->stamp), &caps[1], n, sizeof(uint32_t), 0) &&
                   kt_grow_buffer(reinterpret_cast<void**>(&grid->hits), &caps[2], n, sizeof(uint32_t), 0) &&
                   kt_grow_buffer(reinterpret_cast<void**>(&grid->big), &caps[3], n, sizeof(uint32_t), 0);
    grid->blob_capacity = std::min(std::min(caps[0], caps[1]), std::min(caps[2], caps[3]));
    if (!(grid->boxes && grid->stamp && grid->hits && grid->big)) grid->blob_capacity = 0;
    grid->query = 0;  // stamps were zero-filled or kept: restart above them
    if (grid->stamp) std::memset(grid->stamp, 0, sizeof(uint32_t) * grid->blob_capacity);
    return ok && grid->blob_capacity >= n;
}

int kt_blob_grid_build(kt_blob_grid* grid, const kt_vertex* blobs, uint32_t n) {
    if (!grid) return 0;
    grid->ready = 0;
    grid->blob_count = grid->big_count = 0;
    if (n && !blobs) return 0;
    if (!kt_blob_grid_reserve(grid, n)) return 0;
    // Extent and mean size of the blobs that can overlap anything.
    uint64_t x0 = UINT64_MAX, y0 = UINT64_MAX, x1 = 0, y1 = 0, sum_w = 0, sum_h = 0, used = 0;
    const kt_vertex* v = blobs;
    for (uint32_t i = 0; i < n; ++i, v = v->next) {
        grid->boxes[i] = kt_bbox{v->x, v->y, v->width, v->height};
        if (v->width == 0 || v->height == 0) continue;
        x0 = std::min<uint64_t>(x0, v->x);
        y0 = std::min<uint64_t>(y0, v->y);
        x1 = std::max<uint64_t>(x1, uint64_t(v->x) + v->width);
        y1 = std::max<uint64_t>(y1, uint64_t(v->y) + v->height);
        sum_w += v->width;
        sum_h += v->height;
        ++used;
    }
    grid->blob_count = n;
    if (used == 0) {  // nothing can overlap: an empty grid
        grid->cols = grid->rows = 0;
        grid->ready = 1;
        return 1;
    }
    // Cells about as large as the mean blob, and no more of them than a few per blob.
    const uint64_t span_x = x1 - x0, span_y = y1 - y0;
    const double side = std::ceil(std::sqrt(double(span_x) * double(span_y) / double(used)));
    uint64_t cw = std::max<uint64_t>({uint64_t(side), sum_w / used, 1});
    uint64_t ch = std::max<uint64_t>({uint64_t(side), sum_h / used, 1});
    uint64_t cols = span_x / cw + 1, rows = span_y / ch + 1;
    const uint64_t max_cells = kCellsPerBlob * used + kExtraCells;
    while (cols * rows > max_cells) {
        if (cols >= rows) cols = (cols + 1) / 2;
        else rows = (rows + 1) / 2;
    }
    cw = span_x / cols + 1;
    ch = span_y / rows + 1;
    const uint64_t cells = cols * rows;
    if (cells + 1 > UINT32_MAX) return 0;
    if (!kt_grow_buffer(reinterpret_cast<void**>(&grid->cell_start), &grid->cell_capacity,
                        uint32_t(cells + 1), sizeof(uint32_t), 0))
        return 0;
    grid->x0 = x0, grid->y0 = y0, grid->x1 = x1, grid->y1 = y1, grid->cell_w = cw, grid->cell_h = ch;
    grid->cols = uint32_t(cols), grid->rows = uint32_t(rows);
    // Count per cell (in cell_start[c + 1]), prefix sums, then fill in blob order so that every
    // cell lists its blobs ascending.
    uint32_t* start = grid->cell_start;
    std::memset(start, 0, sizeof(uint32_t) * (cells + 1));
    uint64_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const kt_bbox& b = grid->boxes[i];
        if (b.width == 0 || b.height == 0) continue;
        const uint32_t c0 = cell_of(b.x, x0, cw, grid->cols), c1 = cell_of(uint64_t(b.x) + b.width - 1, x0, cw, grid->cols);
        const uint32_t r0 = cell_of(b.y, y0, ch, grid->rows), r1 = cell_of(uint64_t(b.y) + b.height - 1, y0, ch, grid->rows);
        const uint64_t covered = uint64_t(c1 - c0 + 1) * (r1 - r0 + 1);
        if (covered > KT_GRID_MAX_CELLS_PER_BLOB) {
            grid->big[grid->big_count++] = i;
            continue;
        }
        for (uint32_t r = r0; r <= r1; ++r)
            for (uint32_t c = c0; c <= c1; ++c) ++start[uint64_t(r) * cols + c + 1];
        total += covered;
    }
    if (total > UINT32_MAX) return 0;  // cannot happen below 2^26 blobs; checked all the same
    for (uint64_t c = 0; c < cells; ++c) start[c + 1] += start[c];
    if (!kt_grow_buffer(reinterpret_cast<void**>(&grid->entries), &grid->entry_capacity, uint32_t(total),
                        sizeof(uint32_t), 0))
        return 0;
    for (uint32_t i = 0, b_next = 0; i < n; ++i) {
        if (b_next < grid->big_count && grid->big[b_next] == i) {
            ++b_next;
            continue;
        }
        const kt_bbox& b = grid->boxes[i];
        if (b.width == 0 || b.height == 0) continue;
        const uint32_t c0 = cell_of(b.x, x0, cw, grid->cols), c1 = cell_of(uint64_t(b.x) + b.width - 1, x0, cw, grid->cols);
        const uint32_t r0 = cell_of(b.y, y0, ch, grid->rows), r1 = cell_of(uint64_t(b.y) + b.height - 1, y0, ch, grid->rows);
        for (uint32_t r = r0; r <= r1; ++r)
            for (uint32_t c = c0; c <= c1; ++c) grid->entries[start[uint64_t(r) * cols + c]++] = i;
    }
    // Filling advanced every start to the next cell's start: shift back.
    for (uint64_t c = cells; c > 0; --c) start[c] = start[c - 1];
    start[0] = 0;
    grid->ready = 1;
    return 1;
}

uint32_t kt_blob_grid_query(kt_blob_grid* grid, const kt_bbox* box, const uint32_t** hits) {
    if (!grid || !box || !hits || !grid->ready) return 0;
    *hits = grid->hits;
    if (box->width == 0 || box->height == 0 || grid->blob_count == 0) return 0;
    if (++grid->query == 0) {  // stamps wrapped: forget them all
        std::memset(grid->stamp, 0, sizeof(uint32_t) * grid->blob_capacity);
        grid->query = 1;
    }
    const uint32_t q = grid->query;
    uint32_t count = 0;
    const uint64_t bx0 = box->x, by0 = box->y;
    const uint64_t bx1 = bx0 + box->width, by1 = by0 + box->height;  // exclusive
    if (grid->cols && bx1 > grid->x0 && bx0 < grid->x1 && by1 > grid->y0 && by0 < grid->y1) {
        const uint32_t c0 = cell_of(std::max(bx0, grid->x0), grid->x0, grid->cell_w, grid->cols);
        const uint32_t c1 = cell_of(std::min(bx1, grid->x1) - 1, grid->x0, grid->cell_w, grid->cols);
        const uint32_t r0 = cell_of(std::max(by0, grid->y0), grid->y0, grid->cell_h, grid->rows);
        const uint32_t r1 = cell_of(std::min(by1, grid->y1) - 1, grid->y0, grid->cell_h, grid->rows);
        for (uint32_t r = r0; r <= r1; ++r)
            for (uint32_t c = c0; c <= c1; ++c) {
                const uint64_t cell = uint64_t(r) * grid->cols + c;
                for (uint32_t e = grid->cell_start[cell]; e < grid->cell_start[cell + 1]; ++e) {
                    const uint32_t i = grid->entries[e];
                    if (grid->stamp[i] == q) continue;
                    grid->stamp[i] = q;
                    grid->hits[count++] = i;
                }
            }
    }
    for (uint32_t k = 0; k < grid->big_count; ++k) grid->hits[count++] = grid->big[k];
    std::sort(grid->hits, grid->hits + count);  // callers need blob order
    return count;
}

void kt_blob_grid_free(kt_blob_grid* grid) {
    if (!grid) return;
    std::free(grid->boxes);
    std::free(grid->stamp);
    std::free(grid->hits);
    std::free(grid->big);
    std::free(grid->cell_start);
    std::free(grid->entries);
    std::memset(grid, 0, sizeof *grid);
}

uint64_t kt_blob_grid_bytes(const kt_blob_grid* grid) {
    if (!grid) return 0;
    return uint64_t(grid->blob_capacity) * (sizeof(kt_bbox) + 3 * sizeof(uint32_t)) +
           (uint64_t(grid->cell_capacity) + grid->entry_capacity) * sizeof(uint32_t);
}
