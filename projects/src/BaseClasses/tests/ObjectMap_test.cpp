// ObjectMap node recycling: a map refilled every frame reuses its nodes without showing stale objects.
#include "ObjectMap.h"

#include <gtest/gtest.h>

#include "../../../../libraries/src/misc/tests/AllocCounter.h"

namespace {

Object tracked(unsigned id, int x, int frames) {
    Object o(Object::kMovingState, kttl::ElapsedTime(15000));
    o.setId(id);
    ktsl::List<kttl::Integer> merged;
    merged.push_back(kttl::Integer(99));
    for (int f = 0; f < frames; ++f)
        o.insert(ktml::BoundingBox<int>(x + f, 10, 8, 20), merged, kttl::TimeStamp(1700000000, f * 40));
    o.addClass("Human");
    return o;
}

TEST(ObjectMap, RecycledNodesCarryNoStaleObjectsAndStopAllocating) {
    ObjectMap map;
    const Object a = tracked(1, 0, 30), b = tracked(2, 100, 5), c = tracked(3, 200, 12);
    for (const Object* o : {&a, &b, &c}) map.put(o->getId(), *o);
    map.recycle();
    EXPECT_TRUE(map.empty() && map.recycledCount() == 3u && map.findObject(1) == nullptr);

    // A node that held another object takes the new one whole; an existing entry is overwritten.
    const Object other = tracked(7, 50, 3);
    map.put(7, other);
    map.put(7, other);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_TRUE(*map.findObject(7) == other);
    EXPECT_EQ(map.findObject(7)->getHistory().size(), 3u);

    const ObjectMap copy(map);
    ObjectMap assigned;
    assigned = map;
    EXPECT_TRUE(copy.recycledCount() == 0u && assigned.recycledCount() == 0u && copy == map);

    // Publishing the same objects again, frame after frame, allocates nothing.
    map.recycle();
    for (const Object* o : {&a, &b, &c}) map.put(o->getId(), *o);
    map.recycle();
    const auto before = alloc_counter::now();
    for (const Object* o : {&a, &b, &c}) map.put(o->getId(), *o);
    const long allocations = (alloc_counter::now() - before).all;
    EXPECT_TRUE(map.size() == 3u && *map.findObject(1) == a && *map.findObject(3) == c);
    if (KT_ALLOC_COUNTING) {
        EXPECT_EQ(allocations, 0);
    }
}

TEST(ObjectMap, AssignReusingCopiesExactlyAndStopsAllocating) {
    const Object a = tracked(1, 0, 30), b = tracked(2, 100, 5), c = tracked(3, 200, 12), d = tracked(9, 7, 2);
    // Successive "frames": ids leave, arrive and come back; the kept copy must equal each one.
    const std::vector<std::vector<const Object*>> frames = {{&a, &b}, {&a, &b, &c}, {&c}, {}, {&d, &a}, {&a, &b, &c}};
    ObjectMap kept;
    for (const auto& objects : frames) {
        ObjectMap source;
        for (const Object* o : objects) source.put(o->getId(), *o);
        kept.assignReusing(source);
        EXPECT_TRUE(kept == source) << objects.size();
        EXPECT_EQ(kept.size(), objects.size());
    }
    ObjectMap source;
    for (const Object* o : {&a, &b, &c}) source.put(o->getId(), *o);
    kept.assignReusing(kept);  // itself: unchanged
    EXPECT_TRUE(kept == source);
    const auto before = alloc_counter::now();
    kept.assignReusing(source);
    const long allocations = (alloc_counter::now() - before).all;
    EXPECT_TRUE(kept == source);
    if (KT_ALLOC_COUNTING) {
        EXPECT_EQ(allocations, 0);
    }
}

}  // namespace
