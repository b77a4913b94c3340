// Object and ObjectMap: history, accessors, velocity, classes, palette, update, merging, scaling; lookup, swap,
// newest-only maps, duplicates; binary forms (full and newest-only tracks, readers, refused and fuzzed input).
#include "ObjectMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "../../../../libraries/src/misc/tests/TestBytes.h"

using kttl::ElapsedTime;
using kttl::TimeStamp;

using Box = ktml::BoundingBox<int>;

// Stream positions are seconds after a fixed instant, far from the zero stamp.
const int64_t kBase = 1700000000;
static TimeStamp at(double seconds) { return TimeStamp(kBase, static_cast<int64_t>(seconds * 1000)); }

static ktsl::List<kttl::Integer> ids(std::initializer_list<int> v = {}) {
    ktsl::List<kttl::Integer> l; for (int i : v) l.push_back(kttl::Integer(i));
    return l;
}

// An object with the tracker's 15 s window (or another) and the given id, optionally with one node.
static Object tracked(uint32_t id, const char* state = "Moving", int64_t windowMs = 15000) {
    Object o(state, ElapsedTime(windowMs)); o.setId(id); return o;
}
static Object withNode(uint32_t id, const Box& box, double seconds, const char* state = "Moving") {
    Object o = tracked(id, state); o.insert(box, ids(), at(seconds)); return o;
}

// Every member set: `nodes` nodes from 1 s on, every 0.5 s, odd ones with a merged id.
static Object sample(uint32_t id, int nodes, bool full, const char* state = "Moving", int64_t windowMs = 15000) {
    Object o = tracked(id, state, windowMs);
    for (int i = 0; i < nodes; ++i)
        o.insert(Box(10 + i, 20, 30, 40 + i), i % 2 ? ids({100 + i}) : ids(), at(1 + 0.5 * i));
    o.setFullTrack(full), o.setEstimatedPosition(Box(-1, -2, 3, 4)), o.setVelocity(1.25f, -0.5f), o.addClass("human");
    o.getClassConfidences()["human"] = 0.75, o.getClassConfidences()["animal"] = 0.125, o.setTrackStatus(3);
    o.setClassRegion("face", Box(1, 2, 3, 4)), o.setAttribute("Near Edge", "false");
    ktml::ColorHistogram h;
    h.addColor(200, 30, 30, 11), h.addColor(10, 10, 250, 4), o.setHistogram(h);
    return o;
}

static bool readsAll(ktsl::Serializable& v, const Bytes& b) { return readBin(v, b) == b.size(); }
static std::vector<unsigned> idsOf(const ObjectMap& m) {
    std::vector<unsigned> v; for (const auto& e : m) v.push_back(e.second.getId());
    return v;
}

TEST(Object, HistoryWindowAndAccessors) {
    Object o = tracked(1); Object::Node node;
    Box box(1, 1, 1, 1); TimeStamp t = at(99); ElapsedTime pos(5);
    // An empty history: every accessor refuses and leaves its output alone.
    EXPECT_FALSE(o.newest(box) || o.newest(node, t) || o.newestTime(t) || o.newestPosition(pos) ||
                 o.oldestPosition(pos) || o.updateNewest(Box(9, 9, 9, 9)));
    EXPECT_TRUE(box == Box(1, 1, 1, 1) && t == at(99) && pos == ElapsedTime(5));
    EXPECT_TRUE(o.getMergeListSize() == 0 && o.age() == ElapsedTime(0) && o.getTrackStatus() == -1);

    EXPECT_TRUE(o.insert(Box(0, 0, 0, 5), ids(), at(0)) == 1u &&  // no area: not the initial box
                o.insert(Box(1, 2, 3, 4), ids({7, 8}), at(10)) == 2u && o.getInitialBox() == Box(1, 2, 3, 4));
    EXPECT_EQ(o.insert(Box(5, 6, 7, 8), ids({3}), at(16)), 2u);  // 15 s window: the node at 0 s falls out
    EXPECT_TRUE(o.getHistory().begin()->first == at(10) && o.getBirthTime() == at(0) &&  // birth time stays
                o.age() == ElapsedTime(16000));
    EXPECT_TRUE(o.newest(box) && box == Box(5, 6, 7, 8) && o.getMergeListSize() == 1);
    EXPECT_TRUE(o.newestPosition(pos) && pos == ElapsedTime(kBase * 1000 + 16000) && o.oldestPosition(pos) &&
                pos == ElapsedTime(kBase * 1000 + 10000));
    EXPECT_TRUE(o.updateNewest(Box(0, 0, 2, 2)) && o.newest(node, t) && node.box == Box(0, 0, 2, 2) &&
                t == at(16));

    EXPECT_EQ((o.insert(Box(1, 1, 1, 1), ids(), at(25)), o.historySize()), 3u);  // one window older: stays
    EXPECT_TRUE((o.clearTail(), o.historySize() == 1) && o.newest(box) && box == Box(1, 1, 1, 1));
}

