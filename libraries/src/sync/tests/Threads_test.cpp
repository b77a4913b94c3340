// Basic, simple, worker and timer threads run for real; every wait is bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "../../misc/tests/TestBytes.h"
#include "SyncTestUtil.h"
#include "ktst_BasicThread.h"
#include "ktst_Event.h"
#include "ktst_SimpleThread.h"
#include "ktst_TimerThread.h"
#include "ktst_WorkerThread.h"
#include "ktst_WorkerThreadEx.h"

using kttl::ElapsedTime, ktst::Event;

// Thread i of N marks bit i and waits at a gate (or for stop); `fail` 1 / 2 throws a std / other exception.
template <unsigned N>
class GateThread : public ktst::BasicThread<N> {
public:
    explicit GateThread(int failWith = 0) : fail(failWith) {}
    ~GateThread() override { this->stop(kLong); }
    void process(int index) override {
        if (fail) fail == 1 ? throw std::runtime_error("body failed") : throw 42;
        seen |= 1u << index, ++arrived;
        size_t which = 0;
        ktst::Wait({&gate, &this->m_stop}, kLongMs * 3, which);
    }
    std::atomic<unsigned> seen{0}, arrived{0};
    Event gate{true, false};
    const int fail;
};

// Ignores the stop event and sleeps in a cancellation point.
class StubbornThread : public ktst::SimpleThread {
public:
    explicit StubbornThread(bool inEvent) : blockInEvent(inEvent) {}
    ~StubbornThread() override { stop(kLong); }
    void process() override {
        inside.signal();
        for (;;) blockInEvent ? (void)never.wait(ktst::WAIT_INFINITE) : ktst::Wait(60000);
    }
    Event inside{true, false}, never{true, false};
    const bool blockInEvent;
};

// Records the hooks in order; request i answers 100 * i + the number of runs so far.
class RecordingWorker : public ktst::WorkerThreadEx<2> {
public:
    explicit RecordingWorker(uint32_t timeoutMs = ktst::WAIT_INFINITE) : WorkerThreadEx<2>(timeoutMs) {}
    ~RecordingWorker() override { stop(kLong); }
    void onInitialize() override { note("init"); }
    void onDeinitialize() override { note("deinit"); }
    bool onStart() override { return note("start"), allowStart; }
    void onStop(const ElapsedTime&) override { note("stop"); }
    void onTimeOut() override { ++timeOuts; }
    int onEvent(unsigned char index) override {
        if (index == 1 && holdSlot1) inSlot1.signal(), release.wait(kLongMs);
        return 100 * index + ++runs;
    }
    std::string hooks() { std::lock_guard<std::mutex> lock(m); return log; }
    // Starts the worker and a caller that keeps slot 1 busy until `release`; returns that caller.
    std::thread startHoldingSlot1() {
        holdSlot1 = true;
        EXPECT_TRUE(start());
        std::thread holder([this] { holderAnswered = setEvent(1, kLongMs, nullptr); });
        EXPECT_TRUE(inSlot1.wait(kLongMs));
        return holder;
    }

    bool allowStart = true, holdSlot1 = false;
    std::atomic<int> runs{0}, timeOuts{0};
    std::atomic<bool> holderAnswered{false};
    Event inSlot1{true, false}, release{true, false};
    void note(const char* what) { std::lock_guard<std::mutex> lock(m); log += what + std::string(" "); }
    std::mutex m;  // guards the log: hooks run on both the caller's and the worker's thread
    std::string log;
};

TEST(BasicThread, StartRunsOnceStartingARunningThreadFailsStopEndsItAndTimeOutsConvert) {
    GateThread<1> t;
    for (unsigned round = 1; round <= 2; ++round) {  // a finished thread can be started again
        ASSERT_TRUE(t.start() && eventually([&] { return t.arrived == round; }));
        EXPECT_TRUE(t.isRunning() && !t.start());  // already running: no second thread
        EXPECT_TRUE(t.stop(kLong) && !t.isRunning());
    }
    EXPECT_TRUE(t.arrived == 2 && t.stop(ElapsedTime(0)));  // stopping a stopped thread is harmless

    GateThread<3> three;  // several bodies: the finished event waits for the last of them
    ASSERT_TRUE(three.start() && eventually([&] { return three.arrived == 3; }));
    EXPECT_TRUE(three.seen == 0b111u && three.isRunning());
    three.gate.signal();
    EXPECT_TRUE(three.getFinishedEvent().wait(kLongMs));

    EXPECT_TRUE(ktst::toWaitMs(ElapsedTime(-5)) == 0u && ktst::toWaitMs(ElapsedTime(0xFFFFFFFEll)) == 0xFFFFFFFEu);
    const int64_t unlimited = ktst::fromWaitMs(ktst::WAIT_INFINITE).getMilliseconds();
    for (int64_t ms : {int64_t(0xFFFFFFFF), int64_t(1) << 40, unlimited})
        EXPECT_EQ(ktst::toWaitMs(ElapsedTime(ms)), ktst::WAIT_INFINITE) << ms;
}

TEST(BasicThread, ExceptionsEscapingTheBodyAreReportedAndTheThreadFinishes) {
    for (auto [fail, want] : {std::pair<int, const char*>{1, "Caught exception in ktst::BasicThread: body failed"},
                              {2, "Caught unknown exception in ktst::BasicThread."}}) {
        GateThread<1> t(fail);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(t.start() && t.getFinishedEvent().wait(kLongMs));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(want), std::string::npos) << err;
    }
}

