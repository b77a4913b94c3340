// SignalRelay: carries stop and configuration-change signals from the handler to the frame loop.
//
// A signal handler may interrupt a thread that holds any lock, so it takes none: it only sets
// lock-free flags and writes one byte to a non-blocking pipe. The frame loop turns the flags into its
// events once per pass, and its waits watch the pipe, so they end early whichever thread the signal
// was delivered to.
#pragma once

#include <cstdint>

namespace SignalRelay {

// Creates the pipe (once per process). False when it cannot be made; the flags still work then.
bool open();

// Async-signal-safe: records a request and wakes a waiter.
void notifyStop();
void notifyConfig();

// Takes (and clears) a pending request: true when one arrived since the last take.
bool takeStop();
bool takeConfig();

// Waits up to `ms` milliseconds; returns early (true) when a signal arrived meanwhile. Requests stay
// pending for the take functions.
bool sleepMs(uint32_t ms);

}  // namespace SignalRelay
