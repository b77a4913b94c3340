// kttl::LogMsgQueue: the logger's bounded line queue, shared by producers and the pump thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kttl_CircularQueue.h"
#include "kttl_LogMsgPtr.h"
#include "kttl_String.h"
#include "ktst_Mutex.h"

namespace kttl {

// A preallocated ring of fixed-size lines under one recursive mutex. Every operation waits at
// most LOCK_TIMEOUT_MS for the mutex. When full, a new line drops the oldest.
class LogMsgQueue {
public:
    using value_type = LogMsgPtr;
    static constexpr uint32_t LOCK_TIMEOUT_MS = 15000;

    explicit LogMsgQueue(size_t capacity = 100);

    // Stores the line (truncated to a record); false when the mutex was not obtained (line dropped).
    bool push(LogType type, const String& text);
    // A copy of the oldest line; the empty record when there is none or the mutex was not obtained.
    LogMsgPtr peek();
    // As peek(), and the line is removed.
    LogMsgPtr pop();
    // Removes the oldest line only when it equals `expected` (an overflow may have dropped it
    // meanwhile). False only when the mutex was not obtained.
    bool pop(const LogMsgPtr& expected);

    size_t size();
    size_t capacity() const { return m_ring.capacity(); }

private:
    ktst::Mutex m_mutex;
    CircularQueue<LogMsgPtr> m_ring;
};

}  // namespace kttl
