// LogInterface: the mix-in of classes that log through an optional logger.
#pragma once

#include "kttl_Logger.h"
#include "kttl_LogType.h"
#include "kttl_String.h"

// Holds a logger pointer (null by default); logging without a logger does nothing. The logger is
// not owned and must outlive its use here.
class LogInterface {
public:
    virtual void setLogger(kttl::Logger* logger) { m_logger = logger; }
    // Hands a copy of the message to the logger; false without a logger or when the logger wrote
    // it to standard error.
    virtual bool log(kttl::LogType type, const kttl::String& message) {
        return m_logger ? m_logger->log(type, kttl::String(message)) : false;
    }
    virtual ~LogInterface() = default;
    kttl::Logger* getLogger() const { return m_logger; }

protected:
    LogInterface() = default;
    LogInterface(const LogInterface&) = default;
    LogInterface& operator=(const LogInterface&) = default;

    kttl::Logger* m_logger = nullptr;
};
