// ktst::Event: a signalled/unsignalled flag threads wait on, auto- or manual-reset.
#pragma once

#include <cstdint>
#include <memory>

#include "ktst_WaitObject.h"

namespace ktst {

// Copies share one event (the state block is reference-counted), so an event can be handed to
// another thread or object and signalled from either side. A moved-from event has no state block;
// every operation on it returns false.
class Event : public WaitObject {
public:
    // An auto-reset event lets exactly one successful wait through per signal; a manual-reset event
    // stays signalled for every waiter until reset().
    explicit Event(bool manualReset = false, bool initiallySignalled = false);
    Event(const Event&) = default;
    Event& operator=(const Event&) = default;
    Event(Event&&) noexcept = default;
    Event& operator=(Event&&) noexcept = default;
    ~Event() override = default;

    // Sets the flag and wakes one waiter (auto-reset) or all waiters (manual-reset).
    bool signal();
    // Clears the flag.
    bool reset();
    // True when the flag was set or became set within `ms` (0: test only, WAIT_INFINITE: no limit).
    // An auto-reset event found set is cleared by the successful wait.
    bool wait(uint32_t ms) override;

    // The flag as it stands, without consuming an auto-reset signal; false without a state block.
    bool isSignalled() const;
    bool isManualReset() const;
    bool valid() const { return m_state != nullptr; }
    // Whether two events share one state block.
    bool sameAs(const Event& other) const { return m_state && m_state == other.m_state; }

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace ktst
