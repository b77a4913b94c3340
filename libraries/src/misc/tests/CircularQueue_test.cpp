#include "kttl_CircularQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<int> contents(const kttl::CircularQueue<int>& q) {
    std::vector<int> v;
    for (size_t i = 0; i < q.size(); ++i) v.push_back(q.at(i));
    return v;
}
}  // namespace

TEST(CircularQueue, PushRefusesWhenFullOverwriteDropsTheOldest) {
    kttl::CircularQueue<int> q(3);
    EXPECT_THROW(q.front(), kttl::Exception);
    int out = -1;
    EXPECT_TRUE(!q.pop(out) && out == -1);
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(q.push(i));
    EXPECT_TRUE(q.full() && !q.push(4));
    EXPECT_EQ(contents(q), (std::vector<int>{1, 2, 3}));

    // Overwriting drops the oldest and walks both positions round the ring.
    for (int i = 4; i <= 9; ++i) EXPECT_TRUE(q.pushOverwrite(i));
    EXPECT_EQ(contents(q), (std::vector<int>{7, 8, 9}));
    EXPECT_TRUE(q.pop(out) && out == 7);
    EXPECT_FALSE(q.pushOverwrite(10));  // room again: nothing dropped
    EXPECT_TRUE(q.peek(out) && out == 8);
    EXPECT_EQ(contents(q), (std::vector<int>{8, 9, 10}));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(q.pop());
    EXPECT_FALSE(q.pop());
    EXPECT_THROW(q.at(0), kttl::Exception);

    kttl::CircularQueue<int> none(0);
    EXPECT_TRUE(!none.push(1) && !none.pushOverwrite(1) && none.empty());
}
