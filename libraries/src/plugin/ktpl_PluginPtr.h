// ktpl::PluginPtr: a shared handle of a plug-in, releasing it and closing its library with the last handle.
#pragma once

#include <dlfcn.h>

#include <atomic>
#include <new>
#include <utility>

#include "kttl_Exception.h"
#include "ktpl_Plugin.h"

namespace ktpl {

// Holds the plug-in pointer, a shared reference counter (updated atomically, so handles may be
// copied and dropped on any thread) and the dlopen handle of the library the plug-in came from
// (null for built-in plug-ins). When the last handle lets go, the counter is freed, release() is
// called on the plug-in and then the library is closed: the plug-in's code must outlive release().
// One handle object is not itself safe to assign from two threads at once.
template <class T>
class PluginPtr {
public:
    PluginPtr() noexcept = default;
    // Takes ownership of `plugin` and of `library`. A null plugin gives an empty handle (the library
    // is then closed at once). When the counter cannot be allocated the plug-in is released, the
    // library closed, and std::bad_alloc thrown.
    explicit PluginPtr(T* plugin, void* library = nullptr) {
        if (plugin == nullptr) {
            if (library != nullptr) dlclose(library);
            return;
        }
        m_count = new (std::nothrow) std::atomic<unsigned long>(1);
        if (m_count == nullptr) {
            plugin->release();
            if (library != nullptr) dlclose(library);
            throw std::bad_alloc();
        }
        m_ptr = plugin;
        m_library = library;
    }
    PluginPtr(const PluginPtr& other) noexcept : m_ptr(other.m_ptr), m_count(other.m_count), m_library(other.m_library) {
        if (m_count != nullptr) m_count->fetch_add(1, std::memory_order_relaxed);
    }
    PluginPtr(PluginPtr&& other) noexcept
        : m_ptr(std::exchange(other.m_ptr, nullptr)),
          m_count(std::exchange(other.m_count, nullptr)),
          m_library(std::exchange(other.m_library, nullptr)) {}
    PluginPtr& operator=(PluginPtr other) noexcept {
        swap(other);
        return *this;
    }
    ~PluginPtr() { reset(); }

    // Lets go of this handle's share; the last share releases the plug-in and closes its library.
    void reset() noexcept {
        T* ptr = std::exchange(m_ptr, nullptr);
        std::atomic<unsigned long>* count = std::exchange(m_count, nullptr);
        void* library = std::exchange(m_library, nullptr);
        if (count == nullptr || count->fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        delete count;
        ptr->release();
        if (library != nullptr) dlclose(library);
    }
    void swap(PluginPtr& other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        std::swap(m_count, other.m_count);
        std::swap(m_library, other.m_library);
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const {
        if (m_ptr == nullptr) KT_THROW("ktpl::PluginPtr", "operator->() - pointer is NULL!");
        return m_ptr;
    }
    T& operator*() const {
        if (m_ptr == nullptr) KT_THROW("ktpl::PluginPtr", "operator*() - pointer is NULL!");
        return *m_ptr;
    }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    bool operator==(const PluginPtr& other) const noexcept { return m_ptr == other.m_ptr; }
    bool operator!=(const PluginPtr& other) const noexcept { return m_ptr != other.m_ptr; }
    // Handles sharing this plug-in (0 for an empty handle); a snapshot when other threads copy.
    unsigned long useCount() const noexcept { return m_count ? m_count->load(std::memory_order_relaxed) : 0; }
    void* library() const noexcept { return m_library; }

    // The plug-in's own interface query. Throws on an empty handle.
    bool supports(const char* iid, Plugin** out) const {
        if (m_ptr == nullptr) KT_THROW("ktpl::PluginPtr", "supports() - pointer is NULL!");
        return m_ptr->supports(iid, out);
    }
    // A handle of interface U sharing this plug-in (and its count and library), or an empty handle
    // when the plug-in does not support `iid`. Throws on an empty handle.
    template <class U>
    PluginPtr<U> query(const char* iid) const {
        Plugin* part = nullptr;
        if (!supports(iid, &part) || part == nullptr) return PluginPtr<U>();
        m_count->fetch_add(1, std::memory_order_relaxed);
        return PluginPtr<U>(static_cast<U*>(part), m_count, m_library);
    }

private:
    template <class U>
    friend class PluginPtr;
    // Adopts one share already counted by the caller.
    PluginPtr(T* ptr, std::atomic<unsigned long>* count, void* library) noexcept
        : m_ptr(ptr), m_count(count), m_library(library) {}

    T* m_ptr = nullptr;
    std::atomic<unsigned long>* m_count = nullptr;
    void* m_library = nullptr;
};

}  // namespace ktpl
