/* kt_tracker_grid: a bucket grid over one frame's blob boxes, so that finding the blobs that overlap
 * a predicted box costs about the blobs near it instead of every blob of the frame. */
#pragma once

#include <cstdint>

#include "kt_bbox.h"
#include "kt_conncomp_vertex.h"

/* A blob spanning more cells than this is kept in a short list checked by every query instead of
 * being written into each of its cells, so that the grid stays O(blobs) in memory. */
#define KT_GRID_MAX_CELLS_PER_BLOB 64u

typedef struct kt_blob_grid {
    kt_bbox* boxes;          /* per blob: its box (blob index = position in the frame's list) */
    uint32_t* stamp;         /* per blob: the last query that reported it */
    uint32_t* hits;          /* per blob: the last query's result */
    uint32_t* big;           /* blobs kept out of the cells, ascending */
    uint32_t blob_capacity;  /* records in each of the four arrays above */
    uint32_t* cell_start;    /* cols x rows + 1 offsets into entries */
    uint32_t cell_capacity;
    uint32_t* entries;       /* blob indices, cell after cell, ascending within a cell */
    uint32_t entry_capacity;
    uint32_t blob_count, big_count, cols, rows, query;
    uint64_t x0, y0, x1, y1, cell_w, cell_h; /* covered area [x0, x1) x [y0, y1), cell size */
    uint8_t ready;           /* 1 after a successful build */
} kt_blob_grid;

/* Makes room for n blobs in the per-blob arrays (grows to 2n, never shrinks; contents not kept).
 * 1 on success; 0 (arrays unchanged, grid not ready) when memory runs out or for null. */
int kt_blob_grid_reserve(kt_blob_grid* grid, uint32_t n);

/* Indexes the first n blobs of the list (the list must hold at least n). Blobs with a zero width or
 * height overlap nothing and are left out. Grows the cell arrays on demand. 1 and ready on success;
 * 0 and not ready when memory runs out or for null arguments (queries then report nothing). */
int kt_blob_grid_build(kt_blob_grid* grid, const kt_vertex* blobs, uint32_t n);

/* Indices of the blobs whose box may overlap box with a positive area, ascending and without
 * repeats, through *hits (valid until the next query or build). Every blob that does overlap is
 * reported; some reported ones may not. Returns the count; 0 when not ready or for null arguments. */
uint32_t kt_blob_grid_query(kt_blob_grid* grid, const kt_bbox* box, const uint32_t** hits);

/* Frees every array and zeroes the record. Null ignored. */
void kt_blob_grid_free(kt_blob_grid* grid);

/* Bytes held at capacity. */
uint64_t kt_blob_grid_bytes(const kt_blob_grid* grid);
