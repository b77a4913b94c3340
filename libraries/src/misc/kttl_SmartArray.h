// kttl::SmartArray<T>: a shared, reference-counted array with bounds-checked element access.
#pragma once

#include <cstddef>
#include <utility>

#include "kttl_Exception.h"
#include "kttl_RefCount.h"

namespace kttl {

// Copies share the array; the last copy deletes it with delete[]. Same thread rules as SmartPtr.
// operator[] throws on an empty array and on an index at or past the size.
template <class T>
class SmartArray {
public:
    SmartArray() noexcept = default;
    // A new array of `size` value-initialized elements (zeros for numbers); size 0 gives an empty one.
    explicit SmartArray(size_t size) {
        if (size) adopt(new T[size](), size);
    }
    // Takes ownership of `p`, which must come from new T[size].
    SmartArray(T* p, size_t size) {
        if (p) adopt(p, size);
    }
    SmartArray(const SmartArray& o) noexcept : m_p(o.m_p), m_size(o.m_size), m_rc(o.m_rc) {
        if (m_rc) m_rc->acquire();
    }
    SmartArray(SmartArray&& o) noexcept : m_p(o.m_p), m_size(o.m_size), m_rc(o.m_rc) {
        o.m_p = nullptr;
        o.m_size = 0;
        o.m_rc = nullptr;
    }
    ~SmartArray() { if (m_rc) m_rc->release(); }

    SmartArray& operator=(SmartArray o) noexcept { swap(o); return *this; }

    T& operator[](size_t index) const {
        if (!m_p) KT_THROW("kttl::SmartArray", "operator[]() - pointer is NULL!");
        if (index >= m_size) KT_THROW("kttl::SmartArray", "operator[]() - index out of range!");
        return m_p[index];
    }
    T* get() const noexcept { return m_p; }
    size_t size() const noexcept { return m_size; }
    bool isNull() const noexcept { return m_p == nullptr; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    long getRefCount() const noexcept { return m_rc ? m_rc->count() : 0; }

    void reset() noexcept { SmartArray().swap(*this); }
    void swap(SmartArray& o) noexcept {
        std::swap(m_p, o.m_p);
        std::swap(m_size, o.m_size);
        std::swap(m_rc, o.m_rc);
    }

private:
    void adopt(T* p, size_t size) {
        m_rc = detail::makeBlock<detail::RefCountArray<T>>(p, [](T* q) { delete[] q; });
        m_p = p;
        m_size = size;
    }

    T* m_p = nullptr;
    size_t m_size = 0;
    detail::RefCount* m_rc = nullptr;
};

}  // namespace kttl
