// Conversion of one coordinate between the coordinate types of the geometry templates, and the
// little-endian coordinate read/write their binary forms share.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

namespace ktml {

// Converts v to U. Into an integer type: rounded half away from zero and saturated at U's limits
// (NaN becomes 0). Into a floating type: saturated at U's finite range (NaN stays NaN).
template <typename U, typename T>
U coordCast(T v) {
    if constexpr (std::is_integral_v<U>) {
        if constexpr (std::is_integral_v<T>) {
            // Integer to integer: compare in the widest signed/unsigned terms without wrapping.
            if constexpr (std::is_signed_v<T>) {
                if (v < 0) {
                    if constexpr (std::is_unsigned_v<U>) return 0;
                    else if (static_cast<long long>(v) < static_cast<long long>(std::numeric_limits<U>::min()))
                        return std::numeric_limits<U>::min();
                    return static_cast<U>(v);
                }
            }
            if (static_cast<unsigned long long>(v) > static_cast<unsigned long long>(std::numeric_limits<U>::max()))
                return std::numeric_limits<U>::max();
            return static_cast<U>(v);
        } else {
            const long double d = static_cast<long double>(v);
            if (std::isnan(d)) return 0;
            const long double r = d >= 0 ? std::floor(d + 0.5L) : std::ceil(d - 0.5L);
            if (r <= static_cast<long double>(std::numeric_limits<U>::min())) return std::numeric_limits<U>::min();
            if (r >= static_cast<long double>(std::numeric_limits<U>::max())) return std::numeric_limits<U>::max();
            return static_cast<U>(r);
        }
    } else {
        const long double d = static_cast<long double>(v);
        if (d > static_cast<long double>(std::numeric_limits<U>::max())) return std::numeric_limits<U>::max();
        if (d < static_cast<long double>(std::numeric_limits<U>::lowest())) return std::numeric_limits<U>::lowest();
        return static_cast<U>(v);
    }
}

// One coordinate in its binary form: sizeof(T) bytes, little-endian.
template <typename T>
void writeCoord(ktsl::BinWriter& w, T v) {
    static_assert(sizeof(T) == 4 || sizeof(T) == 8, "coordinates are 4 or 8 bytes");
    if constexpr (sizeof(T) == 4) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        w.u32(bits);
    } else {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        w.u64(bits);
    }
}

template <typename T>
T readCoord(ktsl::BinReader& r) {
    T v;
    if constexpr (sizeof(T) == 4) {
        uint32_t bits = r.u32();
        std::memcpy(&v, &bits, 4);
    } else {
        uint64_t bits = r.u64();
        std::memcpy(&v, &bits, 8);
    }
    return v;
}

// The binary form of a point or a box: u32 sizeof(T), then the coordinates in order.
template <typename T, size_t N>
unsigned writeCoords(unsigned char* out, const T (&v)[N]) {
    ktsl::BinWriter w(out);
    w.u32(sizeof(T));
    for (const T& c : v) writeCoord(w, c);
    return w.written();
}

// Reads that form into v and sets used to the bytes consumed; false when the recorded coordinate
// size is not sizeof(T) (the caller throws, naming its class). Short input throws.
template <typename T, size_t N>
bool readCoords(const unsigned char* in, unsigned length, T (&v)[N], unsigned& used) {
    ktsl::BinReader r(in, length);
    if (r.u32() != sizeof(T)) return false;
    for (T& c : v) c = readCoord<T>(r);
    used = r.consumed();
    return true;
}

}  // namespace ktml
