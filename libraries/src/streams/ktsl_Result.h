// ktsl::Result: the answer to a command (type id 12, "ktsl_Result").
#pragma once

#include <cstdint>
#include <functional>

#include "ktsl_Command.h"
#include "ktsl_IOStream.h"
#include "ktsl_MemIOStream.h"

namespace ktsl {

// Binary form: the command answered (its binary form, not validated), the code (Integer), the
// message (String) and the returned values (an object stream). No XML form.
class Result : public Serializable {
public:
    enum Code : int32_t {
        kSuccess = 0,
        kWarning = 1,
        kAsynchronous = 2,
        kFailure = -1,
        kTimeout = -2,
        kUnknown = -3,
        kUnsupported = -4,
        kNotAuthorized = -5,
        kCanceled = -6,
    };

    Result() = default;
    Result(const Command& command, int32_t code, const kttl::String& message = kttl::String());

    // "Success", "Warning", "Asynchronous", "Failure", "Timeout", "Unknown", "Unsupported",
    // "Not Authorized", "Canceled"; any other code gives the empty string.
    static kttl::String codeToString(int32_t code);

    // Reads records from `stream` for up to `timeoutMs` until the result of `command` (same
    // identifier) arrives and fills `result`; true then. Records of other types are handed to
    // `other` when given (it must consume the record: read or skip it), else skipped; results of
    // other commands are skipped. False on time-out or when the stream fails or ends.
    static bool waitForResult(IOStream& stream, uint32_t timeoutMs, const Command& command, Result& result,
                              const std::function<void(IOStream&, unsigned short)>& other = nullptr);

    const Command& getCommand() const { return m_command; }
    void setCommand(const Command& command) { m_command = command; }
    int32_t getCode() const { return m_code.get(); }
    void setCode(int32_t code) { m_code = code; }
    const kttl::String& getMessage() const { return m_message; }
    void setMessage(const kttl::String& message) { m_message = message; }
    MemIOStream& getObjects() { return m_objects; }
    const MemIOStream& getObjects() const { return m_objects; }

    using Serializable::toXML;
    unsigned short getTypeId() const override { return TypeId::Result; }
    kttl::String getTypeName() const override { return "ktsl_Result"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Untrusted input; unchanged on failure.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    Command m_command;
    kttl::Integer m_code;
    kttl::String m_message;
    MemIOStream m_objects;
};

}  // namespace ktsl
