// Boxes, segments, points, ellipses and the clamp helper.
#include <gtest/gtest.h>

#include <cmath>

#include "kt_bbox.h"
#include "kt_ellipse.h"
#include "kt_minmax.h"
#include "kt_point.h"
#include "kt_segment.h"

TEST(Bbox, CenterContainsAndInside) {
    const kt_bbox a{3, 4, 5, 6}; kt_point c{0, 0};
    kt_bbox_center(&a, &c); EXPECT_TRUE(c.x == 5 && c.y == 7);  // integer halves
    const struct { kt_point p; int in; } pts[] = {{{3, 4}, 1}, {{7, 9}, 1}, {{8, 9}, 0}, {{7, 10}, 0},
                                                   {{2, 4}, 0}, {{3, 3}, 0}, {{-1, -1}, 0}};
    for (const auto& t : pts) EXPECT_EQ(t.in, kt_bbox_contains(&a, &t.p)) << t.p.x << "," << t.p.y;
    // Inside an 8 x 10 image exactly; one more column or row, or a wrapping x, is out.
    const struct { kt_bbox b; int in; } boxes[] = {{a, 1}, {{4, 4, 5, 6}, 0}, {{3, 5, 5, 6}, 0},
                                                   {{~0u, 0, 2, 1}, 0}};
    for (const auto& t : boxes) EXPECT_EQ(t.in, kt_bbox_inside(&t.b, 8, 10)) << t.b.x << "," << t.b.y;
}

TEST(Bbox, RestrictAndInflateNeverWrap) {
    // Restrict (W, H in l, t): unchanged (9 > 9 is false); clipped to W - x - 1; on the excluded
    // column: empty, not 4 billion; beyond the image; empty image. Inflate: left and up to 0; saturating.
    const struct { kt_bbox in; bool inflate; uint32_t l, t, r, b; kt_bbox out; } cases[] = {
        {{2, 2, 7, 7}, 0, 10, 10, 0, 0, {2, 2, 7, 7}}, {{2, 2, 8, 9}, 0, 10, 10, 0, 0, {2, 2, 7, 7}},
        {{9, 9, 3, 3}, 0, 10, 10, 0, 0, {9, 9, 0, 0}}, {{15, 0, 3, 1}, 0, 10, 10, 0, 0, {15, 0, 0, 1}},
        {{0, 0, 3, 3}, 0, 0, 0, 0, 0, {0, 0, 0, 0}}, {{5, 2, 10, 10}, 1, 7, 7, 7, 7, {0, 0, 22, 19}},
        {{20, 20, 4, 4}, 1, 3, 1, 0, 2, {17, 19, 7, 7}},
        {{0, 0, ~0u - 15, 1}, 1, 0, 0, 0x100, 0, {0, 0, ~0u, 1}}};
    for (const auto& c : cases) {
        kt_bbox b = c.in;
        c.inflate ? kt_bbox_inflate(&b, c.l, c.t, c.r, c.b) : kt_bbox_restrict(&b, c.l, c.t);
        EXPECT_TRUE(b.x == c.out.x && b.y == c.out.y && b.width == c.out.width && b.height == c.out.height)
            << c.in.x << "," << c.in.y << " " << c.in.width << " -> " << b.width << "x" << b.height;
    }
}

