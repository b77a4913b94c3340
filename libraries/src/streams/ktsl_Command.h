// ktsl::Command: a request travelling to a remote service (type id 13, "ktsl_Command").
#pragma once

#include <cstdint>

#include "kttl_ElapsedTime.h"
#include "kttl_Integer.h"
#include "kttl_SmartPtr.h"
#include "kttl_String.h"
#include "kttl_UUID.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_StringMap.h"

namespace ktsl {

// Binary form: identifier (16 bytes), target URL (String), type, subtype (Integer each), the
// argument stream (u32 byte count and its records), the time-out (ElapsedTime). The audit flag and
// the attributes stay local. No XML form.
class Command : public Serializable {
public:
    // A fresh random identifier, an empty argument stream and a zero time-out.
    Command();
    Command(const kttl::String& url, int32_t type, int32_t subtype);
    Command(const Command& other);
    Command& operator=(const Command& other);
    ~Command() override;

    const kttl::UUID& getId() const { return m_id; }
    void setId(const kttl::UUID& id) { m_id = id; }
    const kttl::String& getUrl() const { return m_url; }
    void setUrl(const kttl::String& url) { m_url = url; }
    int32_t getType() const { return m_type.get(); }
    void setType(int32_t type) { m_type = type; }
    int32_t getSubType() const { return m_subtype.get(); }
    void setSubType(int32_t subtype) { m_subtype = subtype; }
    // The argument stream; may be set to null, which toBin() refuses.
    const kttl::SmartPtr<MemIOStream>& getArguments() const { return m_args; }
    void setArguments(const kttl::SmartPtr<MemIOStream>& args) { m_args = args; }
    // Appends one argument record (creating the stream when it is null).
    void addArgument(const Serializable& value);
    const kttl::ElapsedTime& getTimeout() const { return m_timeout; }
    void setTimeout(const kttl::ElapsedTime& timeout) { m_timeout = timeout; }
    bool getAudit() const { return m_audit; }
    void setAudit(bool audit) { m_audit = audit; }
    StringMap<kttl::String>& getAttributes() { return m_attributes; }
    const StringMap<kttl::String>& getAttributes() const { return m_attributes; }

    // Throws, in this order, "Invalid Command ID", "Invalid URL", "Invalid Command Type",
    // "Invalid Command SubType", "Object stream cannot be NULL.".
    void validate() const;
    // The binary form without validation (a result repeats whatever command it answers).
    unsigned writeBin(BinWriter& w) const;
    unsigned readBin(BinReader& r);

    using Serializable::toXML;
    unsigned short getTypeId() const override { return TypeId::Command; }
    kttl::String getTypeName() const override { return "ktsl_Command"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    // Validates first (see validate()).
    unsigned toBin(unsigned char* out) const override;
    // Untrusted input: every length is checked against the bytes present; unchanged on failure.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    kttl::UUID m_id;
    kttl::String m_url;
    kttl::Integer m_type;
    kttl::Integer m_subtype;
    kttl::SmartPtr<MemIOStream> m_args;
    kttl::ElapsedTime m_timeout;
    bool m_audit = false;
    StringMap<kttl::String> m_attributes;
};

}  // namespace ktsl