TEST(Object, VelocityFromCentresOrFarEdges) {
    Object o = tracked(1);
    EXPECT_EQ((o.setAverageVel(Box(50, 50, 10, 10)), o.getVelocityX()), 0.0f);  // empty history: nothing
    o.insert(Box(10, 10, 20, 20), ids(), at(0));
    EXPECT_TRUE((o.setAverageVel(Box(14, 10, 20, 20)), o.getVelocityX() == 4.0f) &&  // first taken as is
                o.getVelocityY() == 0.0f);
    o.setAverageVel(Box(14, 10, 20, 20)), o.setAverageVel(Box(10, 20, 20, 20));  // 0.9 x 4 + 0.1 x 4; dx 0, dy 10
    EXPECT_FLOAT_EQ(o.getVelocityX(), 3.6f);
    EXPECT_FLOAT_EQ(o.getVelocityY(), 1.0f);

    // Boxes within 3 pixels of the left (top) border move by their right (bottom) edges.
    const struct { Box from, to; float vx, vy; } rows[] = {
        {Box(2, 10, 20, 20), Box(2, 10, 24, 20), 4.0f, 0.0f},  // centres would give 2
        {Box(3, 3, 20, 20), Box(3, 3, 24, 20), 2.0f, 0.0f},    // both at least 3 away: centres
        {Box(10, 0, 20, 20), Box(10, 0, 20, 26), 0.0f, 6.0f}};
    for (const auto& r : rows) {
        Object e = withNode(2, r.from, 0); e.setAverageVel(r.to);
        EXPECT_TRUE(e.getVelocityX() == r.vx && e.getVelocityY() == r.vy) << r.from.x << "," << r.from.y;
    }
}

TEST(Object, ClassConfidenceAndLabels) {
    Object o = tracked(1);
    o.getClassConfidences()["human"] = 0.8, o.getClassConfidences()["vehicle"] = 0.5, o.getClassConfidences()["huge"] = 1e300;
    const struct { const char* names; float expected; } rows[] = {
        {"Human", 0.8f}, {"human,animal", 0.8f}, {"animal", -1.0f}, {"HUMAN, Vehicle", 0.4f}, {"", -1.0f}, {",,", -1.0f}};
    for (const auto& r : rows) EXPECT_FLOAT_EQ(o.getClassConfidence(r.names), r.expected) << r.names;
    EXPECT_EQ(o.getClassConfidence("huge"), std::numeric_limits<float>::max());  // clamped, not inf

    o.addClass("Human");  // labels are kept in lower case; no region gives an empty box
    EXPECT_TRUE(o.getClasses().count("human") == 1u && o.getClassRegion("face") == Box());
}

