// ObjectMap behaviour: lookup, swapping, synchronising with newest-only maps, duplicate removal.
#include "ObjectMap.h"

#include <gtest/gtest.h>

#include "object_test_util.h"

using kttl::ElapsedTime;
using namespace objtest;

namespace {
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
    EXPECT_TRUE(m.findObject(7) != nullptr && m.findObject(8) == nullptr);
    const ObjectMap before = m;
    EXPECT_FALSE(m.swapObjects(3, 99) || m.swapObjects(99, 3));
    EXPECT_EQ(m.findObject(3)->getState(), "Static");
    ASSERT_TRUE(m.swapObjects(3, 7));  // contents exchanged, ids follow the keys
    EXPECT_TRUE(m.findObject(3)->getState() == "Moving" && m.findObject(3)->getId() == 3);
    EXPECT_TRUE(m.findObject(7)->getState() == "Static" && m.findObject(7)->getId() == 7);
    Box b;
    ASSERT_TRUE(m.findObject(3)->newest(b));
    EXPECT_EQ(b, Box(0, 0, 5, 5));
    EXPECT_EQ(before.findObject(3)->getState(), "Static");  // the copy is deep
}

TEST(ObjectMap, UpdateFollowsANewestOnlyMap) {
    ObjectMap reader, frame1, frame2, frame3;
    frame1.addObject(withNode(1, Box(0, 0, 4, 4), 1));
    frame1.addObject(withNode(2, Box(8, 8, 4, 4), 1, "Static"));
    reader.update(frame1, ElapsedTime(2000));
    ASSERT_EQ(idsOf(reader), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(reader.findObject(2)->getState(), "Static");
    EXPECT_EQ(reader.findObject(1)->getWindow(), ElapsedTime(2000));  // created with the given window

    frame2.addObject(withNode(1, Box(1, 0, 4, 4), 2));
    frame2.addObject(withNode(5, Box(3, 3, 3, 3), 2));
    reader.update(frame2, ElapsedTime(2000));
    ASSERT_EQ(idsOf(reader), (std::vector<unsigned>{1, 5}));  // 2 vanished, 5 appeared
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);       // history accumulated
    reader.update(frame2, ElapsedTime(2000));                 // the same frame again adds nothing
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);
    frame3.addObject(withNode(1, Box(2, 0, 4, 4), 4));
    reader.update(frame3, ElapsedTime(2000));
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);  // the node at 1 s left the 2 s window
}

TEST(ObjectMap, RemoveDuplicates) {
    const struct {
        const char* what;
        std::vector<Object> objects;
        float tolerance;
        std::vector<unsigned> kept;
    } cases[] = {
        {"identical newest boxes at the same time: the lower id survives",
         {withNode(9, Box(0, 0, 10, 10), 1), withNode(4, Box(0, 0, 10, 10), 1),
          withNode(6, Box(0, 0, 10, 10), 2), withNode(7, Box(0, 0, 10, 11), 1),
          Object()},  // other time; not identical; no node
         0.0f,
         {0, 4, 6, 7}},
        {"overlap of half of A's box is not above 0.5",
         {withNode(1, Box(0, 0, 10, 10), 1), withNode(2, Box(5, 0, 10, 10), 1)},
         0.5f,
         {1, 2}},
        {"but above 0.49",
         {withNode(1, Box(0, 0, 10, 10), 1), withNode(2, Box(5, 0, 10, 10), 1)},
         0.49f,
         {1}},
        {"a small box inside a large one is covered as A: the larger ids go",
         {withNode(1, Box(0, 0, 100, 100), 1), withNode(2, Box(10, 10, 10, 10), 1),
          withNode(3, Box(50, 50, 10, 10), 1)},
         0.9f,
         {1}},
        {"a box without area is never the measure",
         {withNode(1, Box(0, 0, 0, 0), 1), withNode(2, Box(0, 0, 0, 0), 1)},
         0.5f,
         {1, 2}},
    };
    for (const auto& c : cases) {
        ObjectMap m;
        for (const Object& o : c.objects) m.addObject(o);
        m.removeDuplicates(c.tolerance);
        EXPECT_EQ(idsOf(m), c.kept) << c.what;
    }
}
