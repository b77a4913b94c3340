// Object behaviour: history windows, accessors, velocity, class confidences, palette, update,
// merging and scaling.
#include "Object.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using Box = ktml::BoundingBox<int>;
using kttl::ElapsedTime;
using kttl::TimeStamp;

namespace {
// Stream positions are seconds after a fixed instant, far from the zero stamp.
const int64_t kBase = 1700000000;
TimeStamp at(double seconds) { return TimeStamp(kBase, static_cast<int64_t>(seconds * 1000)); }
ktsl::List<kttl::Integer> ids(std::initializer_list<int> v) {
    ktsl::List<kttl::Integer> l;
    for (int i : v) l.push_back(kttl::Integer(i));
    return l;
}
Object tracked(uint32_t id, const char* state = "Moving") {
    Object o(state, ElapsedTime(15000));
    o.setId(id);
    return o;
}
}  // namespace

TEST(Object, HistoryWindowAndAccessors) {
    Object o = tracked(1);
    Box box(1, 1, 1, 1);
    TimeStamp t = at(99);
    ElapsedTime pos(5);
    Object::Node node;
    EXPECT_FALSE(o.newest(box));
    EXPECT_FALSE(o.newest(node, t));
    EXPECT_FALSE(o.newestTime(t));
    EXPECT_FALSE(o.newestPosition(pos));
    EXPECT_FALSE(o.oldestPosition(pos));
    EXPECT_FALSE(o.updateNewest(Box(9, 9, 9, 9)));
    EXPECT_EQ(box, Box(1, 1, 1, 1));
    EXPECT_EQ(t, at(99));
    EXPECT_EQ(pos, ElapsedTime(5));
    EXPECT_EQ(o.getMergeListSize(), 0u);
    EXPECT_EQ(o.age(), ElapsedTime(0));
    EXPECT_EQ(o.getTrackStatus(), -1);
    EXPECT_TRUE(o.getBirthTime().isZero());

    EXPECT_EQ(o.insert(Box(0, 0, 0, 5), ids({}), at(0)), 1u);  // no area: not the initial box
    EXPECT_EQ(o.insert(Box(1, 2, 3, 4), ids({7, 8}), at(10)), 2u);
    EXPECT_EQ(o.getBirthTime(), at(0));
    EXPECT_EQ(o.getInitialBox(), Box(1, 2, 3, 4));
    EXPECT_EQ(o.insert(Box(5, 6, 7, 8), ids({3}), at(16)), 2u);  // the node at 0 s falls out
    EXPECT_EQ(o.getHistory().begin()->first, at(10));
    EXPECT_EQ(o.getBirthTime(), at(0));  // the birth time stays
    EXPECT_EQ(o.age(), ElapsedTime(16000));
    ASSERT_TRUE(o.newest(box));
    EXPECT_EQ(box, Box(5, 6, 7, 8));
    EXPECT_EQ(o.getMergeListSize(), 1u);
    ASSERT_TRUE(o.newestPosition(pos));
    EXPECT_EQ(pos, ElapsedTime(kBase * 1000 + 16000));
    ASSERT_TRUE(o.oldestPosition(pos));
    EXPECT_EQ(pos, ElapsedTime(kBase * 1000 + 10000));
    ASSERT_TRUE(o.updateNewest(Box(0, 0, 2, 2)));
    ASSERT_TRUE(o.newest(node, t));
    EXPECT_EQ(node.box, Box(0, 0, 2, 2));
    EXPECT_EQ(t, at(16));

    // A node exactly one window older than the newest stays.
    o.insert(Box(1, 1, 1, 1), ids({}), at(25));
    EXPECT_EQ(o.historySize(), 3u);
    o.clearTail();
    EXPECT_EQ(o.historySize(), 1u);
    ASSERT_TRUE(o.newest(box));
    EXPECT_EQ(box, Box(1, 1, 1, 1));
}

