// ktsl::BinReader: bounds-checked little-endian reading of untrusted binary forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ktsl_Serializable.h"

namespace ktsl {

// A cursor over `length` bytes. Every read checks the remaining count first (compared as
// `n > remaining`, so nothing can wrap on a 32-bit size_t) and throws the plain fromBin failure
// when the input is short; nothing is read past the end. A null `in` counts as empty input.
class BinReader {
public:
    BinReader(const unsigned char* in, unsigned length) : m_in(in), m_len(in ? length : 0) {}

    unsigned remaining() const { return m_len - m_pos; }
    unsigned consumed() const { return m_pos; }
    const unsigned char* current() const { return m_in + m_pos; }

    // Throws unless at least n bytes remain.
    void need(unsigned n) const {
        if (n > remaining()) Serializable::fromBinFailed();
    }
    // Returns the next n bytes and steps over them.
    const unsigned char* bytes(unsigned n) {
        need(n);
        const unsigned char* p = m_in + m_pos;
        m_pos += n;
        return p;
    }
    void skip(unsigned n) { bytes(n); }

    uint8_t u8() { return *bytes(1); }
    uint16_t u16() { return static_cast<uint16_t>(le(2)); }
    uint32_t u32() { return static_cast<uint32_t>(le(4)); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() { return le(8); }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    float f32() {
        uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    double f64() {
        uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // One fixed-size field, chosen by its type; `v` is only assigned once the field was read.
    void get(int32_t& v) { v = i32(); }
    void get(int64_t& v) { v = i64(); }
    void get(double& v) { v = f64(); }
    template <size_t N>
    void get(unsigned char (&raw)[N]) { std::memcpy(raw, bytes(N), N); }

    // Hands the rest of the input to `value.fromBin` and steps over what it consumed.
    unsigned value(Serializable& value) {
        unsigned used = value.fromBin(current(), remaining());
        skip(used);
        return used;
    }

private:
    uint64_t le(unsigned n) {
        const unsigned char* p = bytes(n);
        uint64_t v = 0;
        for (unsigned i = n; i-- > 0;) v = (v << 8) | p[i];
        return v;
    }

    const unsigned char* m_in;
    unsigned m_len;
    unsigned m_pos = 0;
};

// Reads the whole binary form of a value that is one fixed-size field; returns the bytes consumed.
// Short input throws the fromBin failure and leaves `v` unchanged.
template <class T>
unsigned readFixed(const unsigned char* in, unsigned length, T& v) {
    BinReader r(in, length);
    r.get(v);
    return r.consumed();
}

}  // namespace ktsl
