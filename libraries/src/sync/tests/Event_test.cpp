// Events, mutexes and waiting on several objects, with real threads and bounded waits.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kt_tick.h"
#include "ktst_Event.h"
#include "ktst_Mutex.h"
#include "ktst_Wait.h"

using ktst::Event;
using ktst::Mutex;

// Bound for every wait that is expected to succeed: long enough never to fire on a loaded machine.
constexpr uint32_t kLongMs = 10000;

TEST(Event, AutoResetLetsOneWaitThroughPerSignalManualStaysUntilReset) {
    Event autoEv(false, false);
    EXPECT_FALSE(autoEv.wait(0));
    autoEv.signal();
    EXPECT_TRUE(autoEv.wait(0));
    EXPECT_FALSE(autoEv.wait(0));

    Event manual(true, true);
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(5));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));
    EXPECT_FALSE(manual.isSignalled());
}

TEST(Event, CopiesShareOneEventAndAMovedFromEventRefusesEverything) {
    Event a(false, false);
    Event b = a;
    EXPECT_TRUE(a.sameAs(b));
    b.signal();
    EXPECT_TRUE(a.isSignalled());
    EXPECT_TRUE(a.wait(0));
    EXPECT_FALSE(b.wait(0));  // consumed through the other copy

    Event moved = std::move(a);
    EXPECT_FALSE(a.valid());
    EXPECT_FALSE(a.signal());
    EXPECT_FALSE(a.reset());
    EXPECT_FALSE(a.wait(0));
    EXPECT_TRUE(moved.signal());
    EXPECT_TRUE(b.wait(0));
}

TEST(Event, TimedWaitEndsAtItsTimeOut) {
    Event e(false, false);
    const uint32_t start = kt_tickcount();
    EXPECT_FALSE(e.wait(40));
    EXPECT_GE(kt_tickcount() - start, 39u);
}

TEST(Event, SignalFromAnotherThreadWakesAWaiter) {
    Event e(false, false);
    Event started(true, false);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        started.signal();
        woke = e.wait(kLongMs);
    });
    ASSERT_TRUE(started.wait(kLongMs));
    e.signal();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(e.isSignalled());  // auto-reset: the waiter consumed it
}

TEST(Event, OneAutoSignalWakesExactlyOneOfTwoWaitersManualWakesBoth) {
    for (bool manual : {false, true}) {
        Event e(manual, false);
        std::atomic<int> woke{0};
        std::atomic<int> ready{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 2; ++i)
            waiters.emplace_back([&] {
                ++ready;
                if (e.wait(manual ? kLongMs : 2000)) ++woke;
            });
        while (ready < 2) ktst::Wait(1);
        e.signal();
        if (!manual) {
            // The second waiter can only be released by a second signal (or time out).
            const uint32_t start = kt_tickcount();
            while (woke < 1 && kt_tickcount() - start < kLongMs) ktst::Wait(1);
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
    Mutex m;
    ASSERT_TRUE(m.lock(0));
    ASSERT_TRUE(m.lock(0));  // recursive
    EXPECT_EQ(m.lockCount(), 2u);

    std::thread other([&] {
        EXPECT_FALSE(m.lock(0));
        const uint32_t start = kt_tickcount();
        EXPECT_FALSE(m.lock(30));
        EXPECT_GE(kt_tickcount() - start, 29u);
        EXPECT_FALSE(m.unlock());  // not the owner
    });
    other.join();
    EXPECT_EQ(m.lockCount(), 2u);

    EXPECT_TRUE(m.unlock());
    EXPECT_TRUE(m.ownedByCaller());
    EXPECT_TRUE(m.unlock());
    EXPECT_FALSE(m.unlock());  // nothing left to release

    std::thread taker([&] {
        EXPECT_TRUE(m.lock(kLongMs));
        EXPECT_TRUE(m.unlock());
    });
    taker.join();
}

TEST(Mutex, InitiallyLockedBelongsToTheConstructingThreadAndWakesAWaitingLocker) {
    Mutex m(true);
    EXPECT_TRUE(m.ownedByCaller());
    std::atomic<bool> got{false};
    Event trying(true, false);
    std::thread waiter([&] {
        trying.signal();
        got = m.lock(kLongMs);
        if (got) m.unlock();
    });
    ASSERT_TRUE(trying.wait(kLongMs));
    EXPECT_TRUE(m.unlock());
    waiter.join();
    EXPECT_TRUE(got);
}

TEST(Wait, EarlierObjectsWinAndATimeOutReportsFalse) {
    Event a(false, true), b(false, true);
    std::vector<ktst::WaitObject*> list{&a, &b};
    size_t index = 99;
    ASSERT_TRUE(ktst::Wait(list, 0, index));
    EXPECT_EQ(index, 0u);
    ASSERT_TRUE(ktst::Wait(list, 0, index));
    EXPECT_EQ(index, 1u);
    const uint32_t start = kt_tickcount();
    EXPECT_FALSE(ktst::Wait(list, 25, index));
    EXPECT_GE(kt_tickcount() - start, 24u);

    std::vector<ktst::WaitObject*> empty;
    EXPECT_FALSE(ktst::Wait(empty, kLongMs, index));
}

TEST(Wait, SignalFromAnotherThreadEndsTheWaitWithItsIndex) {
    Event a(false, false), b(false, false);
    std::vector<ktst::WaitObject*> list{&a, &b};
    std::thread signaller([&] {
        ktst::Wait(5);
        b.signal();
    });
    size_t index = 99;
    EXPECT_TRUE(ktst::Wait(list, kLongMs, index));
    EXPECT_EQ(index, 1u);
    signaller.join();
}

TEST(Wait, WaitMultipleSetsABitPerSignalledObjectAndAcquiresMutexes) {
    Event a(false, true), b(false, false), c(true, true);
    Mutex m;
    std::vector<ktst::WaitObject*> list{&a, &b, &c, &m};
    uint32_t bits = 0;
    ASSERT_TRUE(ktst::WaitMultiple(list, 0, bits));
    EXPECT_EQ(bits, 0b1101u);
    EXPECT_FALSE(a.isSignalled());  // auto-reset consumed
    EXPECT_TRUE(c.isSignalled());   // manual stays
    EXPECT_TRUE(m.ownedByCaller());  // waiting on a mutex takes it
    m.unlock();

    std::vector<ktst::WaitObject*> tooMany(33, &c);
    EXPECT_FALSE(ktst::WaitMultiple(tooMany, 0, bits));
    EXPECT_EQ(bits, 0u);
}

TEST(Wait, RemainingTimeIsWrapSafeAndFloorsAtZero) {
    struct Case {
        uint32_t start, now, ms, left;
    };
    const Case cases[] = {
        {100, 100, 50, 50},
        {100, 149, 50, 1},
        {100, 150, 50, 0},
        {100, 5000, 50, 0},
        {0xFFFFFFF0u, 0x10u, 100, 100 - 0x20},  // across the wrap: 32 ms elapsed
        {0xFFFFFFF0u, 0x60u, 100, 0},
        {0xFFFFFFF0u, 0x10u, ktst::WAIT_INFINITE, ktst::WAIT_INFINITE},
        {5, 5, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ktst::remainingMs(c.start, c.now, c.ms), c.left) << c.start << " " << c.now << " " << c.ms;
}