TEST(Object, PaletteAndHistogramComparison) {
    Object a = tracked(1), b = tracked(2), c = tracked(3);
    ktml::ColorHistogram h, many, blue;
    // Bin 7, centre (240, 16, 16); centre (16, 16, 240); bin 56, ties with bin 7: the lower bin first.
    h.addColor(255, 0, 0, 5), h.addColor(0, 0, 255, 9), h.addColor(0, 255, 0, 5);
    EXPECT_TRUE((a.setHistogram(h), a.getAttribute("Color Palette") == "#1010f0|#f01010|#10f010") && a.getHistogram() == h);
    for (int i = 0; i < 7; ++i) many.incrementBin(i * 64, i + 1);
    EXPECT_EQ((c.setHistogram(many), c.getAttribute("Color Palette")),  // at most five, largest first
              "#1010d0|#1010b0|#101090|#101070|#101050");
    EXPECT_EQ((c.setHistogram(ktml::ColorHistogram()), c.getAttribute("Color Palette")), "");

    blue.addColor(0, 0, 255, 4), b.setHistogram(blue);
    EXPECT_NEAR(a.compareHistogram(b), 1.0 - 0.5 * (5 + 5 + 10) / 19.0, 1e-6);  // 1 - distance
    EXPECT_DOUBLE_EQ((c.setHistogram(ktml::ColorHistogram(4, 4, 4)), a.compareHistogram(c)), 0.0);  // other shape
}

TEST(Object, UpdateTakesOverAllButTheHistogram) {
    const Object theirs = sample(9, 3, false, "Static", 3000);  // nodes at 1, 1.5 and 2 s
    Object mine = withNode(5, Box(0, 0, 10, 10), 2);
    ktml::ColorHistogram h; Box box;
    h.addColor(1, 2, 3, 4), mine.setHistogram(h), mine.update(theirs);  // same newest time: no node added
    EXPECT_TRUE(mine.historySize() == 1 && mine.newest(box) && box == Box(0, 0, 10, 10));
    EXPECT_TRUE(mine.getId() == 9 && mine.getState() == "Static" && mine.getBirthTime() == at(1));
    EXPECT_TRUE(mine.getInitialBox() == Box(10, 20, 30, 40) && mine.getEstimatedPosition() == Box(-1, -2, 3, 4));
    EXPECT_TRUE(mine.getVelocityY() == -0.5f && mine.getClasses() == theirs.getClasses() && mine.getTrackStatus() == 3 &&
                mine.getClassConfidence("animal") == 0.125f && mine.getClassRegions() == theirs.getClassRegions());
    // Attributes replaced (the palette with them), histogram and window kept.
    EXPECT_TRUE(mine.getAttributeMap() == theirs.getAttributeMap() && mine.getHistogram() == h &&
                mine.getWindow() == ElapsedTime(15000));

    Object newer = theirs;
    newer.insert(Box(5, 5, 10, 10), ids(), at(3)), mine.update(newer);  // a newer node arrives
    EXPECT_TRUE(mine.historySize() == 2 && mine.newest(box) && box == Box(5, 5, 10, 10));
    newer.setFullTrack(true), mine.update(newer);  // a full track replaces the history and its window
    EXPECT_TRUE(mine.isFullTrack() && mine.historySize() == 4 && mine.getWindow() == ElapsedTime(3000));
}

