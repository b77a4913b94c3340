// EventSpy, FrameEventSpy and EventSpyFactory: confidence rounding, uid wrap, cache ages, the XML and
// binary forms with hostile input, the factory's table, and out-of-range settings.
#include "EventSpy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../../../BaseClasses/tests/support/capture_logger.h"
#include "../../../../libraries/src/misc/tests/TestBytes.h"
#include "Activity.h"
#include "EventSpyFactory.h"
#include "SpyScene.h"

namespace {

struct CountingListener : EventSpy::Listener {
    int calls = 0;
    void onSpyEvent(Event&) override { ++calls; }
};

Activity configured() {
    Activity spy("Gate", "the gate", Activity::Threshold, 3, 25);
    spy.setGUID(kttl::UUID::generate());
    spy.setPriority(2);
    spy.setMergeEvents(true);
    spy.setAlarmType("intrusion");
    spy.setAttribute("site", "north & south");
    spy.setZones({{{0.1f, 0.1f}, {0.9f, 0.1f}, {0.5f, 0.9f}}});
    spy.setClasses({"human", "vehicle"});
    spy.setMaxWidth(0.5);
    spy.setMinAge(kttl::ElapsedTime(2500));
    spy.setAlarmBlobs(true);
    return spy;
}

}  // namespace

TEST(EventSpy, ConfidenceRoundsToPercent) {
    const struct { float in; unsigned short out; } cases[] = {
        {0.25f, 25}, {0.996f, 100}, {-0.5f, 0}, {700.0f, 65535}, {1.0f, 100}, {NAN, 0}};
    for (const auto& c : cases) EXPECT_EQ(EventSpy::toPercent(c.in), c.out) << c.in;

    Activity spy;
    CountingListener listener;
    spy.setListener(&listener);
    ProcessFrame frame;
    loadFrame(frame, 0, {});
    const uint32_t uid = spy.addEventFrame(0, frame, 0.25f, "sub", nullptr);
    ASSERT_NE(uid, 0u);
    loadFrame(frame, 40, {});
    EXPECT_EQ(spy.addEventFrame(uid, frame, 7.0f), uid);
    std::list<Event> events;
    spy.getEvents(events);
    ASSERT_EQ(events.size(), 1u);
    const Event& e = events.front();
    EXPECT_EQ(e.getConfidence(), 25) << "700 % is refused";
    EXPECT_TRUE(e.getSubtitle() == "sub" && e.getStop().second.getMilliseconds() == 40);
    EXPECT_EQ(listener.calls, 2);
    EXPECT_TRUE(e.getOrigin() == EventSpy::defaultOrigin() && e.getSpyType() == "ActivitySpy");
}

TEST(EventSpy, UidsWrapPastZeroAndLiveEvents) {
    Activity a, b;
    Event held;
    held.setUID(1);
    EXPECT_EQ(b.addEvent(held, nullptr, true), 1u) << "kept uid";
    EventSpy::mNextUID = 0xFFFFFFFEu;
    EXPECT_EQ(a.addEvent(Event(), nullptr, false), 0xFFFFFFFFu);
    EXPECT_EQ(a.addEvent(Event(), nullptr, false), 2u) << "0 and the live uid 1 are skipped";
    // A uid the cache does not hold is replaced unless kept.
    Event stale;
    stale.setUID(777);
    EXPECT_NE(a.addEvent(stale, nullptr, false), 777u);
    b.reset();
    EventSpy::mNextUID = 0;
    EXPECT_EQ(a.addEvent(Event(), nullptr, false), 1u) << "uid 1 is free again after the reset";
}

TEST(EventSpy, CleanAgesEventsAndForgetsTheirObjects) {
    Activity spy("n", "", Activity::NewObject, 0, 10);
    ProcessFrame frame;
    loadFrame(frame, 0, {mover(5, Box(0, 0, 10, 10), Box(40, 0, 10, 10))});
    spy.spy(frame);
    EXPECT_EQ(spy.getObjectEvents().count(5), 1u);
    // The ages themselves are the event cache's test: here a reviewed event goes after 15 s, and with it
    // the link from its object.
    const kttl::TimeStamp now = kttl::TimeStamp::systemTime();
    std::list<Event> events;
    spy.getEvents(events);
    spy.clean(now + kttl::ElapsedTime(16000));
    EXPECT_TRUE(spy.cachedEventCount() == 0 && spy.getObjectEvents().empty());
}

