// kttl::MessagePump: a worker thread that owns a message queue and is woken by every push.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "kttl_LogType.h"
#include "kttl_String.h"
#include "ktst_WorkerThread.h"

namespace kttl {

// Q provides push(level, text), peek(), pop(), pop(expected) and value_type. Producers on any
// thread push; the worker drains the queue in pump() (request 0).
template <class Q>
class MessagePump : public ktst::WorkerThread {
public:
    using Message = typename Q::value_type;

    MessagePump(uint32_t timeoutMs, size_t capacity) : ktst::WorkerThread(timeoutMs), m_queue(capacity) {}

    // Queues the message and wakes the worker without waiting for it. False when the queue's
    // mutex was not obtained (the message is dropped).
    bool push(const std::pair<LogType, String>& message) {
        const bool stored = m_queue.push(message.first, message.second);
        postEvent(0);
        return stored;
    }

    // Writes out queued messages.
    virtual void pump() = 0;
    virtual Message peek() { return m_queue.peek(); }
    virtual bool pop(const Message& expected) { return m_queue.pop(expected); }
    virtual Message pop() { return m_queue.pop(); }

    Q& queue() { return m_queue; }

protected:
    Q m_queue;
};

}  // namespace kttl
