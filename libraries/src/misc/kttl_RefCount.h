// kttl::detail::RefCount: the shared, atomically counted owner block behind the smart pointers.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

namespace kttl {
namespace detail {

// One block per owned object, created with a count of 1 by the pointer that takes ownership.
// The block remembers how to delete the object (as the type it was created with), so a pointer
// converted to a base class still deletes the whole object.
class RefCount {
public:
    RefCount() = default;
    RefCount(const RefCount&) = delete;
    RefCount& operator=(const RefCount&) = delete;

    void acquire() noexcept { m_count.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; the last one deletes the object and the block.
    void release() noexcept {
        if (m_count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            destroy();
            delete this;
        }
    }
    long count() const noexcept { return m_count.load(std::memory_order_acquire); }

protected:
    virtual ~RefCount() = default;
    virtual void destroy() noexcept = 0;

private:
    std::atomic<long> m_count{1};
};

template <class T>
class RefCountObject : public RefCount {
public:
    explicit RefCountObject(T* p) : m_p(p) {}

private:
    void destroy() noexcept override { delete m_p; }
    T* m_p;
};

template <class T>
class RefCountArray : public RefCount {
public:
    explicit RefCountArray(T* p) : m_p(p) {}

private:
    void destroy() noexcept override { delete[] m_p; }
    T* m_p;
};

// Creates the block for `p`; if that allocation fails `p` is deleted before the exception leaves,
// so taking ownership never leaks.
// Kept out of line: inlined, GCC mistakes the later use of `p` on the success path for a use
// after this delete.
template <class T, class Deleter>
[[noreturn]] __attribute__((noinline, cold)) void dropAndThrow(T* p, Deleter del) {
    del(p);
    throw std::bad_alloc();
}

template <class Block, class T, class Deleter>
RefCount* makeBlock(T* p, Deleter del) {
    RefCount* block = new (std::nothrow) Block(p);
    if (!block) dropAndThrow(p, del);
    return block;
}

}  // namespace detail
}  // namespace kttl