TEST(Segment, IntersectionsAtChosenCases) {
    // X; stops short; touches at an end; parallel; collinear overlap (den 0); degenerate;
    // crossing at (2, 0.5) rounds to (2, 1).
    const struct { kt_segment a, b; int hit; } cases[] = {
        {{0, 0, 9, 9}, {0, 9, 9, 0}, 1}, {{0, 0, 9, 0}, {5, 1, 5, 5}, 0}, {{0, 0, 9, 0}, {9, 0, 9, 5}, 1},
        {{0, 0, 10, 0}, {0, 1, 10, 1}, 0}, {{0, 0, 10, 0}, {2, 0, 8, 0}, 0}, {{0, 0, 0, 0}, {0, 0, 5, 5}, 0},
        {{0, 0, 4, 1}, {0, 1, 4, 0}, 1}};
    for (const auto& c : cases)
        EXPECT_TRUE(c.hit == kt_intersects(&c.a, &c.b) && c.hit == kt_intersects(&c.b, &c.a)) << c.b.x1;
    kt_point p{99, 99}; const kt_segment a{0, 0, 1, 0}, b{5, -3, 5, -1}, par{0, 1, 1, 1};
    EXPECT_TRUE(kt_get_intersection(&a, &par, &p) == 0 && p.x == 99);
    // The lines cross outside both segments.
    EXPECT_TRUE(kt_get_intersection(&a, &b, &p) == 1 && p.x == 5 && p.y == 0);
    // Nearly parallel long lines cross far away; the point is pinned, not undefined.
    const kt_segment n1{-2000000000, 0, 2000000000, 1}, n3{-2000000000, 0, 2000000000, 3};
    EXPECT_EQ(1, kt_get_intersection(&n1, &n3, &p));
    const kt_point mid{0, 0}, beyond{2, 0};
    EXPECT_TRUE(kt_colinear_contains(&a, &mid) == 1 && kt_colinear_contains(&a, &beyond) == 0);
    // A box is crossed when a segment crosses one of its edges; a segment wholly inside is not. Corners
    // past the signed range do not wrap into negative coordinates.
    const kt_bbox box{10, 10, 10, 10}, far{0x7FFFFFF0u, 0, 0x20, 10};
    const kt_segment through{0, 15, 30, 15}, into{15, 0, 15, 12}, in{12, 12, 18, 18}, beside{25, 0, 25, 30},
        neg{-100, 5, -50, 5};
    EXPECT_TRUE(kt_bbox_intersects(&box, &through) && kt_bbox_intersects(&box, &into));
    EXPECT_FALSE(kt_bbox_intersects(&box, &in) || kt_bbox_intersects(&box, &beside) ||
                 kt_bbox_intersects(&far, &neg));
}

TEST(Point, DistancesAnglesEllipseAndClamp) {
    const kt_fpoint a{1.0f, 2.0f}, b{4.0f, 6.0f}, c{1.0f, -3.0f};  // a-c: same x, |dy|
    EXPECT_TRUE(kt_distance_to_point(&a, &b) == 5.0f && kt_distance_to_point(&a, &c) == 5.0f);
    EXPECT_FLOAT_EQ(std::atan2(4.0f, 3.0f), kt_angle_to_point(&a, &b));
    EXPECT_FLOAT_EQ(float(-M_PI / 2), kt_angle_to_point(&a, &c));
    EXPECT_TRUE(kt_clamp(-9, -5, 5) == -5 && kt_clamp(9, -5, 5) == 5 && kt_clamp(3, -5, 5) == 3);
    kt_ellipse e; const kt_fpoint centre{5.5f, 5.5f};
    ASSERT_EQ(1, kt_init_ellipse(&e, &centre, 10.0f, 6.0f));
    EXPECT_TRUE(e.major == 10.0f && e.minor == 6.0f && e.f1x == 1.5f && e.f2x == 9.5f);  // c = 4
    // End of the major axis: exactly 10 is in; just past it, or past the minor axis, is out.
    EXPECT_TRUE(kt_ellipse_contains(&e, 10.5f, 5.5f) == 1 && kt_ellipse_contains(&e, 10.6f, 5.5f) == 0 &&
                kt_ellipse_contains(&e, 5.5f, 8.6f) == 0);
    ASSERT_EQ(1, kt_init_ellipse(&e, &centre, 6.0f, 10.0f));  // taller than wide: foci on y
    EXPECT_TRUE(e.major == 10.0f && e.f1y == 1.5f && e.f1x == 5.5f);
    EXPECT_EQ(0, kt_init_ellipse(&e, &centre, -1.0f, 4.0f) + kt_init_ellipse(&e, &centre, NAN, 4.0f));
}
