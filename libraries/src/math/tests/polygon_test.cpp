// Polygons: point-in-polygon on edges and vertices, boxes, edges, conversion, XML and binary forms.
#include "ktml_Polygon2d.h"

#include <gtest/gtest.h>

#include "../../misc/tests/TestBytes.h"

using ktml::Point2D;
using ktml::Polygon2D;

TEST(Polygon, ContainsOnEdgesAndVertices) {
    // On the vertical edges: inside at once. Level with the bottom edge's end points the side edges
    // decide; level with the top edge neither side edge spans y = 10.
    const Polygon2D<int> sq{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const struct { double x, y; bool in; } rows[] = {{5, 5, true}, {-1, 5, false}, {11, 5, false},
        {5, -0.1, false}, {0, 5, true}, {10, 5, true}, {5, 0, true}, {5, 10, false}, {0, 0, true},
        {10, 0, true}, {10, 10, false}, {0, 10, false}, {9.999, 9.999, true}};
    for (const auto& r : rows) EXPECT_EQ(sq.contains(r.x, r.y), r.in) << r.x << "," << r.y;

    // A triangle's apex is shared by two edges; only one passes the half-open test, so a point level
    // with the apex crosses once, not twice, and the ray from behind crosses two edges, not three.
    const Polygon2D<float> tri{{0, 0}, {10, 5}, {0, 10}};
    EXPECT_TRUE(tri.contains(2.0, 5.0) && !tri.contains(11.0, 5.0) && !tri.contains(-1.0, 5.0));
    EXPECT_TRUE(tri.contains(10.0, 5.0) && tri.contains(5.0, 2.5));  // the apex; on the slanted edge
    // Concave shape: the notch is outside.
    const Polygon2D<int> u{{0, 0}, {10, 0}, {10, 10}, {7, 10}, {7, 3}, {3, 3}, {3, 10}, {0, 10}};
    EXPECT_TRUE(!u.contains(5, 6) && u.contains(1, 6) && u.contains(Point2D<float>(8.5f, 9.0f)));
    expectThrowMessage([] { Polygon2D<int>{{0, 0}, {1, 1}}.contains(0, 0); }, "math/ktml_Polygon2d",
                       "ktml::Polygon2D::contains() - invalid polygon");
}

TEST(Polygon, BoxSegmentsAndRingIterator) {
    const Polygon2D<int> p{{3, 8}, {-2, 4}, {6, 1}};
    EXPECT_EQ(p.boundingbox(), ktml::BoundingBox<int>(-2, 1, 8, 7));
    const auto segs = p.getSegments();  // the last is the closing edge
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_TRUE(segs[2].first == Point2D<int>(6, 1) && segs[2].second == Point2D<int>(3, 8));
    EXPECT_EQ(*++p.vertexIterator(2), Point2D<int>(3, 8));

    const Polygon2D<int> bad{{1, 1}, {2, 2}};
    auto bit = bad.vertexIterator();
    EXPECT_TRUE(throwsEndingWith([&] { bad.boundingbox(); }, "boundingbox() - invalid polygon") &&
                throwsEndingWith([&] { bad.getSegments(); }, "getSegments() - invalid polygon") &&
                throwsEndingWith([&] { ++bit; }, "operator++() - iterator pointing to an invalid polygon"));
}

TEST(Polygon, ConversionAndDenormalisationAsAWhole) {
    const Polygon2D<float> f{{0.25f, 0.5f}, {1.0f, 0.0f}, {0.5f, 1.0f}};
    ASSERT_TRUE(f.isNormalized());
    EXPECT_EQ(f.denormalize<int>(640, 480), (Polygon2D<int>{{160, 240}, {640, 0}, {320, 480}}));
    // One vertex outside 0..1 makes the whole polygon pixels.
    const Polygon2D<float> px{{0.25f, 0.5f}, {1.5f, 0.0f}, {100.4f, 20.6f}};
    EXPECT_EQ(px.denormalize<int>(640, 480), (Polygon2D<int>{{0, 1}, {2, 0}, {100, 21}}));
    EXPECT_THROW(f.denormalize<int>(0, 0), kttl::Exception);
    // Vertex by vertex, by construction and by assignment (rounding itself is the points' test).
    Polygon2D<int> j;
    j = Polygon2D<double>{{-1.5, 2.5}, {0.5, 0.49}};
    EXPECT_EQ(j, (Polygon2D<int>{{-2, 3}, {1, 0}}));
}

TEST(Polygon, XmlForms) {
    const Polygon2D<float> p{{0.1f, 0.2f}, {0.5f, 0.2f}, {0.3f, 0.9f}};
    const std::string zone = "<zone><vertex x=\"0.1\" y=\"0.2\" /><vertex x=\"0.5\" y=\"0.2\" />"
                             "<vertex x=\"0.3\" y=\"0.9\" /></zone>";
    EXPECT_EQ(p.toXML("zone", "vertex"), zone);
    EXPECT_EQ(p.toXML().find("<ktml_Polygon><ktml_Point2D x=\"0.1\" y=\"0.2\" /><ktml_Point2D"), 0u);
    EXPECT_EQ(p.toXML(nullptr, "vertex"), "");
    Polygon2D<float> q;
    EXPECT_TRUE(q.fromXML(zone.c_str()) && q == p);
    // The settings' form: point elements with x and y children. A failure leaves the polygon as it was.
    EXPECT_TRUE(q.fromXML("<polygon><point><x>1</x><y>2</y></point>"
                          "<point><x>3</x><y>4</y></point></polygon>"));
    EXPECT_FALSE(q.fromXML("<zone/>"));
    EXPECT_FALSE(q.fromXML("<zone><vertex x=\"1\" y=\"2\" /><vertex x=\"1\" /></zone>"));
    EXPECT_EQ(q, (Polygon2D<float>{{1, 2}, {3, 4}}));
}

TEST(Polygon, BinaryFormAndVertexCountLimit) {
    const Polygon2D<int> p{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    Bytes buf = binOf(p);
    ASSERT_EQ(buf.size(), 4u + 4 * 12u);
    EXPECT_TRUE(buf[0] == 4 && buf[2] == 4);  // coordinate size, vertex count
    Polygon2D<int> q;
    EXPECT_TRUE(q.fromBin(buf.data(), buf.size()) == buf.size() && q == p);
    // Every shorter input is refused and leaves the polygon as it was; so is a vertex count that
    // promises more than the input holds (before allocating), and another coordinate size.
    for (unsigned n = 0; n < buf.size(); ++n)
        EXPECT_TRUE(throwsLibraryException([&] { q.fromBin(buf.data(), n); }) && q == p) << n;
    EXPECT_THROW(readBin(q, {4, 0, 0xFF, 0xFF}), kttl::Exception);
    buf[0] = 8;
    EXPECT_TRUE(throwsEndingWith([&] { readBin(q, buf); }, "size of value_type is incorrect") && q == p);

    // More than 65535 vertices: the count saturates and only that many are written: the form reads back.
    Polygon2D<int> big, back;
    for (int i = 0; i < 65537; ++i) big.addVertex(i, -i);
    const Bytes bb = binOf(big);
    ASSERT_TRUE(bb.size() == 4u + 65535u * 12u && readBin(back, bb) == bb.size() && back.size() == 65535u);
    EXPECT_EQ(back[65534], Point2D<int>(65534, -65534));
}