TEST(Object, MergeTrackAndScale) {
    Object young = withNode(20, Box(10, 10, 4, 4), 5), old = withNode(3, Box(0, 0, 4, 4), 1);
    young.insert(Box(12, 10, 4, 4), ids(), at(6)), old.insert(Box(2, 0, 4, 4), ids(), at(2));
    ktml::ColorHistogram hy, ho;
    hy.addColor(255, 0, 0, 2), ho.addColor(255, 0, 0, 3), young.setHistogram(hy), old.setHistogram(ho);
    young.mergeTrack(old);
    ASSERT_EQ(young.historySize(), 4u);
    EXPECT_TRUE(young.getHistory().begin()->first == at(1) && (++young.getHistory().begin())->first == at(2));
    EXPECT_TRUE(young.getBirthTime() == at(1) && young.getInitialBox() == Box(0, 0, 4, 4));
    EXPECT_TRUE(young.getHistogram().getBinValue(7) == 5 && young.getHistogram().getTotal() == 5);
    // A later-born or never-born object does not move the birth time.
    young.mergeTrack(withNode(4, Box(9, 9, 9, 9), 8)), young.mergeTrack(tracked(5));
    EXPECT_TRUE(young.getBirthTime() == at(1) && young.getInitialBox() == Box(0, 0, 4, 4));

    Object s = withNode(1, Box(10, 21, 31, -5), 0);
    s.setEstimatedPosition(Box(1, 1, 1, 1)), s.setClassRegion("face", Box(3, 5, 7, 9)), s.scale(0.5);
    Box b;
    EXPECT_TRUE(s.newest(b) && b == Box(5, 11, 16, -3) && s.getInitialBox() == b);  // halves away from zero
    EXPECT_TRUE(s.getEstimatedPosition() == Box(1, 1, 1, 1) && s.getClassRegion("face") == Box(2, 3, 4, 5));
    EXPECT_TRUE((s.scale(1e10), s.newest(b)) && b == Box(INT_MAX, INT_MAX, INT_MAX, INT_MIN));  // saturated
}

TEST(ObjectMap, FindSwapAndFollowANewestOnlyMap) {
    ObjectMap m;
    m.addObject(withNode(7, Box(0, 0, 5, 5), 1)), m.addObject(withNode(3, Box(9, 9, 2, 2), 1, "Static"));
    EXPECT_TRUE(idsOf(m) == std::vector<unsigned>({3, 7}) && m.findObject(7) && !m.findObject(8));  // ascending
    const ObjectMap before = m;
    EXPECT_FALSE(m.swapObjects(3, 99) || m.swapObjects(99, 3) || m.findObject(3)->getState() != "Static");
    ASSERT_TRUE(m.swapObjects(3, 7));  // contents exchanged, ids follow the keys
    EXPECT_TRUE(m.findObject(3)->getState() == "Moving" && m.findObject(3)->getId() == 3);
    EXPECT_TRUE(m.findObject(7)->getState() == "Static" && m.findObject(7)->getId() == 7);
    Box b;  // the copy is deep
    EXPECT_TRUE(m.findObject(3)->newest(b) && b == Box(0, 0, 5, 5) && before.findObject(3)->getState() == "Static");

    // A map updated from newest-only maps follows them.
    ObjectMap reader, frame1, frame2, frame3;
    frame1.addObject(withNode(1, Box(0, 0, 4, 4), 1)), frame1.addObject(withNode(2, Box(8, 8, 4, 4), 1, "Static"));
    reader.update(frame1, ElapsedTime(2000));
    ASSERT_EQ(idsOf(reader), (std::vector<unsigned>{1, 2}));
    // Created with the given window.
    EXPECT_TRUE(reader.findObject(2)->getState() == "Static" &&
                reader.findObject(1)->getWindow() == ElapsedTime(2000));

    frame2.addObject(withNode(1, Box(1, 0, 4, 4), 2)), frame2.addObject(withNode(5, Box(3, 3, 3, 3), 2));
    reader.update(frame2, ElapsedTime(2000));
    ASSERT_TRUE(idsOf(reader) == std::vector<unsigned>({1, 5}) &&  // 2 vanished, 5 appeared
                reader.findObject(1)->historySize() == 2u);        // history accumulated
    reader.update(frame2, ElapsedTime(2000));                 // the same frame again adds nothing
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);
    frame3.addObject(withNode(1, Box(2, 0, 4, 4), 4)), reader.update(frame3, ElapsedTime(2000));
    EXPECT_EQ(reader.findObject(1)->historySize(), 2u);  // the node at 1 s left the 2 s window
}

