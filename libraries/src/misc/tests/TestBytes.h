// Helpers the value and stream tests share: binary forms as bytes, hand-made little-endian
// inputs, and checks of thrown messages.
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

// True when `v` refuses `in` with the plain fromBin failure.
inline bool fromBinRefused(ktsl::Serializable& v, const Bytes& in) {
    try {
        readBin(v, in);
    } catch (const kttl::Exception& e) {
        return std::string(e.what()) == "ktsl::Serializable::fromBin() - Failed!";
    }
    return false;
}

inline void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void put32(Bytes& b, unsigned v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void putRecordHeader(Bytes& b, unsigned type, unsigned length) {
    put16(b, type);
    put16(b, 0);
    put32(b, length);
}
inline void putIntegerRecord(Bytes& b, int v) {
    putRecordHeader(b, 504, 4);
    put32(b, static_cast<unsigned>(v));
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

// `f` throws a message whose source is `file` (below libraries/src/) and which ends with `tail`.
inline void expectThrowMessage(const std::function<void()>& f, const std::string& file, const std::string& tail) {
    const std::string m = thrownMessage(f);
    EXPECT_EQ(m.rfind("../../../../../libraries/src/" + file + " (", 0), 0u) << m;
    EXPECT_TRUE(m.size() >= tail.size() && m.compare(m.size() - tail.size(), tail.size(), tail) == 0) << m;
}
