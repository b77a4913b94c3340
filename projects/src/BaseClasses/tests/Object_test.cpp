// Object behaviour: history windows, accessors, velocity, class confidences, palette, update,
// merging and scaling.
#include "Object.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "object_test_util.h"

using kttl::ElapsedTime;
using kttl::TimeStamp;
using namespace objtest;

TEST(Object, HistoryWindowAndAccessors) {
    Object o = tracked(1);
    Box box(1, 1, 1, 1);
    TimeStamp t = at(99);
    ElapsedTime pos(5);
    Object::Node node;
    // An empty history: every accessor refuses and leaves its output alone.
    EXPECT_FALSE(o.newest(box) || o.newest(node, t) || o.newestTime(t) || o.newestPosition(pos) ||
                 o.oldestPosition(pos) || o.updateNewest(Box(9, 9, 9, 9)));
    EXPECT_TRUE(box == Box(1, 1, 1, 1) && t == at(99) && pos == ElapsedTime(5));
    EXPECT_TRUE(o.getMergeListSize() == 0 && o.age() == ElapsedTime(0) && o.getTrackStatus() == -1);

    EXPECT_EQ(o.insert(Box(0, 0, 0, 5), ids(), at(0)), 1u);  // no area: not the initial box
    EXPECT_EQ(o.insert(Box(1, 2, 3, 4), ids({7, 8}), at(10)), 2u);
    EXPECT_EQ(o.getInitialBox(), Box(1, 2, 3, 4));
    EXPECT_EQ(o.insert(Box(5, 6, 7, 8), ids({3}), at(16)), 2u);  // 15 s window: the node at 0 s falls out
    EXPECT_EQ(o.getHistory().begin()->first, at(10));
    EXPECT_EQ(o.getBirthTime(), at(0));  // the birth time stays
    EXPECT_EQ(o.age(), ElapsedTime(16000));
    ASSERT_TRUE(o.newest(box) && o.newestPosition(pos));
    EXPECT_TRUE(box == Box(5, 6, 7, 8) && o.getMergeListSize() == 1);
    EXPECT_EQ(pos, ElapsedTime(kBase * 1000 + 16000));
    ASSERT_TRUE(o.oldestPosition(pos));
    EXPECT_EQ(pos, ElapsedTime(kBase * 1000 + 10000));
    ASSERT_TRUE(o.updateNewest(Box(0, 0, 2, 2)) && o.newest(node, t));
    EXPECT_TRUE(node.box == Box(0, 0, 2, 2) && t == at(16));

    o.insert(Box(1, 1, 1, 1), ids(), at(25));  // exactly one window older than the newest: stays
    EXPECT_EQ(o.historySize(), 3u);
    o.clearTail();
    ASSERT_TRUE(o.historySize() == 1 && o.newest(box));
    EXPECT_EQ(box, Box(1, 1, 1, 1));
}

TEST(Object, VelocityFromCentresOrFarEdges) {
    Object o = tracked(1);
    o.setAverageVel(Box(50, 50, 10, 10));  // empty history: nothing
    EXPECT_EQ(o.getVelocityX(), 0.0f);
    o.insert(Box(10, 10, 20, 20), ids(), at(0));
    o.setAverageVel(Box(14, 10, 20, 20));  // the first measurement is taken as is
    EXPECT_TRUE(o.getVelocityX() == 4.0f && o.getVelocityY() == 0.0f);
    o.setAverageVel(Box(14, 10, 20, 20));  // 0.9 x 4 + 0.1 x 4
    EXPECT_FLOAT_EQ(o.getVelocityX(), 4.0f);
    o.setAverageVel(Box(10, 20, 20, 20));  // dx 0, dy 10
    EXPECT_FLOAT_EQ(o.getVelocityX(), 3.6f);
    EXPECT_FLOAT_EQ(o.getVelocityY(), 1.0f);

    // Boxes within 3 pixels of the left (top) border move by their right (bottom) edges.
    const struct {
        Box from, to;
        float vx, vy;
    } rows[] = {
        {Box(2, 10, 20, 20), Box(2, 10, 24, 20), 4.0f, 0.0f},  // centres would give 2
        {Box(3, 3, 20, 20), Box(3, 3, 24, 20), 2.0f, 0.0f},    // both at least 3 away: centres
        {Box(10, 0, 20, 20), Box(10, 0, 20, 26), 0.0f, 6.0f},
    };
    for (const auto& r : rows) {
        Object e = withNode(2, r.from, 0);
        e.setAverageVel(r.to);
        EXPECT_TRUE(e.getVelocityX() == r.vx && e.getVelocityY() == r.vy) << r.from.x << "," << r.from.y;
    }
}

