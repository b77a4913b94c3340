// The logger: line formatting, queueing, pumping and the final flush on stop.
#include "kttl_Logger.h"

#include <cstdarg>
#include <cstdio>

#include "kt_tick.h"
#include "kttl_TimeStamp.h"
#include "ktst_Wait.h"

namespace kttl {

Logger::Logger(const String& timeFormat)
    : LogMessagePump(PUMP_TIMEOUT_MS, QUEUE_LINES), m_timeFormat(timeFormat) {}

Logger::~Logger() = default;

String Logger::getLogTypeStr(const LogType& type) { return logTypeLabel(type); }

String Logger::format(const LogType& type, const String& message) {
    String line;
    if (!m_timeFormat.empty()) {
        line = TimeStamp::systemTime().toString(m_timeFormat.c_str());
        line += ' ';
    }
    line.appendFormat("%-4s ", logTypeLabel(type));
    line += message;
    return line;
}

bool Logger::log(LogType type, const String& message) {
    if (isRunning() && !isStopping()) {
        String text = message;
        if (text.empty() || text.back() != '\n') text += '\n';
        push(std::make_pair(type, format(type, text)));
        return true;
    }
    const String line = format(type, message);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return false;
}

bool Logger::log(LogType type, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const String message = String::vformat(fmt, args);
    va_end(args);
    return log(type, message);
}

bool Logger::flush(uint32_t ms) {
    if (!isRunning() || isStopping()) return false;
    return setEvent(0, ms, nullptr);
}

void Logger::pump() {
    for (;;) {
        const LogMsgPtr line = peek();
        if (line.empty()) return;
        // The queue is not held while writing, so producers are never delayed by the output.
        if (!output(line.type, line.text)) return;
        pop(line);
    }
}

bool Logger::stop(const ElapsedTime& timeout) {
    const uint32_t ms = ktst::toWaitMs(timeout);
    const uint32_t start = kt_tickcount();
    if (isRunning() && !isStopping()) setEvent(0, ms, nullptr);
    return LogMessagePump::stop(ktst::fromWaitMs(ktst::remainingMs(start, ms)));
}

}  // namespace kttl
