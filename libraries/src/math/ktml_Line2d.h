// ktml::Line2D, LineSegment2D and Ray2D: the infinite line through two points, the bounded segment
// between them and the ray from the first through the second. Counting lines and occlusion edges.
#pragma once

#include <algorithm>
#include <cmath>

#include "ktml_Point2d.h"

namespace ktml {

template <typename T>
class Line2D {
public:
    typedef T value_type;

    Point2D<T> first;
    Point2D<T> second;

    Line2D() = default;
    Line2D(const Point2D<T>& a, const Point2D<T>& b) : first(a), second(b) {}
    Line2D(T x1, T y1, T x2, T y2) : first(x1, y1), second(x2, y2) {}
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    Line2D(const Line2D<U>& o) : first(o.first), second(o.second) {}
    virtual ~Line2D() = default;

    bool operator==(const Line2D& o) const { return first == o.first && second == o.second; }
    bool operator!=(const Line2D& o) const { return !(*this == o); }

    bool isDegenerate() const { return first == second; }
    double length() const {
        return std::hypot(static_cast<double>(second.x) - first.x, static_cast<double>(second.y) - first.y);
    }

    // Signed distance from the directed line first -> second to p; the sign tells the side. When
    // the two points coincide it is the (non-negative) distance from first to p; collinear points
    // give exactly 0.
    template <typename U>
    double signedDistanceTo(const Point2D<U>& p) const {
        const double ax = first.x, ay = first.y, bx = second.x, by = second.y;
        const double px = p.x, py = p.y;
        if (ax == bx && ay == by) return std::hypot(px - ax, py - ay);
        if (ax * (by - py) + bx * (py - ay) + px * (ay - by) == 0.0) return 0.0;
        return ((bx - ax) * (ay - py) - (ax - px) * (by - ay)) / std::hypot(bx - ax, by - ay);
    }

    // Crossing of the two infinite lines by the determinant formula in double precision. False
    // (at untouched) when the determinant is 0: parallel or identical lines.
    template <typename U>
    bool intersection(const Line2D<U>& o, Point2D<double>& at) const {
        const double x1 = first.x, y1 = first.y, x2 = second.x, y2 = second.y;
        const double x3 = o.first.x, y3 = o.first.y, x4 = o.second.x, y4 = o.second.y;
        const double den = (x1 - x2) * (y3 - y4) - (y1 - y2) * (x3 - x4);
        if (den == 0.0 || !std::isfinite(den)) return false;
        const double a = x1 * y2 - y1 * x2, b = x3 * y4 - y3 * x4;
        at.x = (a * (x3 - x4) - (x1 - x2) * b) / den;
        at.y = (a * (y3 - y4) - (y1 - y2) * b) / den;
        return true;
    }

    // The crossing point in this line's coordinate type (rounded half away from zero for integer
    // types). Throws when the lines are parallel or identical.
    template <typename U>
    Point2D<T> getIntersection(const Line2D<U>& o) const {
        Point2D<double> at;
        if (!intersection(o, at)) KT_THROW("ktml::Line2D", "intersection() - intersection doesn't exist");
        return Point2D<T>(at);
    }

protected:
    // Whether (px, py) lies within the coordinate ranges of first..second, ends included. A crossing
    // computed in double precision may miss an exact end point by rounding: allow that much.
    bool inRange(double px, double py) const {
        const double x1 = first.x, y1 = first.y, x2 = second.x, y2 = second.y;
        const double ex = kRangeSlack * std::max(1.0, std::max(std::fabs(x1), std::fabs(x2)));
        const double ey = kRangeSlack * std::max(1.0, std::max(std::fabs(y1), std::fabs(y2)));
        return px >= std::min(x1, x2) - ex && px <= std::max(x1, x2) + ex && py >= std::min(y1, y2) - ey &&
               py <= std::max(y1, y2) + ey;
    }
    // Relative rounding slack of a computed crossing point (far below a pixel).
    static constexpr double kRangeSlack = 1e-9;
    template <typename U>
    friend class LineSegment2D;
    template <typename U>
    friend class Ray2D;
};

template <typename T>
class LineSegment2D : public Line2D<T> {
public:
    using Line2D<T>::Line2D;
    LineSegment2D() = default;
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    LineSegment2D(const LineSegment2D<U>& o) : Line2D<T>(o.first, o.second) {}

    // Whether p lies on the segment: collinear with it and within its coordinate ranges.
    template <typename U>
    bool contains(const Point2D<U>& p) const {
        return this->signedDistanceTo(p) == 0.0 && this->inRange(p.x, p.y);
    }

    // Whether the two segments cross: their lines meet at a point within the coordinate ranges of
    // both (ends included). Parallel segments never cross, even when they overlap.
    template <typename U>
    bool intersects(const LineSegment2D<U>& o, Point2D<double>* at = nullptr) const {
        Point2D<double> p;
        if (!this->intersection(o, p)) return false;
        if (!this->inRange(p.x, p.y) || !o.inRange(p.x, p.y)) return false;
        if (at) *at = p;
        return true;
    }
};

template <typename T>
class Ray2D : public Line2D<T> {
public:
    using Line2D<T>::Line2D;
    Ray2D() = default;

    // Whether the ray meets the segment: the crossing of their lines lies within the segment and
    // not behind the ray's start (in the direction first -> second). A degenerate ray meets nothing.
    template <typename U>
    bool intersects(const LineSegment2D<U>& s, Point2D<double>* at = nullptr) const {
        if (this->isDegenerate()) return false;
        Point2D<double> p;
        if (!this->intersection(s, p)) return false;
        if (!s.inRange(p.x, p.y)) return false;
        const double dx = static_cast<double>(this->second.x) - this->first.x;
        const double dy = static_cast<double>(this->second.y) - this->first.y;
        if ((p.x - this->first.x) * dx + (p.y - this->first.y) * dy < 0.0) return false;
        if (at) *at = p;
        return true;
    }
};

}  // namespace ktml
