// kttl::Logger: leveled logging through a bounded queue and a pump thread to a concrete output.
#pragma once

#include <cstdint>

#include "kttl_ElapsedTime.h"
#include "kttl_LogMessagePump.h"
#include "kttl_LogType.h"
#include "kttl_String.h"

namespace kttl {

// A log call formats the line (time, padded label, message) and queues it; the pump thread hands
// queued lines to output() one at a time, in order. While the thread is not running (before
// start(), after stop()) lines go to standard error instead and log() returns false.
//
// A concrete logger must stop the thread in its own destructor (FileLogger does): once its
// destructor has run, output() is gone while the thread could still be pumping.
// The printf-style log() treats its text as a format: pass texts that may hold '%' as a String.
class Logger : public LogMessagePump {
public:
    static constexpr uint32_t PUMP_TIMEOUT_MS = 60000;  // the queue is drained at least this often
    static constexpr size_t QUEUE_LINES = 100;
    static constexpr uint32_t FLUSH_TIMEOUT_MS = 1500;  // what the application waits before exit

    // Created stopped: the owner calls start(). An empty time format writes no time.
    explicit Logger(const String& timeFormat = String());
    ~Logger() override;

    // Pumps once more (when running) and ends the thread within `timeout` (0xFFFFFFFF ms or more:
    // unlimited).
    bool stop(const ElapsedTime& timeout) override;
    // Writes out queued lines until the queue is empty or output() refuses one.
    void pump() override;
    // [time + " "] label padded to 4 + " " + message.
    virtual String format(const LogType& type, const String& message);
    // Writes one line; false keeps the line queued and ends this pump round.
    virtual bool output(const LogType& type, const String& line) = 0;

    // A line end is added unless the message ends with one. True when queued for the thread.
    bool log(LogType type, const String& message);
    bool log(LogType type, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Makes the thread write out everything queued so far and waits up to `ms` for it. False
    // when the thread is not running or the time passed.
    bool flush(uint32_t ms = FLUSH_TIMEOUT_MS);

    static String getLogTypeStr(const LogType& type);
    const String& getTimeFormat() const { return m_timeFormat; }

private:
    String m_timeFormat;
};

}  // namespace kttl
