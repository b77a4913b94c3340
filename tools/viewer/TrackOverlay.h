// TrackOverlay: the viewer's drawing of tracked objects: each object's box and its recent path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>

#include "ObjectMap.h"
#include "kt_image.h"

// A frame usually carries only each object's newest node, so the path is gathered here from frame to
// frame. Drawing clips to the picture: boxes and paths partly or wholly outside never write outside.
class TrackOverlay {
public:
    // Centres kept per object.
    static constexpr size_t kPathPoints = 40;
    static constexpr unsigned char kBoxBgr[3] = {0, 255, 0};
    static constexpr unsigned char kPathBgr[3] = {0, 200, 255};

    // Appends each object's newest centre to its path (not again when unchanged); forgets the paths
    // of objects no longer present.
    void update(const ObjectMap& objects);
    // Draws every object's newest box and its path into `picture` (3 or 4 channels, blue first);
    // false, unchanged, for another channel count.
    bool draw(const ObjectMap& objects, kt_image& picture) const;

    size_t pathLength(uint32_t id) const;

private:
    struct Point {
        int x, y;
    };
    std::map<uint32_t, std::deque<Point>> m_paths;
};

// `out` (3 channels, blue-green-red, reallocated only when its size differs) gets `in` (gray,
// blue-green-red, or blue-green-red and a fourth byte). False, `out` unchanged, for other inputs.
bool toColour(const kt_image& in, kt_image& out);
// A one-pixel line of colour `bgr`, clipped to the picture (3 or 4 channels).
void drawLine(kt_image& picture, int x0, int y0, int x1, int y1, const unsigned char bgr[3]);
// The outline of the box at (x, y) of width w and height h, clipped to the picture.
void drawRect(kt_image& picture, int x, int y, int w, int h, const unsigned char bgr[3]);
