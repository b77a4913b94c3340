/* kt_vertex: one box of the connected-components step: a provisional label while labelling, a blob in
 * the result list handed to the caller. */
#pragma once

#include <cstdint>

typedef struct kt_vertex {
    uint32_t x;          /* left column */
    uint32_t y;          /* top row */
    uint32_t width;      /* inclusive extent: columns x .. x + width (one pixel: 0) */
    uint32_t height;     /* inclusive extent: rows y .. y + height (one pixel: 0) */
    float confidence;    /* 1.0 for a new blob */
    struct kt_vertex* next; /* next blob of a result list, null at the end */
} kt_vertex;

/* Number of freed list nodes kept for reuse. A frame rarely has more blobs than this, so steady-state
 * frames take their result nodes from the pool instead of the heap. */
#define KT_VERTEX_POOL_NODES 4096u

/* A new list node with the given box, confidence and a null next. The node is malloc-compatible: give
 * it back with kt_free_vertices (which may keep it for reuse) or free(). Null when memory runs out.
 * Thread-safe. */
kt_vertex* kt_new_vertex(uint32_t x, uint32_t y, uint32_t width, uint32_t height, float confidence);

/* Frees every node of the list at *head (nodes from kt_new_vertex or malloc/calloc) and sets *head to
 * null. Up to KT_VERTEX_POOL_NODES nodes are kept for kt_new_vertex. Null pointer ignored. Thread-safe. */
void kt_free_vertices(kt_vertex** head);

/* Frees the nodes kept for reuse (for leak checkers and tests). Thread-safe. */
void kt_vertex_pool_release(void);
