// kttl::UUID: a 16-byte identifier as a serializable value (id 507, "UUID").
#pragma once

#include <cstdint>
#include <cstring>

#include "ktsl_Serializable.h"

namespace kttl {

// Binary form: the 16 bytes. Text form: 8-4-4-4-12 lower-case hex digits. The default value is
// the all-zero (nil) identifier, which isValid() rejects.
class UUID : public ktsl::Serializable {
public:
    UUID() { std::memset(m_bytes, 0, sizeof m_bytes); }
    explicit UUID(const unsigned char bytes[16]) { std::memcpy(m_bytes, bytes, sizeof m_bytes); }
    ~UUID() override;

    // A new random identifier (libuuid uuid_generate).
    static UUID generate();
    // A new time-based identifier (libuuid uuid_generate_time).
    static UUID generateTime();

    const unsigned char* bytes() const { return m_bytes; }
    bool isValid() const;
    void clear() { std::memset(m_bytes, 0, sizeof m_bytes); }

    // "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x".
    String toString() const;
    // Reads exactly 36 characters of the text form (hex digits of either case, dashes at
    // positions 8, 13, 18 and 23), with blanks allowed around them. Anything else, a non-hex
    // character anywhere included, fails and leaves the value unchanged.
    bool fromString(const char* text);

    bool operator==(const UUID& o) const { return std::memcmp(m_bytes, o.m_bytes, 16) == 0; }
    bool operator!=(const UUID& o) const { return !(*this == o); }
    bool operator<(const UUID& o) const { return std::memcmp(m_bytes, o.m_bytes, 16) < 0; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::UUID; }
    String getTypeName() const override;
    String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 16; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    unsigned char m_bytes[16];
};

}  // namespace kttl
