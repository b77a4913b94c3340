// Event and EventCache: object id lists, the five-frame rule, updateData, the XML and binary forms with
// refused input, and the cache's ages and hand-over.
#include "Event.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>
#include <string>

#include "../../../../libraries/src/misc/tests/TestBytes.h"
#include "EventCache.h"

using kttl::ElapsedTime;
using kttl::TimeStamp;

namespace {

const char* const kUrl = "vantorel://localsite/*/*";

Frame frameAt(int64_t ms) {
    Frame f;
    f.setTimePosition(TimeStamp(1700000000 + ms / 1000, ms % 1000), ElapsedTime(ms));
    Object o;
    o.setId(7);
    o.insert(ktml::BoundingBox<int>(1, 2, 3, 4), {}, f.getTimeStamp());
    f.getObjects().addObject(o);
    return f;
}

Event sampleEvent() {
    Event e(Event::TimePosition(TimeStamp(1700000000, 250), ElapsedTime(40)),
            Event::TimePosition(TimeStamp(1700000003, 750), ElapsedTime(3540)), "intrusion", 2, 80);
    e.setUID(42);
    e.setSubtitle("gate & door");
    e.setOrigin("vantorel://site?a=1&b=<2>", false);
    e.setObjects({3, 7, 12}, e.getOrigin());
    e.setDescription("someone");
    e.setSpyType("ActivitySpy");
    return e;
}

}  // namespace

TEST(Event, ObjectIdListsDropThePlaceholderZero) {
    const struct { std::set<int> ids; const char* stored; std::set<int> readBack; } cases[] = {
        {{0, 4, 9}, "4,9", {4, 9}}, {{0}, "0", {}}, {{}, "", {}}, {{-1, 0, 5}, "-1,0,5", {-1, 5}}};
    for (const auto& c : cases) {
        Event e;
        std::set<int> got;
        EXPECT_TRUE(e.setObjects(c.ids, kUrl) && e.getObjectIDs(kUrl, got)) << c.stored;
        EXPECT_TRUE(e.getObjects().at(kUrl) == c.stored && got == c.readBack) << c.stored;
    }
    // Received lists are read leniently: blanks around an id, signs and leading zeros pass; other
    // tokens, 0 and values beyond an int are skipped. forEachObjectID visits repeats too.
    {
        Event sample = sampleEvent();
        const std::string xml = sample.toXML().c_str();
        const size_t at = xml.find(">3,7,12<");
        ASSERT_NE(at, std::string::npos) << xml;
        Event read;
        ASSERT_TRUE(read.fromXML((xml.substr(0, at + 1) + " 4 , x,+5,-0012,0,99999999999, 7 8,,5" +
                                  xml.substr(at + 7)).c_str()));
        std::set<int> got;
        std::vector<int> visited;
        EXPECT_TRUE(read.getObjectIDs(read.getOrigin(), got) &&
                    read.forEachObjectID(read.getOrigin(), [&](int id) { visited.push_back(id); }));
        EXPECT_EQ(got, (std::set<int>{4, 5, -12}));
        EXPECT_EQ(visited, (std::vector<int>{4, 5, -12, 5}));
    }
    // addObject answers whether the id was already present; a frame is stored once.
    Event e;
    std::set<int> got;
    EXPECT_FALSE(e.getObjectIDs(kUrl, got) || e.setObjects({1}, "") || e.addObject(4, ""));
    EXPECT_TRUE(!e.addObject(4, kUrl) && e.addObject(4, kUrl) && e.addObjects({2, 9}, kUrl));
    EXPECT_EQ(e.getObjects().at(kUrl), "2,4,9");
    Frame f = frameAt(0);
    f.setOrigin(kUrl);
    EXPECT_TRUE(e.addObject(5, f, kUrl) && !e.addObject(5, frameAt(1000), kUrl) && !e.addObject(6, f, kUrl) &&
                e.getFrames().size() == 1u);
}

TEST(Event, KeepsTheFirstFourFramesAndTheNewest) {
    Event e;
    e.setStatus(Event::Reviewed);
    for (int i = 1; i <= 7; ++i) e.addFrame(frameAt(i * 1000), kUrl, false);
    EXPECT_EQ(e.getStatus(), Event::New);
    std::vector<int64_t> positions;
    for (const Frame& f : e.getFrames()) positions.push_back(f.getPosition().getMilliseconds());
    EXPECT_EQ(positions, (std::vector<int64_t>{1000, 2000, 3000, 4000, 7000}));
    // Stored without images but asking for the native one, with full-track objects.
    const Frame& stored = e.getFrames().back();
    EXPECT_TRUE(stored.getOrigin() == kUrl && stored.imageNames().empty() && stored.getObjectsIncluded());
    EXPECT_TRUE(stored.getRequestedImages().count("Native Image") == 1u);
    EXPECT_TRUE(stored.getObjects().findObject(7)->isFullTrack());

    e.addFrame(frameAt(8000), kUrl, true);  // keep-all does not drop
    EXPECT_EQ(e.getFrames().size(), 6u);
    e.setReviewed(true);
    EXPECT_TRUE(e.getFrames().empty());
}

