// kttl::LogMessagePump: the message pump of log lines; it pumps on every push and on time-out.
#pragma once

#include "kttl_LogMsgQueue.h"
#include "kttl_MessagePump.h"

namespace kttl {

class LogMessagePump : public MessagePump<LogMsgQueue> {
public:
    LogMessagePump(uint32_t timeoutMs, size_t capacity) : MessagePump<LogMsgQueue>(timeoutMs, capacity) {}

    void onNewEvent() override { pump(); }
    // The wait time-out drains the queue too, so a lost wake-up delays lines by one time-out at most.
    void onTimeOut() override { pump(); }
    void pump() override = 0;
};

}  // namespace kttl
