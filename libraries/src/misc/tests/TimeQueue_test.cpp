// Time queues, the frame-rate calculator and the timing statistics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestBytes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_FpsCalculator.h"
#include "kttl_StatTracker.h"
#include "kttl_TimeQueue.h"
#include "kttl_TimeStamp.h"

using kttl::ElapsedTime;
using kttl::TimeQueue;

namespace {

kttl::TimeStamp at(int64_t ms) { return kttl::TimeStamp(1000000, ms); }

template <class T>
std::vector<T> values(const TimeQueue<T>& q) {
    std::vector<T> v;
    for (const auto& e : q) v.push_back(e.second);
    return v;
}

}  // namespace

TEST(TimeQueue, LateEntriesAreSortedInAndEarlierThanAllGoInFrontUncleaned) {
    TimeQueue<std::string> q(ElapsedTime(1000));
    // Equal times keep insertion order.
    for (auto [v, ms] : {std::pair("b", 500), {"d", 900}, {"c", 700}, {"c2", 700}}) q.insert(v, at(ms));
    EXPECT_EQ(values(q), (std::vector<std::string>{"b", "c", "c2", "d"}));
    q.insert("ancient", at(-5000));  // older than the window, but nothing is cleaned for it
    EXPECT_TRUE(q.oldest() == "ancient" && q.size() == 5u);
    q.insert("e", at(950));  // an in-order insert cleans against the newest time
    EXPECT_EQ(values(q), (std::vector<std::string>{"b", "c", "c2", "d", "e"}));
    q.clean(at(1700));
    EXPECT_EQ(values(q), (std::vector<std::string>{"c", "c2", "d", "e"}));
}

// An entry exactly one window old stays, a millisecond more goes: in top() and in an insert's cleaning.
TEST(TimeQueue, TopIsWhatACleanWouldRemove) {
    TimeQueue<int> q(ElapsedTime(2000));
    for (int i = 0; i <= 2; ++i) q.insert(i, at(i * 1000));
    EXPECT_EQ(values(q), (std::vector<int>{0, 1, 2}));
    // Both sides of each entry's age limit; at 1500 the newest entry is later than now.
    const struct { int64_t now; long count; } rows[] = {
        {1500, 0}, {2000, 0}, {2001, 1}, {3000, 1}, {3001, 2}, {4000, 2}, {4001, 3}};
    for (const auto& r : rows) {
        const auto range = q.top(at(r.now));
        EXPECT_EQ(std::distance(range.first, range.second), r.count) << r.now;
    }
    EXPECT_TRUE(!q.willPop(at(2000)) && q.willPop(at(2001)));
    EXPECT_EQ(q.top(at(3001)).first->second, 0);
    q.insert(3, at(2001));
    EXPECT_EQ(values(q), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(q.newestTime() == at(2001) && q.newest() == 3 && q.oldest() == 1);
    q.clean(at(4001));
    EXPECT_EQ(values(q), (std::vector<int>{3}));
}

TEST(TimeQueue, EmptyAccessAndNegativeWindowsThrowWithTheirMessages) {
    TimeQueue<int> q(ElapsedTime(0));
    const struct { std::function<void()> f; const char* text; } rows[] = {
        {[] { TimeQueue<int> negative(ElapsedTime(-1)); }, "TimeQueue() - time window can not be negative"},
        {[&] { q.newestTime(); }, "newestTime() - queue is empty"},
        {[&] { q.newest(); }, "newest() - queue is empty"},
        {[&] { q.oldest(); }, "oldest() - queue is empty"}};
    for (const auto& r : rows)
        expectThrowMessage(r.f, "misc/kttl_TimeQueue", std::string("ktml::TimeQueue::") + r.text);
    EXPECT_FALSE(q.willPop(at(0)));

    // A zero window keeps only the entries at the newest time; without a window nothing ages out.
    TimeQueue<int> forever;
    for (int i = 1; i <= 3; ++i) {
        q.insert(i, at(10 + i / 3));  // at 10, 10, 11
        forever.insert(i, at(i * 100000000ll));
    }
    EXPECT_EQ(values(q), (std::vector<int>{3}));
    EXPECT_EQ(forever.size(), 3u);
}

TEST(FpsCalculator, RateOverTheWindow) {
    kttl::FpsCalculator fps(5);
    EXPECT_EQ(fps.calcFps(), -1);
    for (int i = 0; i < 2; ++i) fps.update(at(0));
    EXPECT_EQ(fps.calcFps(), 0);  // no time span yet
    for (int i = 1; i <= 10; ++i) fps.update(at(i * 1000));
    // Frames at 5..10 s remain (the one at 5 s is exactly a window old): 6 over 5 s.
    EXPECT_EQ(fps.sampleCount(), 6u);
    EXPECT_DOUBLE_EQ(fps.calcFps(), 6.0 / 5.0);
    EXPECT_TRUE(!fps.setTimeWindow(0) && fps.sampleCount() == 6u);
    EXPECT_TRUE(fps.setTimeWindow(1) && fps.calcFps() == -1);
    for (int i = 0; i <= 10; ++i) fps.update(at(i * 100));
    EXPECT_DOUBLE_EQ(fps.calcFps(), 11.0);
    fps.reset();
    EXPECT_TRUE(fps.calcFps() == -1 && kttl::FpsCalculator(0).getTimeWindow() == 1u);
}

TEST(StatTracker, StatisticsNeedThreeSamples) {
    kttl::StatTracker s(8), t(8), timing(4), none(0);
    for (double v : {1, 2}) s.addSample(v);
    EXPECT_TRUE(s.mean() == -1 && s.median() == -1 && s.stddev() == -1);
    s.addSample(9);
    EXPECT_TRUE(s.mean() == 4 && s.median() == 2);

    for (double v : {9, 2, 4, 4, 5, 5, 7, 4}) t.addSample(v);
    EXPECT_TRUE(t.mean() == 5 && t.median() == 4.5 && t.stddev() == 2);  // population deviation
    t.addSample(100);  // full: drops the oldest (9)
    EXPECT_TRUE(t.size() == 8u && t.samples().front() == 2);
    t.popFront(6);
    EXPECT_TRUE(t.size() == 2u && t.samples().front() == 4);
    t.popFront(10);
    EXPECT_EQ(t.size(), 0u);

    timing.setStartTick(0xFFFFFFF0u);
    timing.start();
    EXPECT_GE(timing.stop(), 0);
    EXPECT_LT(timing.samples().back(), 60000);  // a fresh start tick: no wrap-around giant
    none.addSample(1);
    EXPECT_EQ(none.size(), 0u);
}