TEST(Object, VelocityFromCentresOrFarEdges) {
    Object o = tracked(1);
    o.setAverageVel(Box(50, 50, 10, 10));  // empty history: nothing
    EXPECT_EQ(o.getVelocityX(), 0.0f);
    o.insert(Box(10, 10, 20, 20), ids({}), at(0));
    o.setAverageVel(Box(14, 10, 20, 20));
    EXPECT_FLOAT_EQ(o.getVelocityX(), 4.0f);
    EXPECT_FLOAT_EQ(o.getVelocityY(), 0.0f);
    o.setAverageVel(Box(14, 10, 20, 20));  // 0.9 x 4 + 0.1 x 4
    EXPECT_FLOAT_EQ(o.getVelocityX(), 4.0f);
    o.setAverageVel(Box(10, 20, 20, 20));  // dx 0, dy 10
    EXPECT_FLOAT_EQ(o.getVelocityX(), 3.6f);
    EXPECT_FLOAT_EQ(o.getVelocityY(), 1.0f);

    // A box cut by the left border: right edges (centres would give 2).
    Object e = tracked(2);
    e.insert(Box(2, 10, 20, 20), ids({}), at(0));
    e.setAverageVel(Box(2, 10, 24, 20));
    EXPECT_FLOAT_EQ(e.getVelocityX(), 4.0f);
    // Both at least 3 from the border: centres.
    Object c = tracked(3);
    c.insert(Box(3, 3, 20, 20), ids({}), at(0));
    c.setAverageVel(Box(3, 3, 24, 20));
    EXPECT_FLOAT_EQ(c.getVelocityX(), 2.0f);
    // Bottom edges when the box touches the top border.
    Object v = tracked(4);
    v.insert(Box(10, 0, 20, 20), ids({}), at(0));
    v.setAverageVel(Box(10, 0, 20, 26));
    EXPECT_FLOAT_EQ(v.getVelocityY(), 6.0f);
}

TEST(Object, ClassConfidenceRegionsAndLabels) {
    Object o = tracked(1);
    o.getClassConfidences()["human"] = 0.8;
    o.getClassConfidences()["vehicle"] = 0.5;
    o.getClassConfidences()["huge"] = 1e300;
    struct Row {
        const char* names;
        float expected;
    } rows[] = {{"Human", 0.8f},         {"human,animal", 0.8f}, {"animal", -1.0f},
                {"HUMAN, Vehicle", 0.4f}, {"", -1.0f},            {",,", -1.0f}};
    for (const Row& r : rows) EXPECT_FLOAT_EQ(o.getClassConfidence(r.names), r.expected) << r.names;
    EXPECT_EQ(o.getClassConfidence("huge"), std::numeric_limits<float>::max());  // clamped, not inf

    o.addClass("Human");
    EXPECT_EQ(o.getClasses().count("human"), 1u);

    EXPECT_EQ(o.getClassRegion("face"), Box());
    o.setClassRegion("face", Box(1, 2, 3, 4));
    EXPECT_TRUE(o.hasClassRegion("face"));
    EXPECT_EQ(o.getClassRegion("face"), Box(1, 2, 3, 4));
    o.clearClassRegions();
    EXPECT_FALSE(o.hasClassRegion("face"));

    try {
        o.toXML("x");
        FAIL();
    } catch (const kttl::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Object::toXML( ) - not implemented"), std::string::npos);
    }
    EXPECT_THROW(o.fromXML("<Object/>"), kttl::Exception);
}

TEST(Object, PaletteAndHistogramComparison) {
    Object o = tracked(1);
    ktml::ColorHistogram h;
    h.addColor(255, 0, 0, 5);   // bin 7, centre (240, 16, 16)
    h.addColor(0, 0, 255, 9);   // centre (16, 16, 240)
    h.addColor(0, 255, 0, 5);   // bin 56, ties with bin 7: the lower bin first
    o.setHistogram(h);
    EXPECT_EQ(o.getAttribute("Color Palette"), "#1010f0|#f01010|#10f010");
    EXPECT_TRUE(o.getHistogram() == h);

    ktml::ColorHistogram many;
    for (int i = 0; i < 7; ++i) many.incrementBin(i * 64, i + 1);
    o.setHistogram(many);
    EXPECT_EQ(kttl::String(o.getAttribute("Color Palette")).tokenize("|").size(), 5u);
    o.setHistogram(ktml::ColorHistogram());
    EXPECT_EQ(o.getAttribute("Color Palette"), "");

    Object a = tracked(1), b = tracked(2), c = tracked(3);
    ktml::ColorHistogram ha, hb;
    ha.addColor(255, 0, 0, 4);
    hb.addColor(0, 0, 255, 4);
    a.setHistogram(ha);
    b.setHistogram(hb);
    EXPECT_DOUBLE_EQ(a.compareHistogram(a), 1.0);
    EXPECT_DOUBLE_EQ(a.compareHistogram(b), 0.0);
    c.setHistogram(ktml::ColorHistogram(4, 4, 4));
    EXPECT_DOUBLE_EQ(a.compareHistogram(c), 0.0);  // different shapes: no similarity, no throw
}

