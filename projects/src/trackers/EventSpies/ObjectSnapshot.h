// ObjectSnapshot: what the zone spies keep of an object between frames, so an object that has left
// the map can still be judged with its last data, without copying its whole history.
#pragma once

#include <cstdint>

#include "FrameEventSpy.h"
#include "SpyGeometry.h"

struct ObjectSnapshot {
    spygeo::Box initial;
    spygeo::Box newest;
    bool hasNewest = false;
    bool isStatic = false;
    int32_t trackStatus = -1;
    kttl::ElapsedTime age;

    ObjectSnapshot() = default;
    explicit ObjectSnapshot(const Object& o)
        : initial(o.getInitialBox()),
          hasNewest(o.newest(newest)),
          isStatic(o.isStatic()),
          trackStatus(o.getTrackStatus()),
          age(o.age()) {}

    // The common object test of the zone spies: a newest box, not static, within the size limits,
    // moved at least min-distance (rounded half up) and at least min-age old.
    bool passesCommon(const FrameEventSpy& spy) const {
        return hasNewest && !isStatic && spy.fitsSize(newest) &&
               spygeo::roundedDistance(spygeo::centre(initial), spygeo::centre(newest)) >= spy.getMinDistance() &&
               age >= spy.getMinAge();
    }
};
