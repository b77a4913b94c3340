// kttl::SmartPtr<T>: a shared, reference-counted owning pointer with an atomic count.
#pragma once

#include <cstddef>
#include <utility>

#include "kttl_Exception.h"
#include "kttl_RefCount.h"

namespace kttl {

template <class T>
class ConstSmartPtr;

// Copies share the object; the last copy deletes it. Copying and destroying distinct SmartPtr
// objects that share one object is safe from any threads; one SmartPtr object itself must not be
// assigned from one thread while another reads it. Dereferencing an empty pointer throws.
template <class T>
class SmartPtr {
public:
    SmartPtr() noexcept = default;
    SmartPtr(std::nullptr_t) noexcept {}
    // Takes ownership of `p` (may be null), deleting it as a U.
    template <class U>
    explicit SmartPtr(U* p) : m_p(p) {
        if (p) m_rc = detail::makeBlock<detail::RefCountObject<U>>(p, [](U* q) { delete q; });
    }
    SmartPtr(const SmartPtr& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { if (m_rc) m_rc->acquire(); }
    SmartPtr(SmartPtr&& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { o.m_p = nullptr; o.m_rc = nullptr; }
    template <class U>
    SmartPtr(const SmartPtr<U>& o) noexcept : m_p(o.m_p), m_rc(o.m_rc) { if (m_rc) m_rc->acquire(); }
    ~SmartPtr() { if (m_rc) m_rc->release(); }

    SmartPtr& operator=(SmartPtr o) noexcept { swap(o); return *this; }

    T* operator->() const {
        if (!m_p) KT_THROW("kttl::SmartPtr", "operator->() - pointer is NULL!");
        return m_p;
    }
    T& operator*() const {
        if (!m_p) KT_THROW("kttl::SmartPtr", "operator*() - pointer is NULL!");
        return *m_p;
    }
    T* get() const noexcept { return m_p; }
    bool isNull() const noexcept { return m_p == nullptr; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    // Number of SmartPtr/ConstSmartPtr sharing the object; 0 when empty.
    long getRefCount() const noexcept { return m_rc ? m_rc->count() : 0; }

    void reset() noexcept { SmartPtr().swap(*this); }
    template <class U>
    void reset(U* p) { SmartPtr(p).swap(*this); }
    void swap(SmartPtr& o) noexcept {
        std::swap(m_p, o.m_p);
        std::swap(m_rc, o.m_rc);
    }

    // A pointer sharing ownership when the object is a U, empty otherwise.
    template <class U>
    SmartPtr<U> dynamicCast() const noexcept {
        SmartPtr<U> r;
        if (U* q = dynamic_cast<U*>(m_p)) {
            r.m_p = q;
            r.m_rc = m_rc;
            m_rc->acquire();
        }
        return r;
    }

private:
    template <class U>
    friend class SmartPtr;
    template <class U>
    friend class ConstSmartPtr;

    T* m_p = nullptr;
    detail::RefCount* m_rc = nullptr;
};

template <class T, class U>
bool operator==(const SmartPtr<T>& a, const SmartPtr<U>& b) noexcept { return a.get() == b.get(); }
template <class T, class U>
bool operator!=(const SmartPtr<T>& a, const SmartPtr<U>& b) noexcept { return a.get() != b.get(); }
template <class T, class U>
bool operator<(const SmartPtr<T>& a, const SmartPtr<U>& b) noexcept { return a.get() < b.get(); }
template <class T>
bool operator==(const SmartPtr<T>& a, std::nullptr_t) noexcept { return a.isNull(); }
template <class T>
bool operator!=(const SmartPtr<T>& a, std::nullptr_t) noexcept { return !a.isNull(); }

}  // namespace kttl
