/* kt_conncomp: cuts a foreground mask into blobs, groups of foreground pixels that lie within one
 * structuring element of each other, each reported as a bounding box. */
#pragma once

#include <cstdint>

#include "kt_conncomp_graph.h"
#include "kt_conncomp_vertex.h"
#include "kt_detection_kernel.h"
#include "kt_image.h"

/* Label buffer entry of a pixel without a label. */
#define KT_NO_LABEL 0xFFFFFFFFu

/* Labelling state, kept from frame to frame so steady-state frames allocate nothing but their result.
 *
 * Only the rows the kernel window can still reach are kept, half_height + 1 of them, as a ring (image
 * row y lives in ring row y mod (half_height + 1)). Kernels whose window holds the left neighbour
 * (every square, ellipse and cross wider than one column) keep each row's foreground runs; the others
 * keep a label per pixel, with half_width empty columns on each side so the window never leaves the
 * buffer. Labels are 32-bit, so the label count is limited only by the pixel count. */
typedef struct kt_conncomp {
    kt_graph* graph;      /* heap graph of the provisional labels; owned */
    uint32_t* labels;     /* ring of (mask width + kernel width - 1) labels per row, KT_NO_LABEL = none,
                             for kernels without the left neighbour; owned, null until needed */
    uint32_t label_count; /* entries in labels */
    uint32_t* window;     /* runs of the kernel's causal inside cells as (row, first column, end
                             column, scratch) quadruples in scan order; owned */
    uint32_t window_capacity; /* quadruples allocated in window */
    uint32_t* runs;       /* ring of mask width / 2 + 1 runs per row as (first column, end column,
                             label) triples, for all other kernels; owned, null until needed */
    uint32_t run_count;   /* uint32 entries in runs */
} kt_conncomp;

/* Sets up a zeroed or deinitialised state with a graph of initial_capacity labels and no label buffer.
 * Returns 1; 0 for a null state or zero capacity, or when the graph cannot be allocated (prints
 * "kt_conncomp_init(...) - Unable to allocate memory for g_pGraph." when the record itself fails;
 * kt_init_graph prints its own messages). The state is left zeroed on failure. */
int kt_conncomp_init(uint32_t initial_capacity, kt_conncomp* state);

/* Frees the graph's arrays, the graph, the label buffer and the window; zeroes the record. Null ignored;
 * safe twice. */
void kt_conncomp_deinit(kt_conncomp* state);

/* The raster pass: gives every mask pixel >= threshold a provisional label and records which labels
 * touch in state->graph (which the caller clears first). A pixel looks at the kernel cells of its own
 * row left of it and of the half_height rows above, placed with the kernel centre on the pixel; only
 * inside cells holding a label count. The pixel takes one of those labels and every other label
 * found there is recorded as touching it, so a pixel that bridges several partial blobs joins them
 * all (which label a pixel takes does not change the blobs). A pixel without any gets a new label.
 * Each label's box grows over its pixels. The groups are therefore exactly the sets of foreground
 * pixels chained by the element. Needs a one-channel mask whose size is width x height and a valid kernel.
 * Returns 1; 0 for bad arguments, when the label buffer cannot be allocated (prints
 * "kt_label_image(...) - Unable to allocate memory for g_pLabelImg."), or when the graph cannot grow
 * (kt_add_vertex prints why; the labelling is abandoned rather than lose a pixel). */
int kt_label_image(const kt_image* mask, uint32_t threshold, kt_conncomp* state,
                   const kt_kernel* kernel);

/* Clears the graph, labels the mask and resolves the labels into the blob list (see kt_resolve_graph):
 * *head receives a new list the caller owns (kt_free_vertices) and *count its length.
 * Returns 1; 0 without touching *head and *count for a mask of zero width or height or without data,
 * a mask that is not one-channel or whose size is not width x height, a null state, graph, kernel,
 * head or count, or an invalid kernel. Returns 0 with an empty list after printing
 * "kt_conncomp_process(...) - Unable to label image.", and 0 after printing
 * "kt_conncomp_process(...) - Unable to resolve graph." with the nodes made so far in *head and
 * *count (the caller frees them as usual). */
int kt_conncomp_process(const kt_image* mask, uint32_t threshold, kt_conncomp* state,
                        const kt_kernel* kernel, kt_vertex** head, uint32_t* count);
