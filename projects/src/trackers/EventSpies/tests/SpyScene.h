// SpyScene: hand-made tracked objects and frames for the spy and detector tests.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

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

// A confirmed track (status 3 unless given) born at stream time 0 whose nodes are the first `count`
// boxes of `path`, one every `stepMs` (so its newest box is path[count - 1]).
inline Object track(unsigned id, const std::vector<Box>& path, size_t count, int64_t stepMs, int32_t status = 3) {
    Object o("Moving", kttl::ElapsedTime(600000));
    o.setId(id);
    o.setTrackStatus(status);
    for (size_t i = 0; i < count && i < path.size(); ++i) o.insert(path[i], {}, sceneTime(int64_t(i) * stepMs));
    return o;
}

// Drives `spy` along `path` (one frame per box, frame k at k x stepMs holding object `id` with the
// first k + 1 boxes); returns, per frame, the events handed out.
template <class Spy>
std::vector<std::list<Event>> runPath(Spy& spy, const std::vector<Box>& path, int64_t stepMs = 400, unsigned id = 1,
                                      int width = 320, int height = 240) {
    std::vector<std::list<Event>> out;
    ProcessFrame frame;
    for (size_t k = 0; k < path.size(); ++k) {
        loadFrame(frame, int64_t(k) * stepMs, {track(id, path, k + 1, stepMs)}, width, height);
        spy.spy(frame);
        out.emplace_back();
        spy.getEvents(out.back());
    }
    return out;
}

// Per frame: how many events came out.
inline std::vector<size_t> eventCounts(const std::vector<std::list<Event>>& events) {
    std::vector<size_t> n;
    for (const auto& e : events) n.push_back(e.size());
    return n;
}
