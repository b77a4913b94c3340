#include "kt_conncomp_graph.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_detection_report.h"

namespace {

// Grows box a to the union of a and b in the inclusive convention (right = x + width).
void unite_boxes(kt_vertex* a, const kt_vertex* b) {
    uint32_t left = a->x < b->x ? a->x : b->x;
    uint32_t top = a->y < b->y ? a->y : b->y;
    uint32_t right_a = a->x + a->width, right_b = b->x + b->width;
    uint32_t bottom_a = a->y + a->height, bottom_b = b->y + b->height;
    uint32_t right = right_a > right_b ? right_a : right_b;
    uint32_t bottom = bottom_a > bottom_b ? bottom_a : bottom_b;
    a->x = left;
    a->y = top;
    a->width = right - left;
    a->height = bottom - top;
}

// Root lookup with path halving; relies on the caller having checked label < count.
inline uint32_t find_root(uint32_t* links, uint32_t label) {
    while (links[label] != label) {
        links[label] = links[links[label]];
        label = links[label];
    }
    return label;
}

}  // namespace

int kt_init_graph(kt_graph* graph, uint32_t capacity) {
    if (!graph || capacity == 0) return 0;
    std::memset(graph, 0, sizeof(*graph));
    kt_vertex* vertices = static_cast<kt_vertex*>(kt_calloc(capacity, sizeof(kt_vertex)));
    if (!vertices) {
        kt_detection_report("kt_init_graph(...) - Unable to allocate memory for new vertices.");
        return 0;
    }
    uint32_t* edges = static_cast<uint32_t*>(kt_calloc(capacity, sizeof(uint32_t)));
    if (!edges) {
        std::free(vertices);
        kt_detection_report("kt_init_graph(...) - Unable to allocate memory for new edges.");
        return 0;
    }
    graph->vertices = vertices;
    graph->edges = edges;
    graph->capacity = capacity;
    graph->count = 0;
    return 1;
}

uint32_t kt_add_vertex(kt_graph* graph, const kt_vertex* box) {
    if (!graph || !box || !graph->vertices || !graph->edges || graph->capacity == 0)
        return KT_NO_VERTEX;
    if (graph->count + 1 >= graph->capacity) {
        // Doubling keeps the amortised cost per label constant; refuse before the capacity or the
        // byte counts would wrap on a 32-bit size_t.
        if (graph->capacity > 0x7FFFFFFFu) {
            kt_detection_report("kt_add_vertex(...) - Unable to allocate memory for new vertices.");
            return KT_NO_VERTEX;
        }
        uint32_t capacity = graph->capacity * 2;
        kt_vertex* vertices = static_cast<kt_vertex*>(kt_calloc(capacity, sizeof(kt_vertex)));
        if (!vertices) {
            kt_detection_report("kt_add_vertex(...) - Unable to allocate memory for new vertices.");
            return KT_NO_VERTEX;
        }
        uint32_t* edges = static_cast<uint32_t*>(kt_calloc(capacity, sizeof(uint32_t)));
        if (!edges) {
            std::free(vertices);
            kt_detection_report("kt_add_vertex(...) - Unable to allocate memory for new edges.");
            return KT_NO_VERTEX;
        }
        std::memcpy(vertices, graph->vertices, sizeof(kt_vertex) * graph->count);
        std::memcpy(edges, graph->edges, sizeof(uint32_t) * graph->count);
        std::free(graph->vertices);
        std::free(graph->edges);
        graph->vertices = vertices;
        graph->edges = edges;
        graph->capacity = capacity;
    }
    uint32_t label = graph->count++;
    kt_vertex* v = &graph->vertices[label];
    v->x = box->x;
    v->y = box->y;
    v->width = box->width;
    v->height = box->height;
    v->confidence = 0.0f;
    v->next = nullptr;
    graph->edges[label] = label;
    return label;
}

int kt_add_edge(kt_graph* graph, uint32_t a, uint32_t b) {
    if (!graph || !graph->edges || a >= graph->count || b >= graph->count) return 0;
    uint32_t ra = find_root(graph->edges, a);
    uint32_t rb = find_root(graph->edges, b);
    // The smaller root wins, which keeps every group's root at its smallest label.
    if (ra < rb)
        graph->edges[rb] = ra;
    else if (rb < ra)
        graph->edges[ra] = rb;
    return 1;
}

uint32_t kt_find_root(kt_graph* graph, uint32_t label) {
    if (!graph || !graph->edges || label >= graph->count) return KT_NO_VERTEX;
    return find_root(graph->edges, label);
}

void kt_clear_graph(kt_graph* graph) {
    if (!graph) return;
    if (graph->vertices) {
        uint32_t used = graph->count < graph->capacity ? graph->count + 1 : graph->capacity;
        std::memset(graph->vertices, 0, sizeof(kt_vertex) * used);
    }
    // Links need no clearing: kt_add_vertex sets each new label's link.
    graph->count = 0;
}

void kt_free_graph(kt_graph* graph) {
    if (!graph) return;
    std::free(graph->vertices);
    std::free(graph->edges);
    std::memset(graph, 0, sizeof(*graph));
}

int kt_get_reachable(kt_graph* graph, uint32_t i, unsigned char* flags) {
    if (!graph || !flags || !graph->edges || i >= graph->count) return 0;
    uint32_t root = find_root(graph->edges, i);
    bool has_neighbour = false;
    for (uint32_t j = 0; j < graph->count; ++j) {
        if (j == i || find_root(graph->edges, j) != root) continue;
        flags[j] = 1;
        has_neighbour = true;
    }
    if (has_neighbour) flags[i] = 1;
    return 1;
}

int kt_resolve_graph(kt_graph* graph, kt_vertex** head, uint32_t* count) {
    if (!graph || !head || !count) return 0;
    *head = nullptr;
    *count = 0;
    if (graph->count == 0) return 1;
    if (!graph->vertices || !graph->edges) return 0;

    uint32_t* links = graph->edges;
    kt_vertex* boxes = graph->vertices;
    // Fold every label's box into its group's root; roots are the smallest labels, so walking the
    // labels upwards visits each root before the rest of its group.
    for (uint32_t i = 0; i < graph->count; ++i) {
        uint32_t root = find_root(links, i);
        if (root != i) unite_boxes(&boxes[root], &boxes[i]);
    }
    kt_vertex** tail = head;
    for (uint32_t i = 0; i < graph->count; ++i) {
        if (links[i] != i) continue;
        kt_vertex* node =
            kt_new_vertex(boxes[i].x, boxes[i].y, boxes[i].width, boxes[i].height, 1.0f);
        if (!node) {
            kt_detection_report("kt_resolve_graph(...) - Unable to allocate memory for new vertex.");
            return 0;
        }
        *tail = node;
        tail = &node->next;
        ++*count;
    }
    return 1;
}
