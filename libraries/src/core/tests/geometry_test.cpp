// Boxes, segments, points, ellipses and min/max helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "kt_bbox.h"
#include "kt_ellipse.h"
#include "kt_minmax.h"
#include "kt_point.h"
#include "kt_segment.h"

namespace {

TEST(Bbox, CopyCenterContains) {
    kt_bbox a{3, 4, 5, 6}, b{0, 0, 0, 0};
    kt_bbox_cpy(&b, &a);
    EXPECT_EQ(3u, b.x);
    EXPECT_EQ(6u, b.height);
    kt_bbox_cpy(nullptr, &a);
    kt_bbox_cpy(&b, nullptr);

    kt_point c{0, 0};
    kt_bbox_center(&a, &c);
    EXPECT_EQ(5, c.x);  // 3 + 5/2
    EXPECT_EQ(7, c.y);

    const struct {
        int32_t x, y;
        int in;
    } pts[] = {{3, 4, 1}, {7, 9, 1}, {8, 9, 0}, {7, 10, 0}, {2, 4, 0}, {3, 3, 0}, {-1, -1, 0}};
    for (const auto& p : pts) {
        const kt_point pt{p.x, p.y};
        EXPECT_EQ(p.in, kt_bbox_contains(&a, &pt)) << p.x << "," << p.y;
    }
    EXPECT_EQ(0, kt_bbox_contains(nullptr, &c));
}

TEST(Bbox, RestrictKeepsClearOfTheLastRowAndColumnWithoutWrapping) {
    const struct {
        kt_bbox in;
        uint32_t W, H, w, h;
    } cases[] = {
        {{2, 2, 5, 5}, 10, 10, 5, 5},   // 2 + 5 = 7 <= 9: unchanged
        {{2, 2, 7, 7}, 10, 10, 7, 7},   // 9 > 9 is false: unchanged
        {{2, 2, 8, 9}, 10, 10, 7, 7},   // clipped to W - x - 1
        {{9, 9, 3, 3}, 10, 10, 0, 0},   // starts on the excluded column: empty, not 4 billion
        {{15, 0, 3, 1}, 10, 10, 0, 1},  // starts beyond the image
        {{0, 0, 3, 3}, 0, 0, 0, 0},     // empty image
    };
    for (const auto& c : cases) {
        kt_bbox b = c.in;
        kt_bbox_restrict(&b, c.W, c.H);
        EXPECT_EQ(c.w, b.width) << c.in.x << " " << c.in.width;
        EXPECT_EQ(c.h, b.height) << c.in.y << " " << c.in.height;
        EXPECT_EQ(c.in.x, b.x);
    }
}

TEST(Bbox, InflateGrowsLeftAndUpOnlyToZero) {
    kt_bbox b{5, 2, 10, 10};
    kt_bbox_inflate(&b, 7, 7, 7, 7);
    EXPECT_EQ(0u, b.x);
    EXPECT_EQ(0u, b.y);
    EXPECT_EQ(10u + 5 + 7, b.width);
    EXPECT_EQ(10u + 2 + 7, b.height);
    kt_bbox c{20, 20, 4, 4};
    kt_bbox_inflate(&c, 3, 1, 0, 2);
    EXPECT_EQ(17u, c.x);
    EXPECT_EQ(19u, c.y);
    EXPECT_EQ(7u, c.width);
    EXPECT_EQ(7u, c.height);
    kt_bbox d{0, 0, 0xFFFFFFF0u, 1};
    kt_bbox_inflate(&d, 0, 0, 0x100, 0);
    EXPECT_EQ(0xFFFFFFFFu, d.width);  // saturates instead of wrapping small
}

TEST(Segment, IntersectionsAtChosenCases) {
    const struct {
        kt_segment a, b;
        int hit;
    } cases[] = {
        {{0, 0, 10, 10}, {0, 10, 10, 0}, 1},    // X
        {{0, 0, 10, 0}, {5, -5, 5, 5}, 1},      // T through
        {{0, 0, 10, 0}, {5, 1, 5, 5}, 0},       // stops short
        {{0, 0, 10, 0}, {10, 0, 10, 5}, 1},     // touches at an end
        {{0, 0, 10, 0}, {0, 1, 10, 1}, 0},      // parallel
        {{0, 0, 10, 0}, {2, 0, 8, 0}, 0},       // collinear overlap: den 0
        {{0, 0, 0, 0}, {0, 0, 5, 5}, 0},        // degenerate
        {{0, 0, 4, 1}, {0, 1, 4, 0}, 1},        // crossing at (2, 0.5) rounds to (2, 1)
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.hit, kt_intersects(&c.a, &c.b)) << c.b.x1 << "," << c.b.y1;
        EXPECT_EQ(c.hit, kt_intersects(&c.b, &c.a));
    }
    EXPECT_EQ(0, kt_intersects(nullptr, &cases[0].a));

    kt_point p{99, 99};
    const kt_segment a{0, 0, 1, 0}, b{5, -3, 5, -1};
    ASSERT_EQ(1, kt_get_intersection(&a, &b, &p));  // lines cross outside both segments
    EXPECT_EQ(5, p.x);
    EXPECT_EQ(0, p.y);
    const kt_segment par{0, 1, 1, 1};
    p = {99, 99};
    EXPECT_EQ(0, kt_get_intersection(&a, &par, &p));
    EXPECT_EQ(99, p.x);
    // Nearly parallel long lines cross far away; the point is pinned, not undefined.
    const kt_segment n1{-2000000000, 0, 2000000000, 1}, n2{-2000000000, 1, 2000000000, 2};
    const kt_segment n3{-2000000000, 0, 2000000000, 3};
    EXPECT_EQ(1, kt_get_intersection(&n1, &n3, &p));
    EXPECT_EQ(0, kt_get_intersection(&n1, &n2, &p));

