// Small helpers the value tests share: binary forms as byte vectors and the fromBin failure check.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "kttl_Exception.h"
#include "ktsl_Serializable.h"

using Bytes = std::vector<unsigned char>;

inline Bytes binOf(const ktsl::Serializable& v) {
    Bytes out(v.getBinLength());
    EXPECT_EQ(v.toBin(out.data()), out.size());
    return out;
}

// Reads `in` into `v` and checks every byte was consumed.
inline void readAll(ktsl::Serializable& v, const Bytes& in) {
    EXPECT_EQ(v.fromBin(in.data(), static_cast<unsigned>(in.size())), in.size());
}

inline bool fromBinRefused(ktsl::Serializable& v, const Bytes& in) {
    try {
        v.fromBin(in.data(), static_cast<unsigned>(in.size()));
    } catch (const kttl::Exception& e) {
        return std::string(e.what()) == "ktsl::Serializable::fromBin() - Failed!";
    }
    return false;
}
