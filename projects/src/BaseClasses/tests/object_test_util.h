// Helpers shared by the object tests: stream times, merged-id lists, fresh objects and binary forms.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "Object.h"

namespace objtest {

using Box = ktml::BoundingBox<int>;

// Stream positions are seconds after a fixed instant, far from the zero stamp.
const int64_t kBase = 1700000000;
inline kttl::TimeStamp at(double seconds) {
    return kttl::TimeStamp(kBase, static_cast<int64_t>(seconds * 1000));
}

inline ktsl::List<kttl::Integer> ids(std::initializer_list<int> v = {}) {
    ktsl::List<kttl::Integer> l;
    for (int i : v) l.push_back(kttl::Integer(i));
    return l;
}

// An object with the tracker's 15 s window and the given id, optionally with one node.
inline Object tracked(uint32_t id, const char* state = "Moving") {
    Object o(state, kttl::ElapsedTime(15000));
    o.setId(id);
    return o;
}
inline Object withNode(uint32_t id, const Box& box, double seconds, const char* state = "Moving") {
    Object o = tracked(id, state);
    o.insert(box, ids(), at(seconds));
    return o;
}

inline std::vector<unsigned char> encode(const ktsl::Serializable& s) {
    std::vector<unsigned char> b(s.getBinLength());
    EXPECT_EQ(s.toBin(b.data()), b.size());
    return b;
}

}  // namespace objtest
