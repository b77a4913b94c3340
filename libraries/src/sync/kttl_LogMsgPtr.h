// kttl::LogMsgPtr: one queued log line as a fixed-size record.
#pragma once

#include <cstddef>
#include <cstring>

#include "kttl_LogType.h"

namespace kttl {

// Fixed size so a ring of them allocates nothing per line. An empty text stands for "no message".
struct LogMsgPtr {
    static constexpr size_t TEXT_SIZE = 1024;

    LogType type = ERR;
    char text[TEXT_SIZE] = {0};

    LogMsgPtr() = default;
    // A text longer than TEXT_SIZE - 1 characters keeps its first TEXT_SIZE - 1, the last three of
    // which become "...". A null text is empty.
    LogMsgPtr(LogType level, const char* message, size_t length) : type(level) { setText(message, length); }
    LogMsgPtr(LogType level, const char* message)
        : LogMsgPtr(level, message, message ? std::strlen(message) : 0) {}

    void setText(const char* message, size_t length) {
        if (!message) length = 0;
        if (length > TEXT_SIZE - 1) {
            std::memcpy(text, message, TEXT_SIZE - 4);
            std::memcpy(text + TEXT_SIZE - 4, "...", 3);
            length = TEXT_SIZE - 1;
        } else if (length > 0) {
            std::memcpy(text, message, length);
        }
        text[length] = '\0';
    }
    bool empty() const { return text[0] == '\0'; }

    bool operator==(const LogMsgPtr& o) const { return type == o.type && std::strcmp(text, o.text) == 0; }
    bool operator!=(const LogMsgPtr& o) const { return !(*this == o); }
};

}  // namespace kttl
