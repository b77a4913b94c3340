// kttl::LogType: the signed log levels and their printed labels.
#pragma once

#include <cstdint>

namespace kttl {

// Any other value is a valid LogType too; it prints with an empty label.
enum LogType : int32_t {
    CRIT = -2,  // critical
    ERR = -1,   // errors
    WARN = 0,   // warnings
    STAT = 1,   // status changes
    INFO = 2,   // information
};

// "CRIT", "ERR", "WARN", "STAT", "INFO"; "" for other values.
inline const char* logTypeLabel(LogType type) {
    switch (type) {
        case CRIT: return "CRIT";
        case ERR: return "ERR";
        case WARN: return "WARN";
        case STAT: return "STAT";
        case INFO: return "INFO";
    }
    return "";
}

}  // namespace kttl
