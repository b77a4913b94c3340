// ktst::Vault / ktst::ConstVault: a value that threads reach only through counted, locked handles.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>

#include "kt_tick.h"
#include "kttl_Exception.h"
#include "ktst_Event.h"
#include "ktst_Mutex.h"
#include "ktst_Wait.h"

namespace ktst {

namespace detail {

// The guarded value and its bookkeeping. Vault and every handle hold it by shared pointer, so a
// handle that outlives its vault (a reported misuse) still points at live memory.
// Invariants: `readers` counts live read handles, `writeGrants` live write handles; every write
// handle owns one recursion level of `mutex`.
template <class T>
struct VaultState {
    T value;
    Mutex mutex;
    std::atomic<int> readers{0};
    std::atomic<int> writeGrants{0};
    Event readersGone{false, false};

    VaultState() : value() {}
    explicit VaultState(const T& v) : value(v) {}
    explicit VaultState(T&& v) : value(std::move(v)) {}
};

// Readable name of a type for messages ("int", "std::string").
std::string typeName(const std::type_info& type);
// Writes the destroyed-while-held message (the text a vault would have thrown) to standard error.
// A destructor cannot throw; the state block stays alive for the remaining handles.
void reportHeldVault(const char* file, int line, const char* className, const std::string& text);
std::string heldVaultText(const char* vaultKind, const std::string& type, int count);

}  // namespace detail

namespace detail {

// What releasing a handle gives back: a read grant drops the reader count and wakes a waiting
// writer; a write grant drops its count and the recursion level of the mutex it holds.
template <class T>
struct ReadGrant {
    using Value = const T;
    static constexpr const char* kClassName = "ktst::ConstVaultSafePointer";
    static void release(VaultState<T>& s) {
        s.readers.fetch_sub(1);
        s.readersGone.signal();
    }
};
template <class T>
struct WriteGrant {
    using Value = T;
    static constexpr const char* kClassName = "ktst::VaultSafePointer";
    static void release(VaultState<T>& s) {
        s.writeGrants.fetch_sub(1);
        s.mutex.unlock();
    }
};

// A move-only handle holding one grant, returned when the handle is destroyed or reset(). A null
// handle (failed grant) throws on dereference.
template <class T, class Grant>
class VaultHandle {
public:
    VaultHandle() = default;
    explicit VaultHandle(std::shared_ptr<VaultState<T>> state) : m_state(std::move(state)) {}
    VaultHandle(VaultHandle&& other) noexcept : m_state(std::move(other.m_state)) {}
    VaultHandle& operator=(VaultHandle&& other) noexcept {
        if (this != &other) {
            reset();
            m_state = std::move(other.m_state);
        }
        return *this;
    }
    VaultHandle(const VaultHandle&) = delete;
    VaultHandle& operator=(const VaultHandle&) = delete;
    ~VaultHandle() { reset(); }

    void reset() {
        if (!m_state) return;
        Grant::release(*m_state);
        m_state.reset();
    }
    bool isNull() const { return !m_state; }
    explicit operator bool() const { return m_state != nullptr; }

    typename Grant::Value& operator*() const {
        if (!m_state) KT_THROW(Grant::kClassName, "operator*() - Trying to dereference a NULL.");
        return m_state->value;
    }
    typename Grant::Value* operator->() const {
        if (!m_state) KT_THROW(Grant::kClassName, "operator->() - Trying to dereference a NULL.");
        return &m_state->value;
    }

private:
    std::shared_ptr<VaultState<T>> m_state;
};

}  // namespace detail

// Read access: any number may exist at once; a writer waits until they are gone.
template <class T>
class ConstVaultSafePointer : public detail::VaultHandle<T, detail::ReadGrant<T>> {
public:
    using detail::VaultHandle<T, detail::ReadGrant<T>>::VaultHandle;
};

// Write access: exclusive, holds the vault's recursive mutex until released. Must be released on
// the thread that obtained it (the mutex refuses unlocking by another thread).
template <class T>
class VaultSafePointer : public detail::VaultHandle<T, detail::WriteGrant<T>> {
public:
    using detail::VaultHandle<T, detail::WriteGrant<T>>::VaultHandle;
};

// Shared grant logic of both vault kinds.
template <class T>
class VaultBase {
public:
    VaultBase(const VaultBase&) = delete;
    VaultBase& operator=(const VaultBase&) = delete;

    // Read grant: counted under the mutex (so a waiting writer holds new readers off), then the
    // mutex is released again. Null when the mutex is not obtained within `ms`.
    ConstVaultSafePointer<T> getReadPtr(uint32_t ms) const {
        if (!m_state->mutex.lock(ms)) return ConstVaultSafePointer<T>();
        m_state->readers.fetch_add(1);
        m_state->mutex.unlock();
        return ConstVaultSafePointer<T>(m_state);
    }

    // Live read plus write grants.
    int outstanding() const { return m_state->readers.load() + m_state->writeGrants.load(); }

protected:
    VaultBase() : m_state(std::make_shared<detail::VaultState<T>>()) {}
    explicit VaultBase(const T& v) : m_state(std::make_shared<detail::VaultState<T>>(v)) {}
    explicit VaultBase(T&& v) : m_state(std::make_shared<detail::VaultState<T>>(std::move(v))) {}
    ~VaultBase() = default;

    void reportIfHeld(const char* kind, const char* className, int line) const {
        const int count = outstanding();
        if (count != 0)
            detail::reportHeldVault(__FILE__, line, className,
                                    detail::heldVaultText(kind, detail::typeName(typeid(T)), count));
    }

    std::shared_ptr<detail::VaultState<T>> m_state;
};

// A value with shared read and exclusive write access. Writers wait (bounded) for readers to go.
template <class T>
class Vault : public VaultBase<T> {
public:
    Vault() = default;
    explicit Vault(const T& value) : VaultBase<T>(value) {}
    explicit Vault(T&& value) : VaultBase<T>(std::move(value)) {}
    // Grants still held are reported on standard error; the value lives on until the last handle
    // is released, so the handles stay valid.
    ~Vault() { this->reportIfHeld("Vault", "ktst::Vault", __LINE__); }

    // Write grant within `ms`: the mutex is taken, then readers are waited out within what is left.
    // Null (mutex released again) when either does not happen in time. The same thread may hold
    // several write grants at once (the mutex is recursive).
    VaultSafePointer<T> getWritePtr(uint32_t ms) {
        auto& state = this->m_state;
        const uint32_t start = kt_tickcount();
        if (!state->mutex.lock(ms)) return VaultSafePointer<T>();
        while (state->readers.load() > 0) {
            const uint32_t left = remainingMs(start, ms);
            if (left == 0 || !state->readersGone.wait(left)) break;
        }
        if (state->readers.load() > 0) {
            state->mutex.unlock();
            return VaultSafePointer<T>();
        }
        state->writeGrants.fetch_add(1);
        return VaultSafePointer<T>(state);
    }
};

// A value that is only read once constructed.
template <class T>
class ConstVault : public VaultBase<T> {
public:
    ConstVault() = default;
    explicit ConstVault(const T& value) : VaultBase<T>(value) {}
    explicit ConstVault(T&& value) : VaultBase<T>(std::move(value)) {}
    ~ConstVault() { this->reportIfHeld("ConstVault", "ktst::ConstVault", __LINE__); }
};

}  // namespace ktst
