// ktsl::Result: result codes, the binary form, and waiting for the answer to a command.
#include "ktsl_Result.h"

#include <chrono>

#include "kttl_Exception.h"

namespace ktsl {

Result::Result(const Command& command, int32_t code, const kttl::String& message)
    : m_command(command), m_code(code), m_message(message) {}

kttl::String Result::codeToString(int32_t code) {
    switch (code) {
        case kSuccess: return "Success";
        case kWarning: return "Warning";
        case kAsynchronous: return "Asynchronous";
        case kFailure: return "Failure";
        case kTimeout: return "Timeout";
        case kUnknown: return "Unknown";
        case kUnsupported: return "Unsupported";
        case kNotAuthorized: return "Not Authorized";
        case kCanceled: return "Canceled";
        default: return "";
    }
}

unsigned Result::getBinLength() const {
    return m_command.getBinLength() + m_code.getBinLength() + m_message.getBinLength() + m_objects.getBinLength();
}

unsigned Result::toBin(unsigned char* out) const {
    BinWriter w(out);
    m_command.writeBin(w);
    w.value(m_code);
    w.value(m_message);
    w.value(m_objects);
    return w.written();
}

unsigned Result::fromBin(const unsigned char* in, unsigned length) {
    BinReader r(in, length);
    Command command;
    kttl::Integer code;
    kttl::String message;
    MemIOStream objects;
    command.readBin(r);
    r.value(code);
    r.value(message);
    r.value(objects);
    m_command = command;
    m_code = code;
    m_message.swap(message);
    m_objects = std::move(objects);
    return r.consumed();
}

bool Result::waitForResult(IOStream& stream, uint32_t timeoutMs, const Command& command, Result& result,
                           const std::function<void(IOStream&, unsigned short)>& other) {
    // Real time, not the replaceable tick: the wait must end even under a stepped clock.
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const uint32_t spent = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (spent >= timeoutMs || !stream.waitForRecord(timeoutMs - spent)) return false;
        const unsigned short type = stream.getNextType();
        if (type == TypeId::EndOfFile) return false;
        if (type == TypeId::Result) {
            Result candidate;
            stream.read(candidate);
            if (candidate.getCommand().getId() == command.getId()) {
                result = candidate;
                return true;
            }
        } else if (other) {
            other(stream, type);
        } else {
            stream.skip();
        }
    }
}

kttl::String Result::toXML(const char*) const { KT_THROW("ktsl::Result", "toXML() - Not implemented"); }

bool Result::fromXML(const char*) { KT_THROW("ktsl::Result", "fromXML() - Not implemented"); }

}  // namespace ktsl
