// LineCrossing: a counting line in pixels with its mode and direction, and the crossing test of one
// reference point moving between two frames.
#pragma once

#include <cmath>
#include <cstdint>

#include "ktml_Line2d.h"

template <typename T>
struct LineCrossing {
    // Crossing bits of a tripped record.
    enum Bits : uint32_t {
        TopLeft = 0x1,
        TopRight = 0x2,
        BottomLeft = 0x4,
        BottomRight = 0x8,
        Centre = 0x10,
        DirectionMet = 0x20,
        AllPoints = 0x1f,
    };
    // How far from the line's first point the direction sign is probed, in pixels.
    static constexpr double kSignProbePx = 100.0;
    // Rounding slack of a crossing computed at a motion's end point (a fraction of the motion).
    static constexpr double kMotionSlack = 1e-12;

    ktml::LineSegment2D<T> line;  // the pixel line
    ktml::Line2D<T> wholeLine;    // the same line, for whole-line tests
    int32_t crossLine = 1;        // 0: segment mode; otherwise whole-line mode
    int32_t direction = 0;        // 0 both ways; 1 or 2 one way
    int32_t sign = 0;             // 0 not computed yet, else +1 or -1

    void setLine(const ktml::LineSegment2D<T>& l) {
        line = l;
        wholeLine = ktml::Line2D<T>(l.first, l.second);
        sign = 0;
    }
    bool hasLength() const { return !line.isDegenerate(); }

    // The side a point must end on for direction 1 or 2: probed 100 px left of the first point for a
    // line steeper than 45 degrees, else 100 px above it; direction 1 takes the other side.
    int32_t directionSign() {
        if (sign == 0) {
            const double dx = double(line.second.x) - line.first.x, dy = double(line.second.y) - line.first.y;
            const bool steep = dx == 0.0 || std::fabs(dy / dx) > 1.0;
            const ktml::Point2D<double> probe(line.first.x - (steep ? kSignProbePx : 0.0),
                                              line.first.y - (steep ? 0.0 : kSignProbePx));
            sign = wholeLine.signedDistanceTo(probe) >= 0.0 ? 1 : -1;
            if (direction == 1) sign = -sign;
        }
        return sign;
    }
    template <typename U>
    bool satisfiesDirection(const ktml::Point2D<U>& p) {
        return (wholeLine.signedDistanceTo(p) >= 0.0 ? 1 : -1) == directionSign();
    }

    // Moves one reference point from p1 to p2 and toggles `bit` in `bits` when its path crosses the
    // line (segment semantics when `segment` or in segment mode, else the whole line); then sets
    // DirectionMet when a direction is asked, the bit is now set, the point counts for direction
    // (the centre, or any point in segment mode) and p2 lies on the asked side.
    void test(const ktml::Point2D<double>& p1, const ktml::Point2D<double>& p2, uint32_t bit, bool segment,
              uint32_t& bits) {
        const ktml::LineSegment2D<double> motion(p1, p2);
        const bool segmentMode = segment || crossLine == 0;
        const double mx = p2.x - p1.x, my = p2.y - p1.y;
        const double lx = double(line.second.x) - line.first.x, ly = double(line.second.y) - line.first.y;
        if (mx * ly - my * lx == 0.0) return;  // parallel (or no motion)
        const double cross = mx * ly - my * lx;
        bool crossed;
        if (segmentMode) {
            crossed = motion.intersects(ktml::LineSegment2D<double>(line));
        } else {
            // Where along the motion the infinite line is met: it must be within the motion.
            const double t = ((double(line.first.x) - p1.x) * ly - (double(line.first.y) - p1.y) * lx) / cross;
            crossed = t >= -kMotionSlack && t <= 1.0 + kMotionSlack;
        }
        if (crossed) bits ^= bit;
        if (direction != 0 && (bits & bit) && (bit == Centre || crossLine == 0) && satisfiesDirection(p2))
            bits |= DirectionMet;
    }
};
