// ktsl::BinWriter: little-endian writing of binary forms into a caller-sized buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ktsl_Serializable.h"

namespace ktsl {

// The caller sizes `out` from getBinLength(); the writer does not check bounds, it only counts.
class BinWriter {
public:
    explicit BinWriter(unsigned char* out) : m_out(out) {}

    unsigned written() const { return m_pos; }
    unsigned char* current() { return m_out + m_pos; }

    void bytes(const void* p, unsigned n) {
        if (n) std::memcpy(m_out + m_pos, p, n);
        m_pos += n;
    }
    void u8(uint8_t v) { m_out[m_pos++] = v; }
    void u16(uint16_t v) { le(v, 2); }
    void u32(uint32_t v) { le(v, 4); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void u64(uint64_t v) { le(v, 8); }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    // Appends value's binary form; returns the bytes written.
    unsigned value(const Serializable& value) {
        unsigned n = value.toBin(current());
        m_pos += n;
        return n;
    }
    // One fixed-size field, chosen by its type.
    void put(int32_t v) { i32(v); }
    void put(int64_t v) { i64(v); }
    void put(double v) { f64(v); }
    template <size_t N>
    void put(const unsigned char (&raw)[N]) { bytes(raw, N); }

private:
    void le(uint64_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) m_out[m_pos++] = static_cast<unsigned char>(v >> (8 * i));
    }

    unsigned char* m_out;
    unsigned m_pos = 0;
};

// The whole binary form of a value that is one fixed-size field; returns the bytes written.
template <class T>
unsigned writeFixed(unsigned char* out, const T& v) {
    BinWriter w(out);
    w.put(v);
    return w.written();
}

}  // namespace ktsl