TEST(Event, UpdateDataRequiresTheSameUid) {
    Event a = sampleEvent(), b;
    b.setUID(43);
    const std::string before = a.toXML();
    EXPECT_TRUE(throwsEndingWith([&] { a.updateData(b, true); }, "Event::updateData()::Events do not match.") &&
                a.toXML() == before);
    b.setUID(42);
    b.addFrame(frameAt(0), kUrl, false);
    b.setConfidence(99);
    a.updateData(b, true);
    EXPECT_TRUE(a.getConfidence() == 99 && a.getType() == "alarm" && a.getFrames().size() == 1u);
    EXPECT_TRUE(!a.setConfidence(101) && a.getConfidence() == 99);
}

TEST(Event, XmlFormReadsBack) {
    const Event e = sampleEvent();
    Event r;
    ASSERT_TRUE(r.fromXML(e.toXML().c_str())) << e.toXML();
    EXPECT_EQ(r.toXML(), e.toXML());
    EXPECT_TRUE(r.getStart().second.getMilliseconds() == -1 && r.getStop().first == e.getStop().first);
    EXPECT_TRUE(r.getObjects() == e.getObjects() && r.getAttribute("description") == "someone");

    // No children, not XML: refused and unchanged. Unknown words and out-of-range numbers are ignored.
    EXPECT_FALSE(r.fromXML("<Event/>") || r.fromXML("<Event><type>"));
    EXPECT_TRUE(r.fromXML("<Event><status>gone</status><priority>70000</priority><confidence>-3</confidence>"
                          "<uid>x</uid></Event>"));
    EXPECT_TRUE(r.getStatus() == Event::New && r.getPriority() == 2 && r.getConfidence() == 80);
    EXPECT_TRUE(r.getUID() == 42u && r.getObjects().empty());
}

TEST(Event, BinaryFormReadsBackAndRefusesEveryTruncation) {
    Event e = sampleEvent();
    e.addFrame(frameAt(500), kUrl, false);
    const Bytes bin = binOf(e);
    Event r;
    EXPECT_TRUE(readBin(r, bin) == bin.size() && binOf(r) == bin);
    EXPECT_TRUE(r.getFrames().size() == 1u && r.getUpdated() == e.getUpdated());
    for (size_t n = 0; n < bin.size(); ++n)
        ASSERT_TRUE(throwsLibraryException([&] { readBin(r, Bytes(bin.begin(), bin.begin() + n)); })) << n;
    EXPECT_EQ(binOf(r), bin);

    // An objects count far beyond what the bytes hold is refused before anything is reserved. It
    // follows an empty origin 5, three stamps 9 each, two positions 8 each, "alarm" 10, empty subtitle 5.
    const Bytes head = binOf(Event());
    Bytes hostile(head.begin(), head.begin() + 5 + 3 * 9 + 2 * 8 + 10 + 5);
    put32(hostile, 0x7FFFFFFF);
    EXPECT_TRUE(fromBinRefused(r, hostile) && binOf(r) == bin);
}

TEST(EventCache, AgesHandOverAndUpdate) {
    const TimeStamp now(1700000100, 0);
    const struct { Event::Status status; int64_t ageMs; bool stays; } cases[] = {
        {Event::Reviewed, 20000, false}, {Event::New, 20000, true},   {Event::Reviewed, 15000, true},
        {Event::New, 300000, true},      {Event::New, 300001, false}, {Event::Flagged, 15001, false}};
    EventCache cache;
    uint32_t uid = 0;
    for (const auto& c : cases) {
        Event e;
        e.setUID(++uid);
        e.setStatus(c.status);
        e.setUpdated(now - ElapsedTime(c.ageMs));
        bool existed = true;
        cache.insert(e, existed);
        EXPECT_FALSE(existed);
    }
    std::set<uint32_t> removed;
    cache.clean(now, &removed);
    for (uint32_t i = 1; i <= uid; ++i) EXPECT_EQ(cache.exists(i), cases[i - 1].stays) << i;
    EXPECT_EQ(removed, (std::set<uint32_t>{1, 5, 6}));

    // New events go out once; an update makes them New again with the new data.
    std::list<Event> out, again;
    cache.getEvents(out, false);
    cache.getEvents(again, false);
    EXPECT_TRUE(out.size() == 2u && again.empty());
    Event changed, added;
    changed.setUID(2);
    changed.setType("count");
    changed.addFrame(frameAt(0), kUrl, false);
    added.setUID(99);
    cache.update({changed, added});
    std::map<unsigned, Event> byUid;
    cache.getEvents(byUid, true);
    ASSERT_EQ(byUid.size(), 2u);
    EXPECT_TRUE(byUid.at(2).getType() == "count" && byUid.at(2).getFrames().size() == 1u && cache.empty());

    // Marking reviewed without taking: nothing goes out afterwards, and the events then age out
    // after the reviewed age instead of the maximum age.
    cache.update({changed, added});
    cache.markReviewed();
    std::list<Event> none;
    cache.getEvents(none, false);
    EXPECT_TRUE(none.empty() && cache.size() == 2u);
    EXPECT_TRUE(cache.getEvent(2)->getFrames().empty());
    const TimeStamp updated = cache.getEvent(2)->getUpdated();
    cache.clean(updated + ElapsedTime(15001));
    EXPECT_TRUE(cache.empty());
}
