// SpyGeometry: the small geometry and form helpers the object and zone spies share: box centres,
// rounded displacements, region lists with their XML form and their pixel masks.
#pragma once

#include <cmath>
#include <cstdint>
#include <list>
#include <sstream>

#include "Object.h"
#include "ktml_Mask2d.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "kttl_String.h"
#include "ktxml_DomIterator.h"

namespace spygeo {

typedef ktml::BoundingBox<int> Box;
typedef ktml::Polygon2D<float> Region;
typedef ktsl::List<Region> RegionList;
// One byte per pixel: 1 inside a region, 0 elsewhere.
typedef ktml::Mask2D<unsigned char> RegionMask;

// A region is filled row by row in O(rows x vertices); above this many vertices a region is refused,
// so a hostile form cannot stall the frame loop on a frame-size change.
constexpr size_t kMaxRegionVertices = 4096;

// Box centre with integer division, as zones are tested.
inline ktml::Point2D<int> centre(const Box& b) { return ktml::Point2D<int>(b.x + b.width / 2, b.y + b.height / 2); }

// Euclidean distance rounded half up, in double (no overflow for any int coordinates).
inline double roundedDistance(const ktml::Point2D<int>& a, const ktml::Point2D<int>& b) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    return std::floor(std::sqrt(dx * dx + dy * dy) + 0.5);
}

// The distance from the centre of the object's initial box to that of its newest box, rounded.
inline double displacement(const Object& o, const Box& newest) {
    return roundedDistance(centre(o.getInitialBox()), centre(newest));
}

// Whether every vertex is finite and the count is usable (3 .. kMaxRegionVertices); `why` says why not.
inline bool regionUsable(const Region& r, kttl::String& why) {
    if (r.size() < 3 || r.size() > kMaxRegionVertices) {
        why = kttl::String::format("region with %u vertices refused (3 to %u)", unsigned(r.size()),
                                   unsigned(kMaxRegionVertices));
        return false;
    }
    for (const auto& p : r)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            why = "region with a non-finite vertex refused";
            return false;
        }
    return true;
}

// Reads every child of `list` as a region (vertex children, any name). False, `out` untouched, when a
// child is not a polygon or not usable (`why` says which).
inline bool parseRegions(const ktxml::DomIterator& list, RegionList& out, kttl::String& why) {
    RegionList regions;
    for (ktxml::DomIterator it = list.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        Region r;
        if (!r.fromDom(it)) {
            why = "region is not a polygon";
            return false;
        }
        if (!regionUsable(r, why)) return false;
        regions.push_back(r);
    }
    out.swap(regions);
    return true;
}

// <tag><region><vertex x= y= />..</region>..</tag>
inline kttl::String regionsXML(const char* tag, const RegionList& regions) {
    kttl::String xml = kttl::String::format("<%s>", tag);
    for (const Region& r : regions) xml += r.toXML("region", "vertex");
    xml.appendFormat("</%s>", tag);
    return xml;
}

// Rebuilds `mask` as width x height pixels holding 1 inside any region (fractions scale with the
// frame as zones do; pixel regions are taken as they are). An empty size leaves an empty mask.
inline void buildMask(RegionMask& mask, const RegionList& regions, unsigned width, unsigned height) {
    mask.reset(width, height, 0);
    if (width == 0 || height == 0) return;
    for (const Region& r : regions)
        if (r.isValid()) mask.addPolygon(r.denormalize<int>(int(width), int(height)), 1);
}

// Pixels set in `mask` (0 for an empty mask).
inline size_t maskCount(const RegionMask& mask) {
    size_t n = 0;
    const unsigned char* d = mask.cells().data();
    for (size_t i = 0, e = mask.cells().size(); i < e; ++i) n += d[i];
    return n;
}

// The text of a number the way the XML forms write doubles (six significant digits).
inline kttl::String numberText(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

}  // namespace spygeo
