// Events, mutexes and waiting on several objects, with real threads and bounded waits.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "SyncTestUtil.h"
#include "ktst_Event.h"
#include "ktst_Mutex.h"

using ktst::Event;
using ktst::Mutex;

TEST(Event, AutoResetLetsOneWaitThroughPerSignalManualStaysUntilReset) {
    Event autoEv(false, false);
    Event copy = autoEv;  // copies share one event
    EXPECT_FALSE(autoEv.wait(0));
    copy.signal();
    EXPECT_TRUE(autoEv.wait(0) && !copy.wait(0));  // consumed through the other copy
    EXPECT_GE(elapsedMs([&] { EXPECT_FALSE(autoEv.wait(40)); }), 39u);

    Event manual(true, true);
    EXPECT_TRUE(manual.wait(0) && manual.wait(5));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));

    Event moved = std::move(copy);
    EXPECT_FALSE(copy.signal() || copy.reset() || copy.wait(0));
    EXPECT_TRUE(moved.signal() && autoEv.wait(0));
}

TEST(Event, OneAutoSignalWakesExactlyOneOfTwoWaitersManualWakesBoth) {
    for (bool manual : {false, true}) {
        Event e(manual, false);
        std::atomic<int> woke{0}, ready{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 2; ++i)
            waiters.emplace_back([&] { ++ready; woke += e.wait(manual ? kLongMs : 2000); });
        ASSERT_TRUE(eventually([&] { return ready == 2; }));
        e.signal();
        if (!manual) {
            // The second waiter can only be released by a second signal (or time out).
            EXPECT_TRUE(eventually([&] { return woke >= 1; }));
            EXPECT_EQ(woke, 1);
            e.signal();
        }
        for (auto& t : waiters) t.join();
        EXPECT_EQ(woke, 2) << "manual=" << manual;
        // Had one signal released both, the second would still be pending here.
        EXPECT_EQ(e.isSignalled(), manual);
    }
}

TEST(Mutex, RecursiveOwnerOnlyUnlockAndBoundedLockFromOtherThreads) {
    Mutex m(true);  // owned by the constructing thread
    ASSERT_TRUE(m.lock(0) && m.lockCount() == 2u);  // recursive
    std::thread other([&] {
        EXPECT_FALSE(m.lock(0));
        EXPECT_GE(elapsedMs([&] { EXPECT_FALSE(m.lock(30)); }), 29u);
        EXPECT_FALSE(m.unlock());  // not the owner
    });
    other.join();
    EXPECT_TRUE(m.unlock() && m.ownedByCaller());

    // A locker waiting on another thread gets it once the last level is released.
    std::atomic<bool> got{false};
    Event trying(true, false);
    std::thread waiter([&] { trying.signal(); got = m.lock(kLongMs) && m.unlock(); });
    ASSERT_TRUE(trying.wait(kLongMs));
    EXPECT_TRUE(m.unlock() && !m.unlock());  // then nothing is left to release
    waiter.join();
    EXPECT_TRUE(got);
}

TEST(Wait, EarlierObjectsWinAndATimeOutReportsFalse) {
    Event a(false, true), b(false, true);
    std::vector<ktst::WaitObject*> list{&a, &b};
    size_t index = 99;
    EXPECT_TRUE(ktst::Wait(list, 0, index) && index == 0u);
    EXPECT_TRUE(ktst::Wait(list, 0, index) && index == 1u);
    EXPECT_GE(elapsedMs([&] { EXPECT_FALSE(ktst::Wait(list, 25, index)); }), 24u);
    EXPECT_FALSE(ktst::Wait(std::vector<ktst::WaitObject*>(), kLongMs, index));

    std::thread signaller([&] { ktst::Wait(5); b.signal(); });
    EXPECT_TRUE(ktst::Wait(list, kLongMs, index) && index == 1u);
    signaller.join();
}

TEST(Wait, WaitMultipleSetsABitPerSignalledObjectAndAcquiresMutexes) {
    Event a(false, true), b(false, false), c(true, true);
    Mutex m;
    uint32_t bits = 0;
    ASSERT_TRUE(ktst::WaitMultiple({&a, &b, &c, &m}, 0, bits));
    EXPECT_EQ(bits, 0b1101u);
    // Auto-reset consumed, manual stays, waiting on a mutex takes it.
    EXPECT_TRUE(!a.isSignalled() && c.isSignalled() && m.ownedByCaller());
    EXPECT_TRUE(!ktst::WaitMultiple(std::vector<ktst::WaitObject*>(33, &c), 0, bits) && bits == 0u);
}

TEST(Wait, RemainingTimeIsWrapSafeAndFloorsAtZero) {
    const struct { uint32_t start, now, ms, left; } cases[] = {  // {0xFFFFFFF0, 0x10}: 32 ms across the wrap
        {100, 100, 50, 50}, {100, 149, 50, 1}, {100, 150, 50, 0}, {5, 5, 0, 0},
        {0xFFFFFFF0u, 0x10u, 100, 100 - 0x20}, {0xFFFFFFF0u, 0x60u, 100, 0},
        {0xFFFFFFF0u, 0x10u, ktst::WAIT_INFINITE, ktst::WAIT_INFINITE}};
    for (const auto& c : cases)
        EXPECT_EQ(ktst::remainingMs(c.start, c.now, c.ms), c.left) << c.start << " " << c.now << " " << c.ms;
}
