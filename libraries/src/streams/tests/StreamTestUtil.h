// Helpers shared by the stream and container tests.
#pragma once

#include <gtest/gtest.h>

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

inline unsigned readBin(ktsl::Serializable& v, const Bytes& in) {
    return v.fromBin(in.data(), static_cast<unsigned>(in.size()));
}

inline bool fromBinRefused(ktsl::Serializable& v, const Bytes& in) {
    try {
        readBin(v, in);
    } catch (const kttl::Exception& e) {
        return std::string(e.what()) == "ktsl::Serializable::fromBin() - Failed!";
    }
    return false;
}

// Little-endian building blocks for hand-made inputs.
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

// The thrown message ends with `tail` and names `file` (libraries/src/...) as its source.
inline void expectThrowMessage(const std::function<void()>& f, const std::string& file, const std::string& tail) {
    try {
        f();
        ADD_FAILURE() << "no throw, expected " << tail;
    } catch (const kttl::Exception& e) {
        std::string m = e.what();
        EXPECT_EQ(m.rfind("../../../../../libraries/src/" + file + " (", 0), 0u) << m;
        EXPECT_TRUE(m.size() >= tail.size() && m.compare(m.size() - tail.size(), tail.size(), tail) == 0) << m;
    }
}
