// Helpers the value, stream, geometry and thread tests share: binary forms as bytes, hand-made
// little-endian inputs, and thrown messages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kttl_Exception.h"
#include "ktsl_Serializable.h"

using Bytes = std::vector<unsigned char>;

inline Bytes binOf(const ktsl::Serializable& v) {
    Bytes out(v.getBinLength());
    EXPECT_EQ(v.toBin(out.data()), out.size());
    return out;
}

// Reads `in` into `v`; returns the bytes consumed.
inline unsigned readBin(ktsl::Serializable& v, const Bytes& in) {
    return v.fromBin(in.data(), static_cast<unsigned>(in.size()));
}

// The message of the kttl::Exception that `f` throws; "" when it throws none.
inline std::string thrownMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const kttl::Exception& e) {
        return e.what();
    }
    return "";
}

// True when `v` refuses `in` with the plain fromBin failure.
inline bool fromBinRefused(ktsl::Serializable& v, const Bytes& in) {
    return thrownMessage([&] { readBin(v, in); }) == "ktsl::Serializable::fromBin() - Failed!";
}

inline void put32(Bytes& b, unsigned v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
// A record header: u16 type id, u16 zero, u32 payload length.
inline void putRecordHeader(Bytes& b, unsigned type, unsigned length) {
    put32(b, type & 0xFFFFu);
    put32(b, length);
}
inline void putIntegerRecord(Bytes& b, int v) {
    putRecordHeader(b, 504, 4);
    put32(b, static_cast<unsigned>(v));
}

inline bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
inline bool throwsLibraryException(const std::function<void()>& f) { return !thrownMessage(f).empty(); }
// `f` throws a kttl::Exception whose message ends with `tail`.
inline bool throwsEndingWith(const std::function<void()>& f, const std::string& tail) {
    const std::string m = thrownMessage(f);
    return !m.empty() && endsWith(m, tail);
}
// `f` throws a message that starts with the source `file` (below libraries/src/) and its line, and
// ends with `tail`.
inline void expectThrowMessage(const std::function<void()>& f, const std::string& file, const std::string& tail) {
    const std::string m = thrownMessage(f);
    EXPECT_TRUE(m.rfind("../../../../../libraries/src/" + file + " (", 0) == 0 && endsWith(m, tail)) << m;
}