TEST(EventSpy, XmlAndBinaryFormsReadBack) {
    const Activity spy = configured();
    Activity fromXml, fromBin;
    ASSERT_TRUE(fromXml.fromXML(spy.toXML().c_str())) << spy.toXML();
    EXPECT_EQ(fromXml.toXML(), spy.toXML());
    EXPECT_TRUE(fromXml.getGUID() == spy.getGUID() && fromXml.getAttribute("site") == "north & south");
    const Bytes bin = binOf(spy);
    EXPECT_TRUE(readBin(fromBin, bin) == bin.size() && binOf(fromBin) == bin);
    EXPECT_EQ(fromBin.toXML(), spy.toXML());

    // Refused input leaves the spy as it was.
    for (size_t n = 0; n < bin.size(); n += 3)
        ASSERT_TRUE(fromBinRefused(fromBin, Bytes(bin.begin(), bin.begin() + n))) << n;
    Bytes flipped = bin;
    flipped[4] ^= 0x40;  // the first record's type id
    EXPECT_TRUE(fromBinRefused(fromBin, flipped));
    EXPECT_FALSE(fromBin.fromXML("<ActivitySpy/>"));
    EXPECT_FALSE(fromBin.fromXML("<ActivitySpy><EventSpy/></ActivitySpy>"));
    EXPECT_EQ(fromBin.toXML(), spy.toXML());
}

TEST(EventSpyFactory, TypeTableAliasPresetAndRefusals) {
    const struct { const char* name; int type; } types[] = {
        {"activityspy", 1009}, {"TripwireSpy", 1008}, {"ProfileSpy", 1026}, {"Nope", 0}};
    for (const auto& t : types) EXPECT_EQ(EventSpyFactory::getSpyType(t.name), t.type) << t.name;

    EventSpyFactory factory;
    ASSERT_TRUE(factory.fromXML("<CapacityActivitySpy/>"));
    const Activity* preset = dynamic_cast<const Activity*>(factory.getSpy());
    ASSERT_NE(preset, nullptr);
    EXPECT_TRUE(preset->getType() == Activity::Threshold && preset->getMaxActivity() == 1);
    EXPECT_TRUE(preset->getMinDistance() == 50u && preset->getAlarmBlobs());

    // Round trip through the factory's binary form, then hostile ids.
    const Activity spy = configured();
    EventSpyFactory held(&spy), copy;
    const Bytes bin = binOf(held);
    EXPECT_TRUE(readBin(copy, bin) == bin.size() && copy.toXML() == spy.toXML());
    Bytes unknown = bin, direction = bin;
    unknown[0] = 0x39;  // 1081: no such spy
    EXPECT_TRUE(fromBinRefused(copy, unknown));
    direction[0] = 0xF6;  // 1014: a kind this build cannot create
    EXPECT_TRUE(throwsEndingWith([&] { readBin(copy, direction); },
                                 "spy type OpticalFlowSpy (1014) is not available in this build"));
    EXPECT_EQ(copy.toXML(), spy.toXML());
    EXPECT_FALSE(copy.fromXML("<OpticalFlowSpy><name>x</name></OpticalFlowSpy>"));
    EXPECT_EQ(copy.getLastError(), "spy type OpticalFlowSpy (1014) is not available in this build");
    EXPECT_FALSE(copy.fromXML("<Whatever><name>x</name></Whatever>"));
    EXPECT_EQ(copy.toXML(), spy.toXML());
}

TEST(FrameEventSpy, OutOfRangeSettingsAreRefusedWithAWarning) {
    Activity spy;
    ASSERT_TRUE(spy.fromXML("<ActivitySpy><EventSpy><name>s</name><max-age unit=\"second\">-5</max-age>"
                            "<zones><zone><vertex x=\"0\" y=\"0\"/><vertex x=\"1\" y=\"1\"/></zone></zones>"
                            "<max-width>-0.5</max-width><max-height>nan</max-height></EventSpy>"
                            "<type>NewObject</type><min-age unit=\"millisecond\">-1</min-age></ActivitySpy>"));
    EXPECT_TRUE(spy.getMaxWidth() == 1.0f && spy.getMaxHeight() == 1.0f);
    EXPECT_TRUE(spy.getMinAge().getMilliseconds() == 1000 && spy.getMaxAge().getMilliseconds() == EventSpy::kDefaultMaxAgeMs);
    EXPECT_TRUE(spy.getZones().empty()) << "a two-point zone is dropped: the whole frame is watched";
    EXPECT_FALSE(spy.setMinAge(kttl::ElapsedTime(FrameEventSpy::kMaxMinAgeMs + 1)));
    EXPECT_TRUE(spy.setMinAge(kttl::ElapsedTime(FrameEventSpy::kMaxMinAgeMs)));
    spy.setMinAge(kttl::ElapsedTime(1000));
    EXPECT_FALSE(spy.setMaxWidth(std::numeric_limits<double>::quiet_NaN()));

    CaptureLogger logger;
    spy.setLogger(&logger);
    EXPECT_EQ(logger.lines().size(), 8u) << "warnings kept until a logger is set";
    EXPECT_TRUE(logger.has("WARN s: max-width -0.5 refused, keeping 1"));
    // The spy still works: an object anywhere in the frame qualifies.
    ProcessFrame frame;
    loadFrame(frame, 0, {mover(1, Box(0, 0, 10, 10), Box(200, 200, 10, 10), 3, 5000)});
    spy.spy(frame);
    EXPECT_EQ(spy.cachedEventCount(), 1);
}
