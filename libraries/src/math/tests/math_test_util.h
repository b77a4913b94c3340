// Helpers shared by the geometry and histogram tests: the message of a thrown library exception and
// the binary form of a value.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ktsl_Serializable.h"
#include "kttl_Exception.h"

namespace mathtest {

// The message of the kttl::Exception that f throws; empty when it throws none.
template <typename F>
std::string thrownMessage(F f) {
    try {
        f();
    } catch (const kttl::Exception& e) {
        return e.what();
    }
    return "";
}

// Whether f throws the library exception with a message ending in tail.
template <typename F>
bool throwsEndingWith(F f, const std::string& tail) {
    const std::string s = thrownMessage(f);
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

inline std::vector<unsigned char> encode(const ktsl::Serializable& s) {
    std::vector<unsigned char> b(s.getBinLength());
    EXPECT_EQ(s.toBin(b.data()), b.size());
    return b;
}

}  // namespace mathtest
