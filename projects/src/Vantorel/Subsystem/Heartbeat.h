// Heartbeat: the periodic state report and greeting sent to remote viewers (type id 11).
#pragma once

#include <cstdint>

#include "kttl_Attributes.h"
#include "kttl_Integer.h"
#include "kttl_TimeStamp.h"
#include "ktsl_Serializable.h"

// Binary form: the attributes (string map form), the time stamp, the version (Integer). No XML form.
class Heartbeat : public ktsl::Serializable, public kttl::Attributes {
public:
    // The software version 6.0.1.0, one byte per part from the most significant: 0x06000100.
    static constexpr int32_t kVersion = (6 << 24) | (0 << 16) | (1 << 8) | 0;

    // Stamped with the current system time, carrying kVersion, no attributes.
    Heartbeat();

    const kttl::TimeStamp& getTimeStamp() const { return m_timestamp; }
    void setTimeStamp(const kttl::TimeStamp& t) { m_timestamp = t; }
    int32_t getVersion() const { return m_version.get(); }
    void setVersion(int32_t v) { m_version = v; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Heartbeat; }
    kttl::String getTypeName() const override { return "Heartbeat"; }
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
