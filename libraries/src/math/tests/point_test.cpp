// Points and boxes: coordinate conversion, fractions to pixels and back, XML and binary forms.
#include "ktml_BoundingBox.h"
#include "ktml_Point2d.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "../../misc/tests/TestBytes.h"

using ktml::BoundingBox;
using ktml::Point2D;

TEST(Coordinates, ConversionRoundsHalfAwayFromZeroAndSaturates) {
    const struct { double in; int out; } rows[] = {
        {0.5, 1},  {0.49, 0}, {-0.5, -1},      {-0.49, 0},
        {2.5, 3},  {-2.5, -3}, {1e12, INT_MAX}, {-1e12, INT_MIN}, {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& r : rows) EXPECT_EQ(ktml::coordCast<int>(r.in), r.out) << r.in;
    EXPECT_TRUE(ktml::coordCast<unsigned>(-3.0) == 0u && ktml::coordCast<unsigned>(-1) == 0u);
    EXPECT_EQ(ktml::coordCast<int>(4000000000u), INT_MAX);
    EXPECT_EQ(ktml::coordCast<float>(-1e300), std::numeric_limits<float>::lowest());

    EXPECT_EQ(Point2D<int>(Point2D<double>(2.5, -7.5)), Point2D<int>(3, -8));
    Point2D<unsigned> u;
    u = Point2D<double>(2.5, -7.5);
    EXPECT_EQ(u, Point2D<unsigned>(3, 0));
    EXPECT_EQ(BoundingBox<int>(BoundingBox<float>(0.4f, 0.6f, 9.5f, -1.5f)), BoundingBox<int>(0, 1, 10, -2));
}

TEST(Coordinates, DenormalizeAroundOne) {
    const struct { float x, y; int px, py; } rows[] = {
        {0.5f, 0.5f, 320, 240},   {1.0f, 1.0f, 640, 480},   {2.0f, 0.5f, 2, 1}, {1.0001f, 0.5f, 1, 1},
        {0.999f, 1.0f, 639, 480}, {-0.5f, 0.5f, -320, 240},  // only the upper bound is tested
        {1.5f, 1.5f, 2, 2},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Point2D<float>(r.x, r.y).denormalize<int>(640, 480), Point2D<int>(r.px, r.py))
            << r.x << "," << r.y;
    EXPECT_TRUE(Point2D<float>(1.0f, 0.0f).isNormalized());
    EXPECT_FALSE(Point2D<float>(1.01f, 0.0f).isNormalized() || Point2D<float>(0.5f, -0.01f).isNormalized());
    for (int w : {0, 640})  // 0 x 480 and 640 x -1
        expectThrowMessage([&] { Point2D<float>(0.5f, 0.5f).denormalize<int>(w, w ? -1 : 480); },
                           "math/ktml_Point2d",
                           "ktml::Point2D::denormalize( .. ) - width and height must be positive");
}

TEST(Coordinates, NormalizeOverlapAndContainmentOfBoxes) {
    const BoundingBox<float> n = BoundingBox<int>(64, 48, 320, 240).normalize<float>(640, 480);
    EXPECT_TRUE(n.x == 0.1f && n.y == 0.1f && n.width == 0.5f && n.height == 0.5f);
    EXPECT_EQ(n.denormalize<int>(640, 480), BoundingBox<int>(64, 48, 320, 240));
    EXPECT_TRUE(throwsEndingWith([] { BoundingBox<int>(1, 2, 3, 4).normalize<float>(640, 0); },
                                 "ktml::BoundingBox::normalize( .. ) - width and height must be positive"));

    BoundingBox<int> a(0, 0, 10, 10), b(5, 5, 10, 10), c(10, 0, 5, 5);
    EXPECT_EQ(a.intersection(b), BoundingBox<int>(5, 5, 5, 5));
    EXPECT_EQ(a.intersectionArea(c), 0.0);  // touching edges do not overlap
    EXPECT_TRUE(a.contains(9.9, 0) && !a.contains(10, 0));
    BoundingBox<int> far(INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX);  // corner sums past INT_MAX
    EXPECT_EQ(far.intersectionArea(BoundingBox<int>(INT_MAX - 2, INT_MAX - 2, 2, 2)), 1.0);
    EXPECT_EQ(BoundingBox<int>(0, 0, -3, 4).area(), 0.0);
}

TEST(Coordinates, XmlForms) {
    EXPECT_EQ(Point2D<float>(0.25f, 1.0f / 3).toXML("point"), "<point x=\"0.25\" y=\"0.333333\" />");
    EXPECT_EQ(Point2D<int>(3, -4).toXML(), "<ktml_Point2D x=\"3\" y=\"-4\" />");
    EXPECT_EQ(Point2D<int>(3, 4).toXML(nullptr), "");
    EXPECT_EQ(BoundingBox<int>(1, 2, 3, 4).toXML("box"),
              "<box><x>1</x><y>2</y><width>3</width><height>4</height></box>");

    Point2D<float> p;
    EXPECT_TRUE(p.fromXML("<point x=\"0.5\" y=\"0.75\" />") && p == Point2D<float>(0.5f, 0.75f));
    // y attribute missing: children
    EXPECT_TRUE(p.fromXML("<point x=\"9\"><x> 1 </x><y>2</y></point>") && p == Point2D<float>(1, 2));
    for (const char* bad : {"<point x=\"1\" />", "<point><x>1</x></point>", "<point x=\"a\" y=\"1\" />",
                            "<point><x>1</x><y>2z</y></point>", "not xml", ""})
        EXPECT_TRUE(!p.fromXML(bad) && p == Point2D<float>(1, 2)) << bad;
    BoundingBox<int> b;
    EXPECT_TRUE(b.fromXML(BoundingBox<int>(5, 6, 7, 8).toXML("b").c_str()) &&
                !b.fromXML("<b><x>1</x><y>2</y><width>3</width></b>") && b == BoundingBox<int>(5, 6, 7, 8));
}

TEST(Coordinates, BinaryForms) {
    const Point2D<int> p(-7, 123456);
    const std::vector<unsigned char> buf = binOf(p);
    ASSERT_EQ(buf.size(), 12u);
    EXPECT_TRUE(buf[0] == 4 && buf[4] == 0xF9);  // sizeof(int), then x little-endian
    Point2D<int> q;
    EXPECT_TRUE(q.fromBin(buf.data(), 12) == 12u && q == p);
    EXPECT_THROW(q.fromBin(buf.data(), 11), kttl::Exception);
    // A value of another coordinate size is refused by name.
    Point2D<double> d;
    EXPECT_TRUE(throwsEndingWith([&] { d.fromBin(buf.data(), 12); },
                                 "fromBin( .. ) - size of value_type is incorrect"));

    const BoundingBox<double> box(1.5, -2, 300, 400.25);
    const std::vector<unsigned char> bb = binOf(box);
    ASSERT_EQ(bb.size(), 36u);
    BoundingBox<double> back;
    EXPECT_TRUE(back.fromBin(bb.data(), 36) == 36u && back == box);
    EXPECT_THROW(back.fromBin(bb.data(), 35), kttl::Exception);
    BoundingBox<float> fbox;
    EXPECT_TRUE(throwsEndingWith([&] { fbox.fromBin(bb.data(), 36); },
                                 "fromBin( .. ) - size of value_type is incorrect"));
}