TEST(ObjectMap, RemoveDuplicates) {
    const Object a = withNode(1, Box(0, 0, 10, 10), 1), halfRight = withNode(2, Box(5, 0, 10, 10), 1);
    const struct { const char* what; std::vector<Object> objects; float tolerance; std::vector<unsigned> kept; } cases[] = {
        {"identical newest boxes at the same time: the lower id survives",
         {withNode(9, Box(0, 0, 10, 10), 1), withNode(4, Box(0, 0, 10, 10), 1),
          withNode(6, Box(0, 0, 10, 10), 2), withNode(7, Box(0, 0, 10, 11), 1),
          Object()},  // other time; not identical; no node
         0.0f, {0, 4, 6, 7}},
        {"overlap of half of A's box is not above 0.5", {a, halfRight}, 0.5f, {1, 2}},
        {"but above 0.49", {a, halfRight}, 0.49f, {1}},
        {"a small box inside a large one is covered as A: the larger ids go",
         {withNode(1, Box(0, 0, 100, 100), 1), withNode(2, Box(10, 10, 10, 10), 1),
          withNode(3, Box(50, 50, 10, 10), 1)},
         0.9f, {1}},
        {"a box without area is never the measure",
         {withNode(1, Box(0, 0, 0, 0), 1), withNode(2, Box(0, 0, 0, 0), 1)}, 0.5f, {1, 2}}};
    for (const auto& c : cases) {
        ObjectMap m; for (const Object& o : c.objects) m.addObject(o);
        EXPECT_EQ((m.removeDuplicates(c.tolerance), idsOf(m)), c.kept) << c.what;
    }
}

TEST(ObjectBinary, FullTrackRoundTrips) {
    const Object o = sample(42, 5, true);
    const Bytes b = binOf(o);
    EXPECT_TRUE(b[0] == 42 && b[4] == 1);  // id, full-track flag
    Object back;
    EXPECT_TRUE(readBin(back, b) == b.size() && back == o && back.historySize() == 5 && binOf(back) == b);

    // The track part is the object-stream form that serializeTrack writes.
    ktsl::MemIOStream track;
    o.serializeTrack(track);
    const Bytes tb = binOf(track);
    ASSERT_TRUE(5 + tb.size() <= b.size() && std::equal(tb.begin(), tb.end(), b.begin() + 5));
    ElapsedTime duration; TimeStamp first;
    EXPECT_TRUE((track.read(duration), track.read(first), duration == ElapsedTime(2000)) && first == at(1));
}

TEST(ObjectBinary, NewestOnlyStaticAndEmptyTracksAndReaderHistory) {
    const Object newestOnly = sample(7, 4, false);
    const Bytes b = binOf(newestOnly);
    Object back, sback, eback; Box box;
    ASSERT_EQ(readBin(back, b), b.size());
    EXPECT_TRUE(back.historySize() == 1 && back.newest(box) && box == Box(13, 20, 30, 43));
    // The members beyond the track are whole.
    EXPECT_TRUE(back.getMergeListSize() == 1 && back.getBirthTime() == at(1) &&
                back.getAttribute("Color Palette") == newestOnly.getAttribute("Color Palette"));
    // The duration still describes the sender's whole history, so the bytes settle after one generation.
    const Bytes again = binOf(back); Object third;
    EXPECT_TRUE(readBin(third, again) == again.size() && binOf(third) == again);

    // A static object sends only its newest node even with the full-track flag.
    const Bytes sb = binOf(sample(8, 4, true, "Static"));
    EXPECT_TRUE(readBin(sback, sb) == sb.size() && sback.historySize() == 1 && sback.isFullTrack() &&
                sb.size() < binOf(sample(8, 4, true)).size());

    // An empty history travels as one placeholder node and reads back empty.
    const Object empty("Moving", ElapsedTime(15000));
    EXPECT_TRUE(readBin(eback, binOf(empty)) == binOf(empty).size() && eback.historySize() == 0 && eback == empty);

    // A reader accumulates newest-only history.
    Object writer = tracked(3), reader;
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(readsAll(reader, (writer.insert(Box(i, i, 5, 5), ids(), at(i)), binOf(writer))));
    EXPECT_TRUE(reader.historySize() == 6 && reader.getHistory().begin()->first == at(0));

    // A full track empties the reader's history first; the window grows to the track's duration.
    Object longTrack("Moving", ElapsedTime(30000));
    for (int i = 0; i <= 20; ++i) longTrack.insert(Box(1, 1, 1, 1), ids(), at(100 + i));
    ASSERT_TRUE(readsAll(reader, (longTrack.setFullTrack(true), binOf(longTrack))));
    EXPECT_TRUE(reader.historySize() == 21 && reader.getWindow() == ElapsedTime(20000) &&
                reader.getHistory().begin()->first == at(100));
}

