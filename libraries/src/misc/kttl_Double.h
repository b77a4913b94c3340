// kttl::Double: a double as a serializable value (id 505, "Double").
#pragma once

#include "ktsl_Serializable.h"

namespace kttl {

// Converts to and from double implicitly. Binary form: the 8 bytes of the IEEE value,
// little-endian. XML form: <tag>value</tag> with six significant digits ("%g", the default
// notation of a C++ stream), or with a fixed number of decimals through toXML(tag, precision).
class Double : public ktsl::Serializable {
public:
    Double(double value = 0.0) : m_value(value) {}
    ~Double() override;

    operator double() const { return m_value; }
    double get() const { return m_value; }
    void set(double value) { m_value = value; }
    Double& operator=(double value) { m_value = value; return *this; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Double; }
    String getTypeName() const override;
    String toXML(const char* tag) const override;
    // "<tag>%.<precision>f</tag>"; a negative precision counts as 0, a null tag gives "".
    String toXML(const char* tag, int precision) const;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 8; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    double m_value;
};

}  // namespace kttl