TEST(Object, UpdateTakesOverAllButTheHistogram) {
    Object mine = tracked(5);
    ktml::ColorHistogram h;
    h.addColor(1, 2, 3, 4);
    mine.setHistogram(h);
    mine.insert(Box(0, 0, 10, 10), ids({}), at(1));

    Object theirs("Static", ElapsedTime(3000));
    theirs.setId(9);
    theirs.insert(Box(1, 1, 10, 10), ids({}), at(0.5));
    theirs.insert(Box(2, 2, 10, 10), ids({4}), at(1));
    theirs.setEstimatedPosition(Box(3, 3, 3, 3));
    theirs.setVelocity(1.5f, -2.0f);
    theirs.addClass("car");
    theirs.getClassConfidences()["vehicle"] = 0.7;
    theirs.setTrackStatus(3);
    theirs.setClassRegion("plate", Box(4, 4, 4, 4));
    theirs.setAttribute("Near Edge", "true");

    mine.update(theirs);  // same newest time: no node added
    EXPECT_EQ(mine.historySize(), 1u);
    Box box;
    mine.newest(box);
    EXPECT_EQ(box, Box(0, 0, 10, 10));
    EXPECT_EQ(mine.getId(), 9u);
    EXPECT_EQ(mine.getState(), "Static");
    EXPECT_EQ(mine.getBirthTime(), at(0.5));
    EXPECT_EQ(mine.getInitialBox(), Box(1, 1, 10, 10));
    EXPECT_EQ(mine.getEstimatedPosition(), Box(3, 3, 3, 3));
    EXPECT_EQ(mine.getVelocityX(), 1.5f);
    EXPECT_EQ(mine.getClasses().count("car"), 1u);
    EXPECT_EQ(mine.getTrackStatus(), 3);
    EXPECT_EQ(mine.getClassRegion("plate"), Box(4, 4, 4, 4));
    EXPECT_EQ(mine.getAttribute("Near Edge"), "true");
    EXPECT_EQ(mine.getAttribute("Color Palette"), "");  // attributes replaced
    EXPECT_TRUE(mine.getHistogram() == h);              // histogram kept
    EXPECT_EQ(mine.getWindow(), ElapsedTime(15000));

    theirs.insert(Box(5, 5, 10, 10), ids({}), at(2));
    mine.update(theirs);  // a newer node arrives
    EXPECT_EQ(mine.historySize(), 2u);
    mine.newest(box);
    EXPECT_EQ(box, Box(5, 5, 10, 10));

    theirs.setFullTrack(true);
    mine.update(theirs);  // a full track replaces the history and its window
    EXPECT_TRUE(mine.isFullTrack());
    EXPECT_EQ(mine.historySize(), 3u);
    EXPECT_EQ(mine.getWindow(), ElapsedTime(3000));
}

TEST(Object, MergeTrackAndScale) {
    Object young = tracked(20);
    young.insert(Box(10, 10, 4, 4), ids({}), at(5));
    young.insert(Box(12, 10, 4, 4), ids({}), at(6));
    Object old = tracked(3);
    old.insert(Box(0, 0, 4, 4), ids({}), at(1));
    old.insert(Box(2, 0, 4, 4), ids({}), at(2));
    ktml::ColorHistogram hy, ho;
    hy.addColor(255, 0, 0, 2);
    ho.addColor(255, 0, 0, 3);
    young.setHistogram(hy);
    old.setHistogram(ho);

    young.mergeTrack(old);
    ASSERT_EQ(young.historySize(), 4u);
    EXPECT_EQ(young.getHistory().begin()->first, at(1));  // in time order
    EXPECT_EQ(young.getBirthTime(), at(1));
    EXPECT_EQ(young.getInitialBox(), Box(0, 0, 4, 4));
    EXPECT_EQ(young.getHistogram().getBinValue(7), 5u);
    EXPECT_EQ(young.getHistogram().getTotal(), 5u);

    // A later-born or never-born object does not move the birth time.
    Object later = tracked(4);
    later.insert(Box(9, 9, 9, 9), ids({}), at(8));
    young.mergeTrack(later);
    young.mergeTrack(tracked(5));
    EXPECT_EQ(young.getBirthTime(), at(1));
    EXPECT_EQ(young.getInitialBox(), Box(0, 0, 4, 4));

    Object s = tracked(1);
    s.insert(Box(10, 21, 31, -5), ids({}), at(0));
    s.setEstimatedPosition(Box(1, 1, 1, 1));
    s.setClassRegion("face", Box(3, 5, 7, 9));
    s.scale(0.5);
    Box b;
    s.newest(b);
    EXPECT_EQ(b, Box(5, 11, 16, -3));  // halves away from zero
    EXPECT_EQ(s.getInitialBox(), Box(5, 11, 16, -3));
    EXPECT_EQ(s.getEstimatedPosition(), Box(1, 1, 1, 1));
    EXPECT_EQ(s.getClassRegion("face"), Box(2, 3, 4, 5));
    s.scale(1e10);
    s.newest(b);
    EXPECT_EQ(b, Box(INT_MAX, INT_MAX, INT_MAX, INT_MIN));  // saturated
}