    EXPECT_DOUBLE_EQ(-2.0, kt_determinate(1, 2, 3, 4));

    kt_segment s;
    kt_set_segment(&s, 1, 2, 3, 4);
    EXPECT_EQ(3, s.x2);
    kt_set_segment(nullptr, 1, 2, 3, 4);
    const kt_point in{2, 3}, edge{3, 4}, out{4, 3};
    EXPECT_EQ(1, kt_colinear_contains(&s, &in));
    EXPECT_EQ(1, kt_colinear_contains(&s, &edge));
    EXPECT_EQ(0, kt_colinear_contains(&s, &out));
}

TEST(Bbox, IntersectsCountsCrossingsNotContainment) {
    const kt_bbox box{10, 10, 10, 10};
    const struct {
        kt_segment s;
        int hit;
    } cases[] = {
        {{0, 15, 30, 15}, 1},   // through left and right
        {{15, 0, 15, 12}, 1},   // into the top
        {{12, 12, 18, 18}, 0},  // wholly inside
        {{0, 0, 5, 30}, 0},     // beside
        {{25, 0, 25, 30}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.hit, kt_bbox_intersects(&box, &c.s)) << c.s.x1;
    EXPECT_EQ(0, kt_bbox_intersects(nullptr, &cases[0].s));
    // Corners past the signed range do not wrap into negative coordinates.
    const kt_bbox far{0x7FFFFFF0u, 0, 0x20, 10};
    const kt_segment neg{-100, 5, -50, 5};
    EXPECT_EQ(0, kt_bbox_intersects(&far, &neg));
}

TEST(Point, DistancesAndAngles) {
    const kt_fpoint a{1.0f, 2.0f}, b{4.0f, 6.0f}, c{1.0f, -3.0f};
    EXPECT_FLOAT_EQ(5.0f, kt_distance_to_point(&a, &b));
    EXPECT_FLOAT_EQ(5.0f, kt_distance_to_point(&a, &c));  // same x: |dy|
    EXPECT_FLOAT_EQ(2.5f, kt_distance_to(&a, -1.5f, 2.0f));
    EXPECT_FLOAT_EQ(-1.0f, kt_distance_to(nullptr, 0, 0));
    EXPECT_FLOAT_EQ(std::atan2(4.0f, 3.0f), kt_angle_to_point(&a, &b));
    EXPECT_FLOAT_EQ(float(-M_PI / 2), kt_angle_to_point(&a, &c));
}

TEST(Ellipse, FociAndContainment) {
    kt_ellipse e;
    const kt_fpoint centre{5.5f, 5.5f};
    ASSERT_EQ(1, kt_init_ellipse(&e, &centre, 10.0f, 6.0f));
    EXPECT_FLOAT_EQ(10.0f, e.major);
    EXPECT_FLOAT_EQ(6.0f, e.minor);
    EXPECT_FLOAT_EQ(1.5f, e.f1x);  // c = sqrt(25 - 9) = 4
    EXPECT_FLOAT_EQ(9.5f, e.f2x);
    EXPECT_FLOAT_EQ(5.5f, e.f1y);
    EXPECT_EQ(1, kt_ellipse_contains(&e, 5.5f, 5.5f));
    EXPECT_EQ(1, kt_ellipse_contains(&e, 10.5f, 5.5f));  // end of the major axis: exactly 10
    EXPECT_EQ(0, kt_ellipse_contains(&e, 10.6f, 5.5f));
    EXPECT_EQ(0, kt_ellipse_contains(&e, 5.5f, 8.6f));

    ASSERT_EQ(1, kt_init_ellipse(&e, &centre, 6.0f, 10.0f));
    EXPECT_FLOAT_EQ(10.0f, e.major);
    EXPECT_FLOAT_EQ(1.5f, e.f1y);
    EXPECT_FLOAT_EQ(5.5f, e.f1x);

    ASSERT_EQ(1, kt_init_ellipse(&e, &centre, 4.0f, 4.0f));  // circle: both foci at the centre
    EXPECT_FLOAT_EQ(5.5f, e.f1x);
    EXPECT_FLOAT_EQ(5.5f, e.f2x);
    EXPECT_EQ(0, kt_init_ellipse(&e, &centre, -1.0f, 4.0f));
    EXPECT_EQ(0, kt_init_ellipse(&e, &centre, NAN, 4.0f));
    EXPECT_EQ(0, kt_init_ellipse(nullptr, &centre, 1, 1));
    EXPECT_EQ(0, kt_ellipse_contains(nullptr, 0, 0));
}

TEST(MinMax, Helpers) {
    EXPECT_EQ(-5, kt_clamp(-9, -5, 5));
    EXPECT_EQ(5, kt_clamp(9, -5, 5));
    EXPECT_EQ(3, kt_clamp(3, -5, 5));
    EXPECT_EQ(-2, kt_min(-2, 7));
    EXPECT_EQ(7, kt_max(-2, 7));
    EXPECT_FLOAT_EQ(1.5f, kt_fmin(2.0f, 1.5f));
    EXPECT_FLOAT_EQ(2.25f, kt_fsquare(-1.5f));
}

}  // namespace
