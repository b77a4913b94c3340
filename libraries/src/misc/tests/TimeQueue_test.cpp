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
using kttl::TimeStamp;

namespace {

TimeStamp at(int64_t ms) { return TimeStamp(1000000, ms); }

template <class T>
std::vector<T> values(const TimeQueue<T>& q) {
    std::vector<T> v;
    for (const auto& e : q) v.push_back(e.second);
    return v;
}

}  // namespace

TEST(TimeQueue, AnEntryExactlyOneWindowOldStaysOneMillisecondMoreGoes) {
    TimeQueue<int> q(ElapsedTime(2000));
    q.insert(0, at(0));
    q.insert(1, at(1000));
    q.insert(2, at(2000));
    EXPECT_EQ(values(q), (std::vector<int>{0, 1, 2}));
    q.insert(3, at(2001));
    EXPECT_EQ(values(q), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(q.newestTime() == at(2001) && q.newest() == 3 && q.oldest() == 1);
}

TEST(TimeQueue, LateEntriesAreSortedInAndEarlierThanAllGoInFrontUncleaned) {
    TimeQueue<std::string> q(ElapsedTime(1000));
    q.insert("b", at(500));
    q.insert("d", at(900));
    q.insert("c", at(700));
    q.insert("c2", at(700));  // equal times keep insertion order
    EXPECT_EQ(values(q), (std::vector<std::string>{"b", "c", "c2", "d"}));
    q.insert("ancient", at(-5000));  // older than the window, but nothing is cleaned for it
    EXPECT_TRUE(q.oldest() == "ancient" && q.size() == 5u);
    q.insert("e", at(950));  // an in-order insert cleans against the newest time
    EXPECT_EQ(values(q), (std::vector<std::string>{"b", "c", "c2", "d", "e"}));
    q.clean(at(1700));
    EXPECT_EQ(values(q), (std::vector<std::string>{"c", "c2", "d", "e"}));
}

TEST(TimeQueue, TopIsWhatACleanWouldRemove) {
    TimeQueue<int> q(ElapsedTime(2000));
    for (int i = 0; i <= 2; ++i) q.insert(i, at(i * 1000));
    auto count = [&](int64_t now) {
        auto r = q.top(at(now));
        return std::distance(r.first, r.second);
    };
    // Both sides of each entry's age limit; at 1500 the newest entry is later than now.
    const int64_t nows[] = {1500, 2000, 2001, 3000, 3001, 4000, 4001};
    const long counts[] = {0, 0, 1, 1, 2, 2, 3};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(count(nows[i]), counts[i]) << nows[i];
    EXPECT_TRUE(!q.willPop(at(2000)) && q.willPop(at(2001)));
    EXPECT_EQ(q.top(at(3001)).first->second, 0);
    q.clean(at(3001));
    EXPECT_EQ(values(q), (std::vector<int>{2}));
    EXPECT_FALSE(TimeQueue<int>(ElapsedTime(1)).willPop(at(5)));
}

TEST(TimeQueue, EmptyAccessAndNegativeWindowsThrowWithTheirMessages) {
    const char* file = "misc/kttl_TimeQueue";
    expectThrowMessage([] { TimeQueue<int> q(ElapsedTime(-1)); }, file,
                       "ktml::TimeQueue::TimeQueue() - time window can not be negative");
    TimeQueue<int> q(ElapsedTime(0));
    expectThrowMessage([&] { q.newestTime(); }, file, "ktml::TimeQueue::newestTime() - queue is empty");
    expectThrowMessage([&] { q.newest(); }, file, "ktml::TimeQueue::newest() - queue is empty");
    expectThrowMessage([&] { q.oldest(); }, file, "ktml::TimeQueue::oldest() - queue is empty");
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
    fps.update(at(0));
    fps.update(at(0));
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
    EXPECT_EQ(fps.calcFps(), -1);
    EXPECT_EQ(kttl::FpsCalculator(0).getTimeWindow(), 1u);
}

TEST(StatTracker, StatisticsNeedThreeSamples) {
    kttl::StatTracker s(8);
    EXPECT_EQ(s.mean(), -1);
    s.addSample(1);
    s.addSample(2);
    EXPECT_TRUE(s.mean() == -1 && s.median() == -1 && s.stddev() == -1);
    s.addSample(9);
    EXPECT_TRUE(s.mean() == 4 && s.median() == 2);

    kttl::StatTracker t(8);
    for (double v : {9, 2, 4, 4, 5, 5, 7, 4}) t.addSample(v);
    EXPECT_DOUBLE_EQ(t.mean(), 5);
    EXPECT_DOUBLE_EQ(t.median(), 4.5);
    EXPECT_DOUBLE_EQ(t.stddev(), 2);  // population deviation
    t.addSample(100);                 // full: drops the oldest (9)
    EXPECT_TRUE(t.size() == 8u && t.samples().front() == 2);
    t.popFront(6);
    EXPECT_TRUE(t.size() == 2u && t.samples().front() == 4);
    t.popFront(10);
    EXPECT_EQ(t.size(), 0u);

    kttl::StatTracker timing(4);
    timing.setStartTick(0xFFFFFFF0u);
    timing.start();
    EXPECT_GE(timing.stop(), 0);
    EXPECT_LT(timing.samples().back(), 60000);  // a fresh start tick: no wrap-around giant
    kttl::StatTracker none(0);
    none.addSample(1);
    EXPECT_EQ(none.size(), 0u);
}
