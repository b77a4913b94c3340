// kttl::Integer: a 32-bit signed integer as a serializable value (id 504, "Integer").
#pragma once

#include <cstdint>

#include "ktsl_Serializable.h"

namespace kttl {

// Converts to and from int implicitly, so it compares, orders (map key) and computes like an int.
// Binary form: the 4 bytes of the value, little-endian. XML form: <tag>decimal</tag>.
class Integer : public ktsl::Serializable {
public:
    Integer(int32_t value = 0) : m_value(value) {}
    ~Integer() override;

    operator int32_t() const { return m_value; }
    int32_t get() const { return m_value; }
    void set(int32_t value) { m_value = value; }
    Integer& operator=(int32_t value) { m_value = value; return *this; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Integer; }
    String getTypeName() const override;
    String toXML(const char* tag) const override;
    // Accepts a decimal 32-bit value with optional blanks around it; anything else is refused.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 4; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    int32_t m_value;
};

}  // namespace kttl
