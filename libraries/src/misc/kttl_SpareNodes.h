// kttl::SpareNodes: keeps the nodes of a cleared std::map or std::set for reuse, so a container that is
// emptied and refilled with the same keys once per frame allocates nothing after the first frames.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace kttl {

namespace spare_detail {
// The key of a node handle: key() for maps, value() for sets.
template <class Node>
auto nodeKey(Node& node, int) -> decltype(node.key()) {
    return node.key();
}
template <class Node>
auto nodeKey(Node& node, long) -> decltype(node.value()) {
    return node.value();
}
}  // namespace spare_detail

// Holds at most `limit` extracted nodes of a node container (C++17 node handles); nodes beyond it are
// freed. Copying gives an empty reserve with the same limit: spares are a container's own capacity,
// never part of its value. Not thread-safe; it belongs to the container it serves.
template <class Container>
class SpareNodes {
public:
    using Node = typename Container::node_type;
    // Enough for every per-frame name of a frame or an object; more would only hold memory.
    static constexpr size_t kDefaultLimit = 64;

    explicit SpareNodes(size_t limit = kDefaultLimit) : m_limit(limit) {}
    SpareNodes(const SpareNodes& other) : m_limit(other.m_limit) {}
    SpareNodes& operator=(const SpareNodes&) { return *this; }
    SpareNodes(SpareNodes&&) noexcept = default;
    SpareNodes& operator=(SpareNodes&&) noexcept = default;

    // Empties `container`, keeping its nodes up to the limit. Never throws: when the reserve cannot
    // grow the remaining nodes are simply freed.
    void takeAll(Container& container) noexcept {
        try {
            while (!container.empty() && keep(container.extract(container.begin()))) {
            }
        } catch (...) {
        }
        container.clear();
    }

    // Removes the element at `position` (not end()) from `container`, keeping its node when there is room.
    void take(Container& container, typename Container::iterator position) noexcept {
        try {
            keep(container.extract(position));
        } catch (...) {
        }
    }

    // A spare node for `key`: the one that held this key before when there is one (its key and value
    // buffers already fit), else one whose key buffer has room for it, else any; the caller assigns the
    // key and value. An empty handle when there is no spare.
    template <class Key>
    Node pop(const Key& key) noexcept {
        if (m_nodes.empty()) return Node();
        size_t pick = m_nodes.size();
        for (size_t i = m_nodes.size(); i-- > 0;) {
            const auto& held = spare_detail::nodeKey(m_nodes[i], 0);
            if (held == key) {
                pick = i;
                break;
            }
            if (pick == m_nodes.size() && held.capacity() >= key.size()) pick = i;
        }
        if (pick == m_nodes.size()) pick = m_nodes.size() - 1;
        if (pick != m_nodes.size() - 1) std::swap(m_nodes[pick], m_nodes.back());
        Node node = std::move(m_nodes.back());
        m_nodes.pop_back();
        return node;
    }

    size_t size() const { return m_nodes.size(); }
    size_t limit() const { return m_limit; }
    // Frees every spare node.
    void release() { std::vector<Node>().swap(m_nodes); }

private:
    // False once the reserve is full (the node is then freed here).
    bool keep(Node&& node) {
        if (m_nodes.size() >= m_limit) return false;
        m_nodes.push_back(std::move(node));
        return true;
    }

    std::vector<Node> m_nodes;
    size_t m_limit;
};

}  // namespace kttl
