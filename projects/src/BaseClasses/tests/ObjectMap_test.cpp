// ObjectMap behaviour: lookup, swapping, synchronising with newest-only maps, duplicate removal.
#include "ObjectMap.h"

#include <gtest/gtest.h>

using Box = ktml::BoundingBox<int>;
using kttl::ElapsedTime;
using kttl::TimeStamp;

namespace {
const int64_t kBase = 1700000000;
TimeStamp at(double seconds) { return TimeStamp(kBase, static_cast<int64_t>(seconds * 1000)); }
Object withNode(uint32_t id, const Box& box, double seconds, const char* state = "Moving") {
    Object o(state, ElapsedTime(15000));
    o.setId(id);
    o.insert(box, ktsl::List<kttl::Integer>(), at(seconds));
    return o;
}
std::vector<unsigned> idsOf(const ObjectMap& m) {
    std::vector<unsigned> v;
    for (const auto& e : m) v.push_back(e.second.getId());
    return v;
}
}  // namespace

TEST(ObjectMap, FindAndSwap) {
    ObjectMap m;
    m.addObject(withNode(7, Box(0, 0, 5, 5), 1));
    m.addObject(withNode(3, Box(9, 9, 2, 2), 1, "Static"));
    EXPECT_EQ(idsOf(m), (std::vector<unsigned>{3, 7}));  // ascending ids
    ASSERT_NE(m.findObject(7), nullptr);
    EXPECT_EQ(m.findObject(8), nullptr);
    EXPECT_EQ(m.getTypeId(), 20004);

    ObjectMap before = m;
    EXPECT_FALSE(m.swapObjects(3, 99));
    EXPECT_FALSE(m.swapObjects(99, 3));
    EXPECT_TRUE(m.findObject(3)->getState() == "Static");
    ASSERT_TRUE(m.swapObjects(3, 7));
    // Contents exchanged, ids follow the keys.
    EXPECT_EQ(m.findObject(3)->getState(), "Moving");
    EXPECT_EQ(m.findObject(3)->getId(), 3u);
    EXPECT_EQ(m.findObject(7)->getState(), "Static");
    EXPECT_EQ(m.findObject(7)->getId(), 7u);
    Box b;
    m.findObject(3)->newest(b);
    EXPECT_EQ(b, Box(0, 0, 5, 5));
    // The copy is deep.
    EXPECT_EQ(before.findObject(3)->getState(), "Static");
}

TEST(ObjectMap, UpdateFollowsANewestOnlyMap) {
    ObjectMap reader;
    ObjectMap frame1;
    frame1.addObject(withNode(1, Box(0, 0, 4, 4), 1));
    frame1.addObject(withNode(2, Box(8, 8, 4, 4), 1, "Static"));
    reader.update(frame1, ElapsedTime(2000));
    ASSERT_EQ(idsOf(reader), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(reader.findObject(2)->getState(), "Static");
    EXPECT_EQ(reader.findObject(1)->getWindow(), ElapsedTime(2000));  // created with the given window

    ObjectMap frame2;
    frame2.addObject(withNode(1, Box(1, 0, 4, 4), 2));
    frame2.addObject(withNode(5, Box(3, 3, 3, 3), 2));
    reader.update(frame2, ElapsedTime(2000));
    ASSERT_EQ(idsOf(reader), (std::vector<unsigned>{1, 5}));  // 2 vanished, 5 appeared
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);      // history accumulated
    reader.update(frame2, ElapsedTime(2000));                 // the same frame again adds nothing
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);

    ObjectMap frame3;
    frame3.addObject(withNode(1, Box(2, 0, 4, 4), 4));
    reader.update(frame3, ElapsedTime(2000));
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);  // the node at 1 s left the 2 s window
}

TEST(ObjectMap, RemoveDuplicates) {
    {
        ObjectMap m;
        m.addObject(withNode(9, Box(0, 0, 10, 10), 1));
        m.addObject(withNode(4, Box(0, 0, 10, 10), 1));
        m.addObject(withNode(6, Box(0, 0, 10, 10), 2));  // other time: not a duplicate
        m.addObject(withNode(7, Box(0, 0, 10, 11), 1));  // not identical
        m.addObject(Object());                            // no node: never compared
        m.removeDuplicates(0.0f);
        EXPECT_EQ(idsOf(m), (std::vector<unsigned>{0, 4, 6, 7}));
    }
    {
        // With a tolerance: the overlap over A's area must exceed it.
        ObjectMap m;
        m.addObject(withNode(1, Box(0, 0, 10, 10), 1));
        m.addObject(withNode(2, Box(5, 0, 10, 10), 1));  // covers half of either box
        m.removeDuplicates(0.5f);
        EXPECT_EQ(idsOf(m), (std::vector<unsigned>{1, 2}));
        m.removeDuplicates(0.49f);
        EXPECT_EQ(idsOf(m), (std::vector<unsigned>{1}));
    }
    {
        // A small box inside a large one: as A the small box is covered entirely, so the pair is a
        // duplicate whichever id is lower; the larger id goes.
        ObjectMap m;
        m.addObject(withNode(1, Box(0, 0, 100, 100), 1));
        m.addObject(withNode(2, Box(10, 10, 10, 10), 1));
        m.addObject(withNode(3, Box(50, 50, 10, 10), 1));
        m.removeDuplicates(0.9f);
        EXPECT_EQ(idsOf(m), (std::vector<unsigned>{1}));
        // An object whose newest box has no area is never the measure.
        ObjectMap z;
        z.addObject(withNode(1, Box(0, 0, 0, 0), 1));
        z.addObject(withNode(2, Box(0, 0, 0, 0), 1));
        z.removeDuplicates(0.5f);
        EXPECT_EQ(idsOf(z), (std::vector<unsigned>{1, 2}));
    }
}
