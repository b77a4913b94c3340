// Points and boxes: coordinate conversion, fractions to pixels and back, XML and binary forms.
#include "ktml_BoundingBox.h"
#include "ktml_Point2d.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "../../misc/tests/TestBytes.h"

using ktml::BoundingBox;
using ktml::Point2D;

// Conversion rounds half away from zero and saturates; a point with a coordinate above 1 is taken as
// pixels when denormalized (only the upper bound is tested).
TEST(Coordinates, ConversionAndDenormalization) {
    const struct { double in; int out; } rows[] = {
        {0.5, 1}, {0.49, 0}, {-0.5, -1}, {-0.49, 0}, {1e12, INT_MAX}, {-1e12, INT_MIN}, {std::nan(""), 0}};
    for (const auto& r : rows) EXPECT_EQ(ktml::coordCast<int>(r.in), r.out) << r.in;
    EXPECT_TRUE(ktml::coordCast<unsigned>(-3.0) == 0u && ktml::coordCast<unsigned>(-1) == 0u);
    EXPECT_TRUE(ktml::coordCast<int>(4000000000u) == INT_MAX &&
                ktml::coordCast<float>(-1e300) == std::numeric_limits<float>::lowest());
    EXPECT_EQ(Point2D<int>(Point2D<double>(2.5, -7.5)), Point2D<int>(3, -8));
    EXPECT_EQ(Point2D<unsigned>() = Point2D<double>(2.5, -7.5), Point2D<unsigned>(3, 0));  // by assignment
    EXPECT_EQ(BoundingBox<int>(BoundingBox<float>(0.4f, 0.6f, 9.5f, -1.5f)), BoundingBox<int>(0, 1, 10, -2));

    const struct { float x, y; int px, py; } ps[] = {{0.5f, 0.5f, 320, 240}, {1.0f, 1.0f, 640, 480},
        {1.0001f, 0.5f, 1, 1}, {0.5f, 1.5f, 1, 2}, {-0.5f, 0.5f, -320, 240}};
    for (const auto& r : ps)
        EXPECT_EQ(Point2D<float>(r.x, r.y).denormalize<int>(640, 480), Point2D<int>(r.px, r.py)) << (&r - ps);
    EXPECT_TRUE(Point2D<float>(1.0f, 0.0f).isNormalized());
    EXPECT_FALSE(Point2D<float>(1.01f, 0.0f).isNormalized() || Point2D<float>(0.5f, -0.01f).isNormalized());
    for (int w : {0, 640})  // 0 x 480 and 640 x -1
        expectThrowMessage([&] { Point2D<float>(0.5f, 0.5f).denormalize<int>(w, w ? -1 : 480); },
                           "math/ktml_Point2d",
                           "ktml::Point2D::denormalize( .. ) - width and height must be positive");
}

TEST(Coordinates, NormalizeOverlapAndContainmentOfBoxes) {
    const BoundingBox<float> n = BoundingBox<int>(64, 48, 320, 240).normalize<float>(640, 480);
    EXPECT_EQ(n, BoundingBox<float>(0.1f, 0.1f, 0.5f, 0.5f));
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

// Exact size, refused one byte short, and refused by name when read as another coordinate size.
template <class Other, class T>
void expectBinaryForm(const T& v, size_t size) {
    const Bytes buf = binOf(v);
    T back;
    Other other;
    EXPECT_TRUE(buf.size() == size && back.fromBin(buf.data(), buf.size()) == size && back == v);
    EXPECT_THROW(back.fromBin(buf.data(), buf.size() - 1), kttl::Exception);
    EXPECT_TRUE(throwsEndingWith([&] { other.fromBin(buf.data(), buf.size()); },
                                 "fromBin( .. ) - size of value_type is incorrect"));
}

TEST(Coordinates, XmlAndBinaryForms) {
    EXPECT_EQ(Point2D<float>(0.25f, 1.0f / 3).toXML("point"), "<point x=\"0.25\" y=\"0.333333\" />");
    EXPECT_EQ(Point2D<int>(3, -4).toXML(), "<ktml_Point2D x=\"3\" y=\"-4\" />");
    EXPECT_EQ(Point2D<int>(3, 4).toXML(nullptr), "");
    Point2D<float> p;
    EXPECT_TRUE(p.fromXML("<point x=\"0.5\" y=\"0.75\" />") && p == Point2D<float>(0.5f, 0.75f));
    EXPECT_TRUE(p.fromXML("<point x=\"9\"><x> 1 </x><y>2</y></point>") && p == Point2D<float>(1, 2));
    for (const char* bad : {"<point x=\"1\" />", "<point><x>1</x></point>", "<point x=\"a\" y=\"1\" />",
                            "<point><x>1</x><y>2z</y></point>", "not xml", ""})
        EXPECT_TRUE(!p.fromXML(bad) && p == Point2D<float>(1, 2)) << bad;
    const std::string box = "<box><x>1</x><y>2</y><width>3</width><height>4</height></box>";
    BoundingBox<int> b;
    EXPECT_TRUE(BoundingBox<int>(1, 2, 3, 4).toXML("box") == box && b.fromXML(box.c_str()));
    EXPECT_TRUE(!b.fromXML("<b><x>1</x><y>2</y><width>3</width></b>") && b == BoundingBox<int>(1, 2, 3, 4));

    EXPECT_EQ(binOf(Point2D<int>(-7, 123456)), (Bytes{4, 0, 0, 0, 0xF9, 0xFF, 0xFF, 0xFF, 0x40, 0xE2, 1, 0}));
    expectBinaryForm<Point2D<double>>(Point2D<int>(-7, 123456), 12);
    expectBinaryForm<BoundingBox<float>>(BoundingBox<double>(1.5, -2, 300, 400.25), 36);
}
