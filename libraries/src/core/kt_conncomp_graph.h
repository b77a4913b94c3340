/* kt_graph: the provisional labels of one labelling pass, their boxes, and which labels touch.
 *
 * Touching labels are kept as a union-find forest over the label indices instead of a label x label
 * matrix, so memory grows linearly with the label count (a noisy full-HD frame can make hundreds of
 * thousands of labels). Invariant: edges[i] <= i for every label, and the root of each group, the
 * label with edges[r] == r, is the group's smallest label. */
#pragma once

#include <cstdint>

#include "kt_conncomp_vertex.h"

/* Index returned by kt_add_vertex when no label could be added. */
#define KT_NO_VERTEX 0xFFFFFFFFu

typedef struct kt_graph {
    kt_vertex* vertices; /* capacity boxes; entry i is label i's box (next unused) */
    uint32_t* edges;     /* capacity links; edges[i] is a label of i's group not above i */
    uint32_t capacity;   /* entries allocated in both arrays */
    uint32_t count;      /* labels in use */
} kt_graph;

/* Allocates capacity zeroed vertices and links into a zeroed or freed record; count 0.
 * Returns 1; 0 for a null graph or a zero capacity, or when an array cannot be allocated (prints
 * "kt_init_graph(...) - Unable to allocate memory for new vertices." or
 * "kt_init_graph(...) - Unable to allocate memory for new edges." and leaves the record zeroed). */
int kt_init_graph(kt_graph* graph, uint32_t capacity);

/* Appends a label whose box is box's x, y, width, height (its other fields are ignored), doubling the
 * capacity first when count + 1 == capacity; the new label touches nothing yet.
 * Returns the new label's index; KT_NO_VERTEX for a null graph or box, a graph without arrays or
 * capacity, or when growing fails (prints "kt_add_vertex(...) - Unable to allocate memory for new
 * vertices." or "kt_add_vertex(...) - Unable to allocate memory for new edges."; nothing is added and
 * the labels so far are kept). */
uint32_t kt_add_vertex(kt_graph* graph, const kt_vertex* box);

/* Records that labels a and b touch (both directions: the relation is symmetric).
 * Returns 1; 0 for a null graph or a label not below count. */
int kt_add_edge(kt_graph* graph, uint32_t a, uint32_t b);

/* The smallest label of label's group (compressing the path on the way). KT_NO_VERTEX for a null
 * graph or a label not below count. */
uint32_t kt_find_root(kt_graph* graph, uint32_t label);

/* Zeroes the first count + 1 vertices (within capacity) and sets count 0; the capacity is kept so the
 * next frame allocates nothing. Null ignored. */
void kt_clear_graph(kt_graph* graph);

/* Frees both arrays and zeroes the record. Null ignored; safe twice. */
void kt_free_graph(kt_graph* graph);

/* Sets flags[j] (an array of count bytes) to 1 for every label j reachable from label i through
 * touching pairs; i itself only when it touches some label (then it is reachable from itself through
 * that neighbour). Flags of other labels are left as they are. Linear in count, no recursion.
 * Returns 1; 0 for a null graph or flags, or i not below count. */
int kt_get_reachable(kt_graph* graph, uint32_t i, unsigned char* flags);

/* Builds the blob list: one node per group of touching labels, its box the union of the group's boxes,
 * confidence 1.0, in increasing order of each group's smallest label (the raster order of the blob's
 * first pixel). *head and *count are first set to empty; the nodes are appended to *head and belong
 * to the caller (kt_free_vertices). Label boxes are grown in place, so resolve once per labelling.
 * Returns 1 (also for no labels); 0 for null arguments, or when a node cannot be allocated (prints
 * "kt_resolve_graph(...) - Unable to allocate memory for new vertex."; the nodes made so far stay in
 * the caller's list and are counted). */
int kt_resolve_graph(kt_graph* graph, kt_vertex** head, uint32_t* count);
