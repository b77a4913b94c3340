// EventDetector: the interval throttle with forced frames, carried flags and backward jumps, events
// handed over once, parameters in both forms with refused input, and real threads working on one
// detector while another drives frames.
#include "EventDetector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "../../../../libraries/src/misc/tests/TestBytes.h"
#include "Activity.h"
#include "SpyScene.h"

namespace {

// Records the position and flags of every frame it runs on. The factory cannot rebuild it, so the
// detector keeps the copy it was given (and addSpy says false).
class RecordingSpy : public FrameEventSpy {
public:
    explicit RecordingSpy(std::vector<std::pair<int64_t, uint32_t>>* seen) : FrameEventSpy("rec", ""), m_seen(seen) {}
    EventSpy* clone() const override { return new RecordingSpy(*this); }
    kttl::String getFriendlyName() const override { return "Recording"; }
    unsigned getFilterMask() const override { return 0; }
    void internalSpy(ProcessFrame& frame) override {
        m_seen->emplace_back(frame.getPosition().getMilliseconds(), frame.getFrameFlags());
    }

private:
    std::vector<std::pair<int64_t, uint32_t>>* m_seen;
};

EventDetectorParams paramsWith(const EventSpy& spy, int64_t intervalMs) {
    EventDetectorParams p{kttl::ElapsedTime(intervalMs)};
    p.getSpies().push_back(EventSpyFactory(&spy));
    return p;
}

Activity wholeFrameNewObject() { return Activity("moves", "", Activity::NewObject, 0, 10); }

}  // namespace

TEST(EventDetector, RunsSpiesOncePerIntervalUnlessForcedOrJumpedBack) {
    std::vector<std::pair<int64_t, uint32_t>> seen;
    EventDetector detector;
    ASSERT_TRUE(detector.setParameters(EventDetectorParams{kttl::ElapsedTime(200)}));
    EXPECT_FALSE(detector.addSpy(RecordingSpy(&seen))) << "not rebuildable from XML: the copy stays";
    ProcessFrame frame;
    // Flags of skipped frames are carried to the next run; the frame's own flags come back.
    const struct { int64_t ms; uint32_t flags; bool runs; uint32_t flagsSeen; } frames[] = {
        {0, 0, true, 0},    {40, 0x1, true, 0x1}, {80, 0x200, false, 0}, {120, 0x4, false, 0}, {200, 0, false, 0},
        {240, 0, true, 0x200}, {280, 0, false, 0}, {100, 0, true, 0},  {120, 0, false, 0}, {300, 0, true, 0}};
    for (const auto& f : frames) {
        loadFrame(frame, f.ms, {});
        frame.setFrameFlags(f.flags);
        const size_t before = seen.size();
        ASSERT_TRUE(detector.processFrame(frame));
        ASSERT_EQ(seen.size() - before, f.runs ? 1u : 0u) << "frame at " << f.ms;
        EXPECT_TRUE(!f.runs || seen.back().second == f.flagsSeen) << f.ms;
        EXPECT_EQ(frame.getFrameFlags(), f.flags);
    }
}

TEST(EventDetector, HandsEachNewOrUpdatedEventOverOnce) {
    EventDetector detector;
    ASSERT_TRUE(detector.setParameters(paramsWith(wholeFrameNewObject(), 0)));
    ProcessFrame frame;
    std::list<Event> first, none, updated, after;
    loadFrame(frame, 0, {mover(1, Box(0, 0, 10, 10), Box(50, 0, 10, 10))});
    ASSERT_TRUE(detector.processFrame(frame) && detector.getEvents(first) && detector.getEvents(none));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(first.front().getFrames().size() == 1u && none.empty());
    // The same event, updated; a mover that left raises nothing more.
    loadFrame(frame, 40, {mover(1, Box(0, 0, 10, 10), Box(60, 0, 10, 10))});
    ASSERT_TRUE(detector.processFrame(frame) && detector.getEvents(updated));
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().getUID(), first.front().getUID());
    EXPECT_EQ(updated.front().getStop().second.getMilliseconds(), 40);
    loadFrame(frame, 80, {});
    ASSERT_TRUE(detector.processFrame(frame) && detector.getEvents(after));
    EXPECT_TRUE(after.empty());
}

