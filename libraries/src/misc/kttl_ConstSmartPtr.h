// kttl::ConstSmartPtr<T>: a SmartPtr that only gives read access; shares the count with SmartPtrs.
#pragma once

#include <cstddef>
#include <utility>

#include "kttl_Exception.h"
#include "kttl_RefCount.h"
#include "kttl_SmartPtr.h"

namespace kttl {

// Built from a SmartPtr (sharing its object and count) or by taking ownership of a pointer.
// Same thread rules as SmartPtr. Dereferencing an empty pointer throws.
template <class T>
class ConstSmartPtr {
public:
    ConstSmartPtr() noexcept = default;
    ConstSmartPtr(std::nullptr_t) noexcept {}
    template <class U>
    explicit ConstSmartPtr(const U* p) : m_p(p) {
        if (p) m_rc = detail::makeBlock<detail::RefCountObject<const U>>(p, [](const U* q) { delete q; });
    }
    template <class U>
    ConstSmartPtr(const SmartPtr<U>& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { if (m_rc) m_rc->acquire(); }
    ConstSmartPtr(const ConstSmartPtr& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { if (m_rc) m_rc->acquire(); }
    ConstSmartPtr(ConstSmartPtr&& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { o.m_p = nullptr; o.m_rc = nullptr; }
    template <class U>
    ConstSmartPtr(const ConstSmartPtr<U>& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { if (m_rc) m_rc->acquire(); }
    ~ConstSmartPtr() { if (m_rc) m_rc->release(); }

    ConstSmartPtr& operator=(ConstSmartPtr o) noexcept { swap(o); return *this; }

    const T* operator->() const {
        if (!m_p) KT_THROW("kttl::ConstSmartPtr", "operator->() - pointer is NULL!");
        return m_p;
    }
    const T& operator*() const {
        if (!m_p) KT_THROW("kttl::ConstSmartPtr", "operator*() - pointer is NULL!");
        return *m_p;
    }
    const T* get() const noexcept { return m_p; }
    bool isNull() const noexcept { return m_p == nullptr; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    long getRefCount() const noexcept { return m_rc ? m_rc->count() : 0; }

    void reset() noexcept { ConstSmartPtr().swap(*this); }
    void swap(ConstSmartPtr& o) noexcept {
        std::swap(m_p, o.m_p);
        std::swap(m_rc, o.m_rc);
    }

private:
    template <class U>
    friend class ConstSmartPtr;

    const T* m_p = nullptr;
    detail::RefCount* m_rc = nullptr;
};

template <class T, class U>
bool operator==(const ConstSmartPtr<T>& a, const ConstSmartPtr<U>& b) noexcept { return a.get() == b.get(); }
template <class T, class U>
bool operator!=(const ConstSmartPtr<T>& a, const ConstSmartPtr<U>& b) noexcept { return a.get() != b.get(); }
template <class T, class U>
bool operator<(const ConstSmartPtr<T>& a, const ConstSmartPtr<U>& b) noexcept { return a.get() < b.get(); }

}  // namespace kttl