TEST(ObjectBinary, RefusesTruncatedAndInconsistentInputAndStaysUnchanged) {
    const Object original = sample(5, 3, true);
    const Bytes b = binOf(sample(9, 4, true));
    Object o = original;
    for (size_t n = 0; n < b.size(); ++n)
        EXPECT_TRUE(throwsLibraryException([&] { readBin(o, Bytes(b.begin(), b.begin() + n)); }) &&
                    o == original) << n;
    // A track record of the wrong type (the duration's id changed to a string's), and a track
    // length pointing past the input.
    Bytes wrongType = b, longTrack = b;
    wrongType[9] = 0xF5, wrongType[10] = 0x01;  // first record's type id: 501
    longTrack[5] = longTrack[6] = longTrack[7] = longTrack[8] = 0xFF;
    EXPECT_TRUE(fromBinRefused(o, wrongType) && o == original);
    EXPECT_TRUE(throwsLibraryException([&] { readBin(o, longTrack); }) && o == original);
}

TEST(ObjectBinary, ObjectMapRoundTrips) {
    ObjectMap m, back;
    m.addObject(sample(1, 3, true)), m.addObject(sample(2, 2, false, "Static")), m.addObject(Object());
    const Bytes b = binOf(m);
    ASSERT_TRUE(readBin(back, b) == b.size() && back.size() == 3u);
    EXPECT_TRUE(*back.findObject(1) == *m.findObject(1) && *back.findObject(0) == *m.findObject(0));
    const Object* two = back.findObject(2);
    EXPECT_TRUE(two->historySize() == 1 && two->getState() == "Static" && two->getTrackStatus() == 3);
    for (size_t n = 0; n < b.size(); n += 7)
        EXPECT_TRUE(throwsLibraryException([&] { readBin(back, Bytes(b.begin(), b.begin() + n)); }) && back.size() == 3) << n;
}

// Mutated forms of every track kind and random bytes: each is read within its length or refused
// with the library exception; under the address sanitizer an overrun fails loudly.
TEST(ObjectBinary, MutatedOrRandomInputIsReadWithinItsLengthOrRefused) {
    std::mt19937 rng(20240611);
    ktml::ColorHistogram odd(2, 4, 8);  // a shape of its own
    odd.addColor(1, 2, 3, 4);
    std::vector<Bytes> seeds;
    for (int variant = 0; variant < 12; ++variant) {
        Object o = sample(rng(), variant % 3 * 2, variant & 4, variant & 8 ? "Static" : "Moving");
        if (variant & 1) o.setHistogram(odd);
        seeds.push_back(binOf(o));
    }
    for (int round = 0; round < 6000; ++round) {
        Bytes x = seeds[rng() % seeds.size()];
        if (round % 3 == 0) x.resize(rng() % 201), std::generate(x.begin(), x.end(), [&] { return uint8_t(rng()); });
        else for (int k = 1 + rng() % 4; k > 0; --k) x[rng() % x.size()] = uint8_t(rng());
        if (round % 3 && rng() % 2) x.resize(rng() % (x.size() + 1));
        Object y; ObjectMap z;
        for (ktsl::Serializable* v : {static_cast<ktsl::Serializable*>(&y), static_cast<ktsl::Serializable*>(&z)})
            try { EXPECT_LE(readBin(*v, x), x.size()); } catch (const kttl::Exception&) {}
    }
}
