// Lines, segments, rays and masks: signed distance, intersections, rasterised polygons, overlaps.
#include "ktml_Line2d.h"
#include "ktml_Mask2d.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <cmath>

#include "../../misc/tests/TestBytes.h"

using namespace ktml;  // NOLINT: the geometry types under test

TEST(Lines, SignedDistance) {
    // The sign tells the side and follows the direction; collinear beyond the ends is 0; coincident
    // end points give the distance to the point.
    const struct { Line2D<float> line; float x, y; double d; } rows[] = {
        {{0, 0, 10, 0}, 5, -3, 3}, {{0, 0, 10, 0}, 5, 4, -4}, {{10, 0, 0, 0}, 5, 4, 4},
        {{0, 0, 10, 0}, 25, 0, 0}, {{1, 1, 1, 1}, 4, 5, 5}};
    for (const auto& r : rows)
        EXPECT_DOUBLE_EQ(r.line.signedDistanceTo(Point2D<float>(r.x, r.y)), r.d) << (&r - rows);
    EXPECT_NEAR(std::fabs(Line2D<float>(0, 0, 3, 4).signedDistanceTo(Point2D<int>(4, -3))), 5.0, 1e-9);
}

TEST(Lines, IntersectionOfLinesSegmentsAndRays) {
    const Line2D<float> a(0, 0, 10, 10);
    EXPECT_EQ(a.getIntersection(Line2D<float>(0, 10, 10, 0)), Point2D<float>(5, 5));
    const Line2D<int> up(0, 0, 3, 1), down(0, 1, 3, 0);
    EXPECT_EQ(up.getIntersection(down), Point2D<int>(2, 1));  // (1.5, 0.5) rounded
    EXPECT_TRUE(throwsEndingWith([&] { a.getIntersection(Line2D<float>(0, 1, 10, 11)); },
                                 "ktml::Line2D::intersection() - intersection doesn't exist"));
    EXPECT_THROW(a.getIntersection(a), kttl::Exception);  // identical lines

    // Crossing; the lines cross but not the segments; parallel; meeting at an end point.
    using Seg = LineSegment2D<int>;
    const Seg s1(0, 0, 10, 0), s2(5, -5, 5, 5);
    Point2D<double> at;
    EXPECT_TRUE(s1.intersects(s2, &at) && at == Point2D<double>(5, 0));
    EXPECT_TRUE(!s1.intersects(Seg(5, 1, 5, 9)) && !s1.intersects(Seg(0, 0, 10, 0)) &&
                s1.intersects(Seg(10, 0, 10, 8)));
    EXPECT_TRUE(s1.contains(Point2D<int>(10, 0)) && !s1.contains(Point2D<int>(11, 0)) &&
                !s1.contains(Point2D<int>(5, 1)));
    // A ray misses what lies behind its start; a ray without direction meets nothing.
    const Ray2D<int> r(0, 0, 1, 0);
    EXPECT_TRUE(r.intersects(Seg(5, -1, 5, 1)) && !r.intersects(Seg(-5, -1, -5, 1)));
    EXPECT_FALSE(Ray2D<int>(2, 2, 2, 2).intersects(s2));
}

TEST(Masks, AddPolygonSetsContainedCells) {
    Mask2D<bool> m(8, 6, false);
    EXPECT_FALSE(m.addPolygon(Polygon2D<int>{{0, 0}, {5, 5}}, true));  // too few vertices
    ASSERT_TRUE(m.addPolygon(Polygon2D<int>{{2, 1}, {4, 1}, {4, 3}, {2, 3}}, true));
    int set = 0;
    for (int cell = 0; cell < 48; ++cell) set += m.get(cell % 8, cell / 8);
    // Cells 2..4 x 1..3 except row 3: level with the edge at the largest y, which no side edge spans.
    EXPECT_TRUE(set == 6 && m.get(2, 1) && m.get(4, 2) && !m.get(3, 3));
    EXPECT_FALSE(m.get(-1, 2));  // outside: the fill value

    // A polygon reaching past the mask is clipped, not written out of bounds; NaN contains nothing.
    Mask2D<int> mi(4, 4, 0), none(4, 4, 0);
    const BoundingBox<int> all(0, 0, 4, 4);
    ASSERT_TRUE(mi.addPolygon(Polygon2D<float>{{-100, -100}, {100, -100}, {100, 100}, {-100, 100}}, 7));
    ASSERT_TRUE(none.addPolygon(Polygon2D<float>{{NAN, 0.f}, {1.f, 1.f}, {2.f, 0.f}}, 7));
    EXPECT_TRUE(mi.getOverlap(all, 7) == 1.0 && none.getOverlap(all, 0) == 1.0);
}

