// Polygons: point-in-polygon on edges and vertices, boxes, edges, conversion, XML and binary forms.
#include "ktml_Polygon2d.h"

#include <gtest/gtest.h>

#include <climits>

#include "../../misc/tests/TestBytes.h"

using ktml::Point2D;
using ktml::Polygon2D;

TEST(Polygon, ContainsOnEdgesAndVertices) {
    const Polygon2D<int> sq{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const struct { double x, y; bool in; } rows[] = {
        {5, 5, true},   {-1, 5, false}, {11, 5, false},  {5, -0.1, false}, {5, 10.1, false},
        {0, 5, true},   {10, 5, true},  // on the vertical edges: inside at once
        {5, 0, true},                   // level with the bottom edge's end points: the side edges decide
        {5, 10, false},                 // level with the top edge: neither side edge spans y = 10
        {0, 0, true},   {10, 0, true},  {10, 10, false}, {0, 10, false},   {9.999, 9.999, true},
    };
    for (const auto& r : rows) EXPECT_EQ(sq.contains(r.x, r.y), r.in) << r.x << "," << r.y;

    // A triangle's apex is shared by two edges; only one of them passes the half-open test, so a
    // point level with the apex crosses once, not twice.
    const Polygon2D<float> tri{{0, 0}, {10, 5}, {0, 10}};
    EXPECT_TRUE(tri.contains(2.0, 5.0));
    EXPECT_FALSE(tri.contains(11.0, 5.0));
    EXPECT_TRUE(tri.contains(10.0, 5.0));   // the apex itself lies on a counting edge
    EXPECT_TRUE(tri.contains(5.0, 2.5));    // exactly on the slanted edge
    EXPECT_FALSE(tri.contains(-1.0, 5.0));  // the ray through the apex crosses two edges, not three
    // Concave shape: the notch is outside.
    const Polygon2D<int> u{{0, 0}, {10, 0}, {10, 10}, {7, 10}, {7, 3}, {3, 3}, {3, 10}, {0, 10}};
    EXPECT_TRUE(!u.contains(5, 6) && u.contains(1, 6) && u.contains(Point2D<float>(8.5f, 9.0f)));

    expectThrowMessage([] { Polygon2D<int>{{0, 0}, {1, 1}}.contains(0, 0); }, "math/ktml_Polygon2d",
                       "ktml::Polygon2D::contains() - invalid polygon");
}

TEST(Polygon, BoxSegmentsAndRingIterator) {
    const Polygon2D<int> p{{3, 8}, {-2, 4}, {6, 1}};
    EXPECT_EQ(p.boundingbox(), ktml::BoundingBox<int>(-2, 1, 8, 7));
    const auto segs = p.getSegments();
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_TRUE(segs[2].first == Point2D<int>(6, 1) && segs[2].second == Point2D<int>(3, 8));  // closing edge
    auto it = p.vertexIterator(2);
    EXPECT_EQ(*++it, Point2D<int>(3, 8));

    const Polygon2D<int> bad{{1, 1}, {2, 2}};
    EXPECT_TRUE(throwsEndingWith([&] { bad.boundingbox(); }, "boundingbox() - invalid polygon"));
    EXPECT_TRUE(throwsEndingWith([&] { bad.getSegments(); }, "getSegments() - invalid polygon"));
    auto bit = bad.vertexIterator();
    EXPECT_TRUE(throwsEndingWith([&] { ++bit; }, "operator++() - iterator pointing to an invalid polygon"));
}

TEST(Polygon, ConversionAndDenormalisationAsAWhole) {
    const Polygon2D<float> f{{0.25f, 0.5f}, {1.0f, 0.0f}, {0.5f, 1.0f}};
    ASSERT_TRUE(f.isNormalized());
    EXPECT_EQ(f.denormalize<int>(640, 480), (Polygon2D<int>{{160, 240}, {640, 0}, {320, 480}}));
    // One vertex outside 0..1 makes the whole polygon pixels.
    const Polygon2D<float> px{{0.25f, 0.5f}, {1.5f, 0.0f}, {100.4f, 20.6f}};
    EXPECT_EQ(px.denormalize<int>(640, 480), (Polygon2D<int>{{0, 1}, {2, 0}, {100, 21}}));
    EXPECT_THROW(f.denormalize<int>(0, 0), kttl::Exception);

    const Polygon2D<int> i(Polygon2D<double>{{-1.5, 2.5}, {3e10, -3e10}});
    EXPECT_TRUE(i[0] == Point2D<int>(-2, 3) && i[1] == Point2D<int>(INT_MAX, INT_MIN));
    Polygon2D<int> j;
    j = Polygon2D<float>{{0.5f, 0.49f}};
    EXPECT_EQ(j[0], Point2D<int>(1, 0));
}

TEST(Polygon, XmlForms) {
    const Polygon2D<float> p{{0.1f, 0.2f}, {0.5f, 0.2f}, {0.3f, 0.9f}};
    const std::string zone =
        "<zone><vertex x=\"0.1\" y=\"0.2\" /><vertex x=\"0.5\" y=\"0.2\" />"
        "<vertex x=\"0.3\" y=\"0.9\" /></zone>";
    EXPECT_EQ(p.toXML("zone", "vertex"), zone);
    EXPECT_EQ(p.toXML().find("<ktml_Polygon><ktml_Point2D x=\"0.1\" y=\"0.2\" /><ktml_Point2D"), 0u);
    EXPECT_EQ(p.toXML(nullptr, "vertex"), "");

    Polygon2D<float> q;
    EXPECT_TRUE(q.fromXML(zone.c_str()) && q == p);
    // The settings' form: point elements with x and y children.
    ASSERT_TRUE(q.fromXML("<polygon><point><x>1</x><y>2</y></point><point><x>3</x><y>4</y></point></polygon>"));
    EXPECT_EQ(q, (Polygon2D<float>{{1, 2}, {3, 4}}));
    EXPECT_FALSE(q.fromXML("<zone/>") || q.fromXML("<zone><vertex x=\"1\" y=\"2\" /><vertex x=\"1\" /></zone>"));
    EXPECT_EQ(q, (Polygon2D<float>{{1, 2}, {3, 4}}));  // unchanged after a failure
}

TEST(Polygon, BinaryFormAndVertexCountLimit) {
    const Polygon2D<int> p{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    std::vector<unsigned char> buf = binOf(p);
    ASSERT_EQ(buf.size(), 4u + 4 * 12u);
    EXPECT_TRUE(buf[0] == 4 && buf[2] == 4);  // coordinate size, vertex count
    Polygon2D<int> q;
    EXPECT_TRUE(q.fromBin(buf.data(), buf.size()) == buf.size() && q == p);
    // Every shorter input is refused and leaves the polygon as it was.
    for (unsigned n = 0; n < buf.size(); ++n)
        EXPECT_TRUE(throwsLibraryException([&] { q.fromBin(buf.data(), n); }) && q == p) << n;
    // A vertex count promising more than the input holds is refused before allocating.
    EXPECT_THROW(readBin(q, {4, 0, 0xFF, 0xFF}), kttl::Exception);
    buf[0] = 8;
    EXPECT_TRUE(throwsEndingWith([&] { q.fromBin(buf.data(), buf.size()); },
                                 "fromBin( .. ) - size of value_type is incorrect"));

    // More than 65535 vertices: the count saturates and only that many are written, so the form
    // reads back.
    Polygon2D<int> big;
    for (int i = 0; i < 65537; ++i) big.addVertex(i, -i);
    const std::vector<unsigned char> bb = binOf(big);
    ASSERT_EQ(bb.size(), 4u + 65535u * 12u);
    Polygon2D<int> back;
    ASSERT_TRUE(back.fromBin(bb.data(), bb.size()) == bb.size() && back.size() == 65535u);
    EXPECT_EQ(back[65534], Point2D<int>(65534, -65534));
}