TEST(Object, ClassConfidenceAndLabels) {
    Object o = tracked(1);
    o.getClassConfidences()["human"] = 0.8;
    o.getClassConfidences()["vehicle"] = 0.5;
    o.getClassConfidences()["huge"] = 1e300;
    const struct {
        const char* names;
        float expected;
    } rows[] = {{"Human", 0.8f}, {"human,animal", 0.8f}, {"animal", -1.0f}, {"HUMAN, Vehicle", 0.4f},
                {"", -1.0f},     {",,", -1.0f}};
    for (const auto& r : rows) EXPECT_FLOAT_EQ(o.getClassConfidence(r.names), r.expected) << r.names;
    EXPECT_EQ(o.getClassConfidence("huge"), std::numeric_limits<float>::max());  // clamped, not inf

    o.addClass("Human");  // labels are kept in lower case
    EXPECT_EQ(o.getClasses().count("human"), 1u);
    EXPECT_EQ(o.getClassRegion("face"), Box());  // no region: an empty box
    EXPECT_THROW(o.toXML("x"), kttl::Exception);
    EXPECT_THROW(o.fromXML("<Object/>"), kttl::Exception);
}

TEST(Object, PaletteAndHistogramComparison) {
    Object a = tracked(1), b = tracked(2), c = tracked(3);
    ktml::ColorHistogram h, many, blue;
    h.addColor(255, 0, 0, 5);  // bin 7, centre (240, 16, 16)
    h.addColor(0, 0, 255, 9);  // centre (16, 16, 240)
    h.addColor(0, 255, 0, 5);  // bin 56, ties with bin 7: the lower bin first
    a.setHistogram(h);
    EXPECT_EQ(a.getAttribute("Color Palette"), "#1010f0|#f01010|#10f010");
    EXPECT_TRUE(a.getHistogram() == h);
    for (int i = 0; i < 7; ++i) many.incrementBin(i * 64, i + 1);
    c.setHistogram(many);  // at most five colours, largest first
    EXPECT_EQ(c.getAttribute("Color Palette"), "#1010d0|#1010b0|#101090|#101070|#101050");
    c.setHistogram(ktml::ColorHistogram());
    EXPECT_EQ(c.getAttribute("Color Palette"), "");

    blue.addColor(0, 0, 255, 4);
    b.setHistogram(blue);
    EXPECT_DOUBLE_EQ(a.compareHistogram(a), 1.0);
    EXPECT_NEAR(a.compareHistogram(b), 1.0 - 0.5 * (5 + 5 + 10) / 19.0, 1e-6);  // 1 - distance
    c.setHistogram(ktml::ColorHistogram(4, 4, 4));
    EXPECT_DOUBLE_EQ(a.compareHistogram(c), 0.0);  // different shapes: no similarity, no throw
}

