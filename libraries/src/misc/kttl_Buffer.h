// kttl::Buffer: an owned run of bytes as a serializable value (id 506, "Buffer").
#pragma once

#include <vector>

#include "ktsl_Serializable.h"

namespace kttl {

// Binary form: u32 byte count n, then the n bytes. XML form: <tag>lower-case hex</tag>, <tag/>
// when empty.
class Buffer : public ktsl::Serializable {
public:
    Buffer() = default;
    Buffer(const void* data, unsigned size);
    ~Buffer() override;

    const unsigned char* data() const { return m_bytes.data(); }
    unsigned char* data() { return m_bytes.data(); }
    unsigned size() const { return static_cast<unsigned>(m_bytes.size()); }
    bool empty() const { return m_bytes.empty(); }
    void assign(const void* data, unsigned size);
    void resize(unsigned size) { m_bytes.resize(size); }
    void clear() { m_bytes.clear(); }
    bool operator==(const Buffer& o) const { return m_bytes == o.m_bytes; }
    bool operator!=(const Buffer& o) const { return m_bytes != o.m_bytes; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Buffer; }
    String getTypeName() const override;
    String toXML(const char* tag) const override;
    // Reads an even number of hex digits (blanks around allowed).
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    std::vector<unsigned char> m_bytes;
};

}  // namespace kttl
