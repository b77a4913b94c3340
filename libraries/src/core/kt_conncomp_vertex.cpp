#include "kt_conncomp_vertex.h"

#include <cstdlib>
#include <mutex>

#include "kt_alloc.h"

namespace {

// Freed nodes chained through next. The lock is uncontended in practice: only the frame loop makes
// and frees blob lists, but a frame may be released on another thread.
std::mutex g_pool_lock;
kt_vertex* g_pool = nullptr;
uint32_t g_pool_nodes = 0;

}  // namespace

kt_vertex* kt_new_vertex(uint32_t x, uint32_t y, uint32_t width, uint32_t height, float confidence) {
    kt_vertex* node = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_pool_lock);
        if (g_pool) {
            node = g_pool;
            g_pool = node->next;
            --g_pool_nodes;
        }
    }
    if (!node) node = static_cast<kt_vertex*>(kt_calloc(1, sizeof(kt_vertex)));
    if (!node) return nullptr;
    node->x = x;
    node->y = y;
    node->width = width;
    node->height = height;
    node->confidence = confidence;
    node->next = nullptr;
    return node;
}

void kt_free_vertices(kt_vertex** head) {
    if (!head) return;
    kt_vertex* node = *head;
    *head = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_pool_lock);
        while (node && g_pool_nodes < KT_VERTEX_POOL_NODES) {
            kt_vertex* next = node->next;
            node->next = g_pool;
            g_pool = node;
            ++g_pool_nodes;
            node = next;
        }
    }
    while (node) {
        kt_vertex* next = node->next;
        std::free(node);
        node = next;
    }
}

void kt_vertex_pool_release(void) {
    kt_vertex* node;
    {
        std::lock_guard<std::mutex> lock(g_pool_lock);
        node = g_pool;
        g_pool = nullptr;
        g_pool_nodes = 0;
    }
    while (node) {
        kt_vertex* next = node->next;
        std::free(node);
        node = next;
    }
}
