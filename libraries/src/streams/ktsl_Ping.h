// ktsl::Ping: a viewer's connection test (type id 35, "ktsl_Ping").
#pragma once

#include "kttl_Attributes.h"
#include "kttl_Integer.h"
#include "kttl_TimeStamp.h"
#include "ktsl_Serializable.h"

namespace ktsl {

// Binary form: time stamp, version (Integer), attributes (string map form). No XML form.
class Ping : public Serializable, public kttl::Attributes {
public:
    Ping();  // stamped with the current system time, version 0

    const kttl::TimeStamp& getTimeStamp() const { return m_timestamp; }
    void setTimeStamp(const kttl::TimeStamp& t) { m_timestamp = t; }
    int32_t getVersion() const { return m_version.get(); }
    void setVersion(int32_t v) { m_version = v; }

    using Serializable::toXML;
    unsigned short getTypeId() const override { return TypeId::Ping; }
    kttl::String getTypeName() const override { return "ktsl_Ping"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Untrusted input; unchanged on failure.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    kttl::TimeStamp m_timestamp;
    kttl::Integer m_version;
};

}  // namespace ktsl
