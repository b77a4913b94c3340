// Points and boxes: coordinate conversion, fractions to pixels and back, XML and binary forms.
#include "ktml_BoundingBox.h"
#include "ktml_Point2d.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>
#include <vector>

using ktml::BoundingBox;
using ktml::Point2D;

namespace {
template <typename F>
std::string thrownMessage(F f) {
    try {
        f();
    } catch (const kttl::Exception& e) {
        return e.what();
    }
    return "";
}
bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

TEST(Coordinates, ConversionRoundsHalfAwayFromZeroAndSaturates) {
    struct Row {
        double in;
        int out;
    } rows[] = {{0.5, 1},  {0.49, 0}, {-0.5, -1}, {-0.49, 0}, {2.5, 3}, {-2.5, -3}, {1e12, INT_MAX},
                {-1e12, INT_MIN}, {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const Row& r : rows) EXPECT_EQ(ktml::coordCast<int>(r.in), r.out) << r.in;
    EXPECT_EQ(ktml::coordCast<unsigned>(-3.0), 0u);
    EXPECT_EQ(ktml::coordCast<unsigned>(-1), 0u);
    EXPECT_EQ(ktml::coordCast<int>(4000000000u), INT_MAX);
    EXPECT_EQ(ktml::coordCast<float>(1e300), std::numeric_limits<float>::max());
    EXPECT_EQ(ktml::coordCast<float>(-1e300), std::numeric_limits<float>::lowest());

    Point2D<double> d(2.5, -7.5);
    Point2D<int> i(d);
    EXPECT_EQ(i, Point2D<int>(3, -8));
    Point2D<unsigned> u;
    u = d;
    EXPECT_EQ(u, Point2D<unsigned>(3, 0));
    BoundingBox<int> b(BoundingBox<float>(0.4f, 0.6f, 9.5f, -1.5f));
    EXPECT_EQ(b, BoundingBox<int>(0, 1, 10, -2));
}

TEST(Coordinates, DenormalizeAroundOne) {
    struct Row {
        float x, y;
        int px, py;
    } rows[] = {
        {0.5f, 0.5f, 320, 240},  {1.0f, 1.0f, 640, 480}, {2.0f, 0.5f, 2, 1},  {1.0001f, 0.5f, 1, 1},
        {0.0f, 0.0f, 0, 0},      {-0.5f, 0.5f, -320, 240},  // only the upper bound is tested
        {0.999f, 1.0f, 639, 480}, {1.5f, 1.5f, 2, 2},
    };
    for (const Row& r : rows) {
        Point2D<int> p = Point2D<float>(r.x, r.y).denormalize<int>(640, 480);
        EXPECT_EQ(p, Point2D<int>(r.px, r.py)) << r.x << "," << r.y;
    }
    EXPECT_TRUE(Point2D<float>(1.0f, 0.0f).isNormalized());
    EXPECT_FALSE(Point2D<float>(1.01f, 0.0f).isNormalized());
    EXPECT_FALSE(Point2D<float>(0.5f, -0.01f).isNormalized());

    std::string msg = thrownMessage([] { Point2D<float>(0.5f, 0.5f).denormalize<int>(0, 480); });
    EXPECT_TRUE(endsWith(msg, "ktml::Point2D::denormalize( .. ) - width and height must be positive")) << msg;
    EXPECT_NE(msg.find("../../../../../libraries/src/math/ktml_Point2d ("), std::string::npos) << msg;
    EXPECT_THROW(Point2D<float>(0.5f, 0.5f).denormalize<int>(640, -1), kttl::Exception);
}

TEST(Coordinates, NormalizeBox) {
    BoundingBox<float> n = BoundingBox<int>(64, 48, 320, 240).normalize<float>(640, 480);
    EXPECT_FLOAT_EQ(n.x, 0.1f);
    EXPECT_FLOAT_EQ(n.y, 0.1f);
    EXPECT_FLOAT_EQ(n.width, 0.5f);
    EXPECT_FLOAT_EQ(n.height, 0.5f);
    EXPECT_EQ(n.denormalize<int>(640, 480), BoundingBox<int>(64, 48, 320, 240));
    std::string msg = thrownMessage([] { BoundingBox<int>(1, 2, 3, 4).normalize<float>(640, 0); });
    EXPECT_TRUE(endsWith(msg, "ktml::BoundingBox::normalize( .. ) - width and height must be positive")) << msg;
}

TEST(Coordinates, BoxOverlapAndContainment) {
    BoundingBox<int> a(0, 0, 10, 10), b(5, 5, 10, 10), c(10, 0, 5, 5);
    EXPECT_EQ(a.intersection(b), BoundingBox<int>(5, 5, 5, 5));
    EXPECT_EQ(a.intersectionArea(b), 25.0);
    EXPECT_EQ(a.intersectionArea(c), 0.0);  // touching edges do not overlap
    EXPECT_TRUE(a.contains(9.9, 0));
    EXPECT_FALSE(a.contains(10, 0));
    BoundingBox<int> far(INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX);
    EXPECT_EQ(far.intersectionArea(BoundingBox<int>(INT_MAX - 2, INT_MAX - 2, 2, 2)), 1.0);
    EXPECT_EQ(BoundingBox<int>(0, 0, -3, 4).area(), 0.0);
}

TEST(Coordinates, XmlForms) {
    EXPECT_EQ(Point2D<float>(0.25f, 1.0f / 3).toXML("point"), "<point x=\"0.25\" y=\"0.333333\" />");
    EXPECT_EQ(Point2D<int>(3, -4).toXML(), "<ktml_Point2D x=\"3\" y=\"-4\" />");
    EXPECT_EQ(Point2D<int>(3, 4).toXML(nullptr), "");
    EXPECT_EQ(BoundingBox<int>(1, 2, 3, 4).toXML("box"),
              "<box><x>1</x><y>2</y><width>3</width><height>4</height></box>");
    EXPECT_EQ(BoundingBox<int>().toXML(nullptr), "");

    Point2D<float> p;
    ASSERT_TRUE(p.fromXML("<point x=\"0.5\" y=\"0.75\" />"));
    EXPECT_EQ(p, Point2D<float>(0.5f, 0.75f));
    ASSERT_TRUE(p.fromXML("<point><x> 0.1 </x><y>0.2</y></point>"));  // the settings' form
    EXPECT_EQ(p, Point2D<float>(0.1f, 0.2f));
    ASSERT_TRUE(p.fromXML("<point x=\"9\"><x>1</x><y>2</y></point>"));  // y attribute missing: children
    EXPECT_EQ(p, Point2D<float>(1, 2));
    for (const char* bad : {"<point x=\"1\" />", "<point><x>1</x></point>", "<point x=\"a\" y=\"1\" />",
                            "<point><x>1</x><y>2z</y></point>", "not xml", ""}) {
        EXPECT_FALSE(p.fromXML(bad)) << bad;
        EXPECT_EQ(p, Point2D<float>(1, 2)) << bad;
    }
    EXPECT_FALSE(p.fromXML(nullptr));

    BoundingBox<int> b;
    ASSERT_TRUE(b.fromXML(BoundingBox<int>(5, 6, 7, 8).toXML("b").c_str()));
    EXPECT_EQ(b, BoundingBox<int>(5, 6, 7, 8));
    EXPECT_FALSE(b.fromXML("<b><x>1</x><y>2</y><width>3</width></b>"));
    EXPECT_EQ(b, BoundingBox<int>(5, 6, 7, 8));
}

TEST(Coordinates, BinaryForms) {
    Point2D<int> p(-7, 123456);
    ASSERT_EQ(p.getBinLength(), 12u);
    std::vector<unsigned char> buf(p.getBinLength());
    ASSERT_EQ(p.toBin(buf.data()), 12u);
    EXPECT_EQ(buf[0], 4);  // sizeof(int), little-endian
    EXPECT_EQ(buf[4], 0xF9);
    Point2D<int> q;
    ASSERT_EQ(q.fromBin(buf.data(), 12), 12u);
    EXPECT_EQ(q, p);
    EXPECT_THROW(q.fromBin(buf.data(), 11), kttl::Exception);

    // A point of another coordinate size is refused by name.
    Point2D<double> d;
    std::string msg = thrownMessage([&] { d.fromBin(buf.data(), 12); });
    EXPECT_TRUE(endsWith(msg, "fromBin( .. ) - size of value_type is incorrect")) << msg;
    Point2D<double> dd(1.5, -2.25);
    std::vector<unsigned char> b8(dd.getBinLength());
    ASSERT_EQ(b8.size(), 20u);
    dd.toBin(b8.data());
    ASSERT_EQ(d.fromBin(b8.data(), 20), 20u);
    EXPECT_EQ(d, dd);

    BoundingBox<int> box(1, -2, 300, 400);
    std::vector<unsigned char> bb(box.getBinLength());
    ASSERT_EQ(bb.size(), 20u);
    ASSERT_EQ(box.toBin(bb.data()), 20u);
    BoundingBox<int> back;
    ASSERT_EQ(back.fromBin(bb.data(), 20), 20u);
    EXPECT_EQ(back, box);
    EXPECT_THROW(back.fromBin(bb.data(), 19), kttl::Exception);
    EXPECT_THROW(back.fromBin(nullptr, 0), kttl::Exception);
    BoundingBox<float> fbox;
    EXPECT_THROW(fbox.fromBin(b8.data(), 20), kttl::Exception);  // size 8 recorded
}