TEST(BasicThread, AThreadThatIgnoresStopIsCancelledAtTheTimeOut) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__) || defined(KT_SANITIZED)
    // Both sanitizer runtimes break on the cancellation unwind; the plain build runs this test.
    GTEST_SKIP() << "pthread_cancel is not supported by the sanitizer runtimes";
#endif
    for (bool inEvent : {false, true}) {
        StubbornThread t(inEvent);
        ASSERT_TRUE(t.start() && t.inside.wait(kLongMs));
        EXPECT_TRUE(t.stop(ElapsedTime(20)) && !t.isRunning()) << inEvent;
    }
}


TEST(WorkerThreadEx, RequestsHandBackTheirResultBadIndexThrowsAndAStoppedWorkerRefusesAtOnce) {
    RecordingWorker refused, w, idle(5);  // a wait that times out calls onTimeOut
    refused.allowStart = false;
    EXPECT_FALSE(refused.start() || refused.isRunning());
    expectThrowMessage([&] { w.setEvent(2, 0, nullptr); }, "sync/ktst_WorkerThreadEx",
                       "ktst::WorkerThreadEx::setEvent - not a valid event.");
    // Never started, then stopped: refused without waiting out the 60 s.
    EXPECT_LT(elapsedMs([&] { EXPECT_FALSE(refused.setEvent(0, 60000, nullptr)); }), 5000u);
    ASSERT_TRUE(w.start());
    int result = -1;
    EXPECT_TRUE(w.setEvent(0, kLongMs, &result) && result == 1);
    EXPECT_TRUE(w.setEvent(1, kLongMs, &result) && result == 102);
    EXPECT_TRUE(w.stop(kLong) && w.hooks() == "start init stop deinit ") << w.hooks();
    EXPECT_LT(elapsedMs([&] { EXPECT_FALSE(w.setEvent(1, 60000, nullptr)); }), 5000u);
    EXPECT_TRUE(!w.postEvent(0) && w.runs == 2 && refused.runs == 0);
    EXPECT_TRUE(idle.start() && eventually([&] { return idle.timeOuts >= 2; }));
}

TEST(WorkerThreadEx, ABusySlotsCallerGivesUpAtItsTimeOutAndTheThreadEndingReleasesCallers) {
    RecordingWorker w, ending;
    std::thread holder = w.startHoldingSlot1();
    // Slot 1 is taken by the holder; slot 0 is free but the worker is busy in slot 1.
    EXPECT_FALSE(w.setEvent(1, 20, nullptr) || w.setEvent(0, 20, nullptr));
    w.release.signal();
    holder.join();
    // The request left behind by the timed-out caller of slot 0 still runs; new calls succeed.
    int result = 0;
    EXPECT_TRUE(w.holderAnswered && w.setEvent(0, kLongMs, &result) && result > 0);

    std::atomic<bool> answered{true};
    std::thread endingHolder = ending.startHoldingSlot1();
    std::atomic<uint32_t> waited{0};
    std::thread caller([&] { waited = elapsedMs([&] { answered = ending.setEvent(0, kLongMs, nullptr); }); });
    ktst::Wait(20);  // lets the request be pending; refused outright once stopping, the result is the same
    std::thread stopper([&] { ending.stop(kLong); });
    EXPECT_TRUE(eventually([&] { return ending.isStopping(); }));
    ending.release.signal();
    for (std::thread* t : {&stopper, &caller, &endingHolder}) t->join();
    EXPECT_TRUE(!answered && !ending.isRunning() && waited < kLongMs / 2) << waited;  // not its own time-out
}

TEST(WorkerThreadEx, EveryAnswerBeganAfterItsOwnRequest) {
    // Callers publish a value, then ask; the answer, the value seen when its run began, is never smaller.
    struct Snapshot : ktst::WorkerThreadEx<2> {
        ~Snapshot() override { stop(kLong); }
        int onEvent(unsigned char) override { const int seen = published; ktst::Wait(0); return seen; }
        std::atomic<int> published{0};
    } w;
    ASSERT_TRUE(w.start());
    std::atomic<int> stale{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            for (int i = 0; i < 50; ++i, w.postEvent(0)) {  // posts add runs that are nobody's answer
                int mine = ++w.published, answer = -1;
                stale += !w.setEvent(0, kLongMs, &answer) || answer < mine;
            }
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(stale, 0);
}


TEST(WorkerThread, RequestZeroIsNewEventAndTheTimerDrivesOnTimer) {
    struct TimedWorker : ktst::WorkerThread {
        ~TimedWorker() override { stop(kLong); }
        void onTimer() override { ++ticks; }
        void onNewEvent() override { ++news; }
        std::atomic<int> ticks{0}, news{0};
    } w;
    w.setTimer(5);
    EXPECT_TRUE(w.start() && w.setEvent(0, kLongMs, nullptr) && w.news == 1);
    EXPECT_TRUE(eventually([&] { return w.ticks >= 3; }) && w.stop(kLong));
    const int ticks = w.ticks;
    ktst::Wait(30);
    EXPECT_EQ(w.ticks, ticks);  // the timer stopped with the worker

    Event tick(false, false);
    ktst::TimerThread timer(5, tick);
    ASSERT_TRUE(timer.start() && tick.wait(kLongMs) && tick.wait(kLongMs) && tick.wait(kLongMs));
    EXPECT_TRUE(timer.stop(kLong) && !ktst::TimerThread(0).start());
}