TEST(Masks, OverlapCountsOutsideCellsAsFill) {
    Mask2D<int> m(10, 10, 0);
    for (int cell = 0; cell < 50; ++cell) m.set(cell % 10, cell / 10, 1);  // the top half
    // Half the box hanging left: those cells hold the fill. Wholly outside, or no cells at all: 1 for
    // the fill value, else 0.
    const struct { BoundingBox<int> box; int value; double share; } rows[] = {{{0, 0, 10, 10}, 1, 0.5},
        {{0, 3, 2, 4}, 1, 0.5}, {{-2, 0, 4, 2}, 1, 0.5}, {{-2, 0, 4, 2}, 0, 0.5}, {{20, 20, 5, 5}, 0, 1.0},
        {{20, 20, 5, 5}, 1, 0.0}, {{2, 2, 0, 5}, 0, 1.0}, {{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, 1, 0.0}};
    for (const auto& r : rows) EXPECT_DOUBLE_EQ(m.getOverlap(r.box, r.value), r.share) << (&r - rows);
    EXPECT_EQ(m.getOverlap(BoundingBox<float>(0.f, 0.f, 10.f, 4.6f), 1), 1.0);  // float box rounded to cells
    m.clear();
    EXPECT_EQ(m.getOverlap(BoundingBox<int>(0, 0, 10, 10), 0), 1.0);
}

TEST(Masks, DimensionsMustAgree) {
    EXPECT_TRUE(throwsEndingWith([] { Mask2D<bool>(std::vector<size_t>{4, 4, 4}, false); },
                                 "DimArray(...) - dimension mismatch"));
    const Mask2D<bool> ok(std::vector<size_t>{3, 2}, true);
    EXPECT_TRUE(ok.columns() == 3 && ok.rows() == 2);
    EXPECT_THROW((kttl::DimArray<char, 2>(std::array<size_t, 2>{SIZE_MAX / 2, 3})), kttl::Exception);

    kttl::DimArray<int, 2> cells(std::array<size_t, 2>{3, 2}, 5);
    cells(2, 1) = 9;
    EXPECT_EQ(cells[5], 9);  // dimension 0 varies fastest
    EXPECT_THROW(cells.at({3, 0}), kttl::Exception);
    kttl::DimArray<int, 2> copy = cells;
    copy(0, 0) = 1;
    EXPECT_TRUE(cells(0, 0) == 5 && Mask2D<int>(cells, 5).get(2, 1) == 9);  // the copy is deep
}

TEST(Masks, RowFillMatchesContainmentTest) {
    // Random polygons, self-crossing ones included, on integer and half-pixel vertices (crossings that
    // land exactly on cells, horizontal edges, shared rows) and on arbitrary floats, partly outside the
    // mask: the filled cells must be exactly those contains() accepts.
    std::mt19937 rng(20240516);
    for (int round = 0; round < 300; ++round) {
        const int kind = round % 3;
        std::uniform_int_distribution<int> count(3, 12), coord(-6, 45);
        std::uniform_real_distribution<float> real(-6.f, 45.f);
        Polygon2D<float> poly;
        for (int i = count(rng); i > 0; --i) {
            if (kind == 0) poly.addVertex(float(coord(rng)), float(coord(rng)));
            else if (kind == 1) poly.addVertex(coord(rng) * 0.5f, coord(rng) * 0.5f);
            else poly.addVertex(real(rng), real(rng));
        }
        Mask2D<unsigned char> filled(40, 30, 0);
        ASSERT_TRUE(filled.addPolygon(poly, 1));
        int mismatches = 0;
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 40; ++c) mismatches += (filled.get(c, r) != 0) != poly.contains(double(c), double(r));
        ASSERT_EQ(mismatches, 0) << "round " << round;
    }
}