TEST(EventDetector, ParametersInBothFormsAndRefusedInput) {
    const Activity spy = wholeFrameNewObject();
    EventDetectorParams params = paramsWith(spy, 0);
    // XML: an unknown spy and a spy of a kind this build cannot create are left out; the rest is read.
    EventDetectorParams fromXml;
    ASSERT_TRUE(fromXml.xmlUnserialize(params.xmlSerialize() + "<FooSpy><name>f</name></FooSpy>" +
                                       "<ProfileSpy><name>d</name></ProfileSpy>"));
    EXPECT_TRUE(fromXml.getInterval().getMilliseconds() == 0 && fromXml.getSkipped().size() == 2u);
    EXPECT_FALSE(fromXml.xmlUnserialize("<a>"));
    EXPECT_EQ(fromXml.getSpies().size(), 1u);

    // A plain block read from the binary form configures the detector; the XML-only block too.
    const Bytes bin = binOf(params);
    ProcessParams plain;
    ASSERT_EQ(readBin(plain, bin), bin.size());
    ProcessParams xmlOnly;
    ASSERT_TRUE(xmlOnly.fromXML(params.toXML().c_str()));
    EventDetector detector, second;
    std::list<EventSpyFactory> spies, secondSpies;
    ASSERT_TRUE(detector.setParameters(plain) && detector.getSpies(spies));
    ASSERT_EQ(spies.size(), 1u);
    EXPECT_EQ(spies.front().toXML(), spy.toXML());
    EXPECT_TRUE(second.setParameters(xmlOnly) && second.getSpies(secondSpies) && secondSpies.size() == 1u);

    // Every truncated payload is refused and the block keeps its spies.
    const ktsl::MemIOStream payload = params.binSerialize();
    EventDetectorParams target = params;
    for (unsigned n = 0; n < payload.getUnreadLength(); n += 7) {
        ktsl::MemIOStream cut;
        cut.writeBytes(payload.unreadData(), n);
        ASSERT_FALSE(target.binUnserialize(cut)) << n;
    }
    EXPECT_EQ(target.getSpies().size(), 1u);
    EXPECT_TRUE(detector.renameSpy("moves", "renamed") && !detector.removeSpy("moves"));
    EXPECT_TRUE(detector.removeSpy("renamed"));
}

// One thread drives frames while others take events, list spies, add spies and set parameters.
TEST(EventDetector, StaysConsistentUnderConcurrentUse) {
    EventDetector detector;
    ASSERT_TRUE(detector.setParameters(paramsWith(wholeFrameNewObject(), 0)));
    {
        // The frame size is settled before the threads start: the base class keeps it unguarded.
        ProcessFrame first;
        loadFrame(first, 0, {});
        ASSERT_TRUE(detector.processFrame(first));
    }
    constexpr int kFrames = 400;
    std::atomic<bool> done{false};
    std::atomic<long> handed{0};
    std::thread driver([&] {
        ProcessFrame frame;
        for (int i = 0; i < kFrames; ++i) {
            loadFrame(frame, 40 + i * 40,
                      {mover(1 + i / 50, Box(0, 0, 10, 10), Box(20 + i % 50, 0, 10, 10)),
                       mover(100, Box(0, 100, 10, 10), Box(0, 100, 10, 10))});
            EXPECT_TRUE(detector.processFrame(frame));
        }
        done = true;
    });
    std::thread taker([&] {
        while (!done) {
            std::list<Event> events;
            EXPECT_TRUE(detector.getEvents(events));
            for (const Event& e : events) {
                if (e.hasAttribute("object-count")) continue;  // the Delta spy counts every object
                std::set<int> ids;
                e.getObjectIDs(EventSpy::defaultOrigin(), ids);
                EXPECT_EQ(ids.count(100), 0u) << "the mover that stays put never raises";
            }
            handed += static_cast<long>(events.size());
        }
    });
    std::thread lister([&] {
        for (std::list<EventSpyFactory> spies; !done; spies.clear())
            EXPECT_TRUE(detector.getSpies(spies) && !spies.empty());
    });
    std::thread configurer([&] {
        for (int i = 0; !done; ++i) {
            EXPECT_TRUE(detector.addSpy(Activity("extra", "", Activity::Delta, 1, 0)));
            EXPECT_TRUE(detector.setParameters(paramsWith(wholeFrameNewObject(), i % 2 ? 0 : 80)));
            std::this_thread::yield();
        }
    });
    for (std::thread* t : {&driver, &taker, &lister, &configurer}) t->join();
    std::list<Event> rest;
    detector.getEvents(rest);
    EXPECT_GT(handed + static_cast<long>(rest.size()), 0);
}
