// SpyScene: hand-made tracked objects and frames for the spy and detector tests.
#pragma once

#include <cstdint>

#include "ProcessFrame.h"
#include "kttl_ElapsedTime.h"
#include "kttl_TimeStamp.h"

using Box = ktml::BoundingBox<int>;

constexpr int64_t kSceneEpochS = 1700000000;

inline kttl::TimeStamp sceneTime(int64_t ms) { return kttl::TimeStamp(kSceneEpochS + ms / 1000, ms % 1000); }

// A confirmed track (status 3 unless given) of `nodes` entries spread over `ageMs`: every entry at
// `first` but the newest, which is at `last`.
inline Object mover(unsigned id, const Box& first, const Box& last, int nodes = 3, int64_t ageMs = 2000,
                    int32_t status = 3) {
    Object o("Moving", kttl::ElapsedTime(600000));
    o.setId(id);
    o.setTrackStatus(status);
    for (int i = 0; i < nodes; ++i) {
        const int64_t t = nodes > 1 ? ageMs * i / (nodes - 1) : 0;
        o.insert(i == nodes - 1 ? last : first, {}, sceneTime(t));
    }
    return o;
}

// A width x height frame at stream position `ms` holding `objects`.
inline void loadFrame(ProcessFrame& frame, int64_t ms, std::initializer_list<Object> objects, int width = 320,
                      int height = 240) {
    frame.clear();
    frame.setResolution(ktvl::Resolution(width, height));
    frame.setTimePosition(sceneTime(ms), kttl::ElapsedTime(ms));
    for (const Object& o : objects) frame.getObjects().addObject(o);
}