TEST(Object, UpdateTakesOverAllButTheHistogram) {
    Object mine = withNode(5, Box(0, 0, 10, 10), 1);
    ktml::ColorHistogram h;
    h.addColor(1, 2, 3, 4);
    mine.setHistogram(h);
    Object theirs("Static", ElapsedTime(3000));
    theirs.setId(9);
    theirs.insert(Box(1, 1, 10, 10), ids(), at(0.5));
    theirs.insert(Box(2, 2, 10, 10), ids({4}), at(1));
    theirs.setEstimatedPosition(Box(3, 3, 3, 3));
    theirs.setVelocity(1.5f, -2.0f);
    theirs.addClass("car");
    theirs.getClassConfidences()["vehicle"] = 0.7;
    theirs.setTrackStatus(3);
    theirs.setClassRegion("plate", Box(4, 4, 4, 4));
    theirs.setAttribute("Near Edge", "true");

    mine.update(theirs);  // same newest time: no node added
    Box box;
    ASSERT_TRUE(mine.historySize() == 1 && mine.newest(box));
    EXPECT_EQ(box, Box(0, 0, 10, 10));
    EXPECT_TRUE(mine.getId() == 9 && mine.getState() == "Static" && mine.getBirthTime() == at(0.5));
    EXPECT_TRUE(mine.getInitialBox() == Box(1, 1, 10, 10) && mine.getEstimatedPosition() == Box(3, 3, 3, 3));
    EXPECT_TRUE(mine.getVelocityX() == 1.5f && mine.getClasses().count("car") && mine.getTrackStatus() == 3);
    EXPECT_TRUE(mine.getClassConfidence("vehicle") == 0.7f &&
                mine.getClassRegion("plate") == Box(4, 4, 4, 4));
    EXPECT_EQ(mine.getAttribute("Near Edge"), "true");
    EXPECT_EQ(mine.getAttribute("Color Palette"), "");  // attributes replaced
    EXPECT_TRUE(mine.getHistogram() == h);              // histogram kept
    EXPECT_EQ(mine.getWindow(), ElapsedTime(15000));

    theirs.insert(Box(5, 5, 10, 10), ids(), at(2));
    mine.update(theirs);  // a newer node arrives
    ASSERT_TRUE(mine.historySize() == 2 && mine.newest(box));
    EXPECT_EQ(box, Box(5, 5, 10, 10));
    theirs.setFullTrack(true);
    mine.update(theirs);  // a full track replaces the history and its window
    EXPECT_TRUE(mine.isFullTrack() && mine.historySize() == 3 && mine.getWindow() == ElapsedTime(3000));
}

TEST(Object, MergeTrackAndScale) {
    Object young = withNode(20, Box(10, 10, 4, 4), 5), old = withNode(3, Box(0, 0, 4, 4), 1);
    young.insert(Box(12, 10, 4, 4), ids(), at(6));
    old.insert(Box(2, 0, 4, 4), ids(), at(2));
    ktml::ColorHistogram hy, ho;
    hy.addColor(255, 0, 0, 2);
    ho.addColor(255, 0, 0, 3);
    young.setHistogram(hy);
    old.setHistogram(ho);
    young.mergeTrack(old);
    ASSERT_EQ(young.historySize(), 4u);
    EXPECT_EQ(young.getHistory().begin()->first, at(1));  // in time order
    EXPECT_TRUE(young.getBirthTime() == at(1) && young.getInitialBox() == Box(0, 0, 4, 4));
    EXPECT_TRUE(young.getHistogram().getBinValue(7) == 5 && young.getHistogram().getTotal() == 5);
    // A later-born or never-born object does not move the birth time.
    young.mergeTrack(withNode(4, Box(9, 9, 9, 9), 8));
    young.mergeTrack(tracked(5));
    EXPECT_TRUE(young.getBirthTime() == at(1) && young.getInitialBox() == Box(0, 0, 4, 4));

    Object s = withNode(1, Box(10, 21, 31, -5), 0);
    s.setEstimatedPosition(Box(1, 1, 1, 1));
    s.setClassRegion("face", Box(3, 5, 7, 9));
    s.scale(0.5);
    Box b;
    ASSERT_TRUE(s.newest(b));
    EXPECT_TRUE(b == Box(5, 11, 16, -3) && s.getInitialBox() == b);  // halves away from zero
    EXPECT_TRUE(s.getEstimatedPosition() == Box(1, 1, 1, 1) && s.getClassRegion("face") == Box(2, 3, 4, 5));
    s.scale(1e10);
    s.newest(b);
    EXPECT_EQ(b, Box(INT_MAX, INT_MAX, INT_MAX, INT_MIN));  // saturated
}
