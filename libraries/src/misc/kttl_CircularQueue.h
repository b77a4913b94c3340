// kttl::CircularQueue<T>: a fixed ring of values that allocates nothing after construction.
#pragma once

#include <cstddef>
#include <vector>

#include "kttl_Exception.h"

namespace kttl {

// capacity + 1 slots and a read and a write position; empty when they are equal, full when the
// write position is one slot behind the read position. Not thread-safe: the owner locks.
template <class T>
class CircularQueue {
public:
    // A queue of capacity 0 can hold nothing (every push fails, pushOverwrite stores nothing).
    explicit CircularQueue(size_t capacity) : m_slots(capacity + 1) {}

    size_t capacity() const { return m_slots.size() - 1; }
    size_t size() const { return m_write >= m_read ? m_write - m_read : m_write + m_slots.size() - m_read; }
    bool empty() const { return m_read == m_write; }
    bool full() const { return next(m_write) == m_read; }
    size_t readPosition() const { return m_read; }
    size_t writePosition() const { return m_write; }

    // Appends `value`; false (nothing stored) when full.
    bool push(const T& value) {
        if (full()) return false;
        m_slots[m_write] = value;
        m_write = next(m_write);
        return true;
    }
    // Appends `value`, dropping the oldest value when the ring was full. Returns true when a
    // value was dropped.
    bool pushOverwrite(const T& value) {
        if (capacity() == 0) return false;
        m_slots[m_write] = value;
        m_write = next(m_write);
        if (m_write != m_read) return false;
        m_read = next(m_read);
        return true;
    }
    // The oldest value; throws when empty.
    const T& front() const {
        if (empty()) KT_THROW("kttl::CircularQueue", "front() - queue is empty");
        return m_slots[m_read];
    }
    // Copies the oldest value into `out`; false when empty.
    bool peek(T& out) const {
        if (empty()) return false;
        out = m_slots[m_read];
        return true;
    }
    bool pop(T& out) {
        if (!peek(out)) return false;
        m_read = next(m_read);
        return true;
    }
    bool pop() {
        if (empty()) return false;
        m_read = next(m_read);
        return true;
    }
    // The i-th oldest value (0 = front); throws when i >= size().
    const T& at(size_t i) const {
        if (i >= size()) KT_THROW("kttl::CircularQueue", "at() - index out of range");
        return m_slots[(m_read + i) % m_slots.size()];
    }
    void clear() { m_read = m_write = 0; }

private:
    size_t next(size_t pos) const { return pos + 1 == m_slots.size() ? 0 : pos + 1; }

    std::vector<T> m_slots;
    size_t m_read = 0;
    size_t m_write = 0;
};

}  // namespace kttl
