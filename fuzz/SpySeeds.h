// Seeds of every spy kind for the binary and xml targets: one configured spy of each kind, held by a
// factory (binary form) and written under its own type name (XML form, which selects the kind).
#pragma once

#include <memory>
#include <vector>

#include "CrowdDensity.h"
#include "Direction.h"
#include "EnterExit.h"
#include "EventSpyFactory.h"
#include "Idle.h"
#include "LineCrossingSpy.h"
#include "ObjectSpy.h"
#include "ObjectTakenSpy.h"
#include "Perimeter.h"
#include "Speed.h"

namespace fuzz {

inline std::vector<std::unique_ptr<EventSpy>> spySeeds() {
    const ktml::Polygon2D<float> triangle{{0.1f, 0.1f}, {0.9f, 0.2f}, {0.5f, 0.8f}};
    std::vector<std::unique_ptr<EventSpy>> out;
    auto line = std::make_unique<LineCrossingSpy>("line", "");
    line->setCrossLine(0);
    line->setDirection(1);
    line->setLineSegment(ktml::LineSegment2D<float>(0.5f, 0.f, 0.5f, 1.f));
    out.push_back(std::move(line));
    out.push_back(std::make_unique<Direction>("dir", "", 90, 30, kttl::ElapsedTime(2000), 10));
    auto speed = std::make_unique<Speed>("speed", "");
    speed->setDistance(100);
    speed->setSpeedLimit(50);
    speed->setSegments(ktml::LineSegment2D<float>(0.25f, 0.f, 0.25f, 1.f),
                       ktml::LineSegment2D<float>(0.75f, 0.f, 0.75f, 1.f));
    out.push_back(std::move(speed));
    out.push_back(std::make_unique<EnterExit>("ee", "", EnterExit::Both, EnterExit::Exit));
    auto perimeter = std::make_unique<Perimeter>("p", "", 0.5);
    perimeter->setRegions({triangle});
    out.push_back(std::move(perimeter));
    out.push_back(std::make_unique<Idle>("idle", "", kttl::ElapsedTime(5000), 10));
    auto crowd = std::make_unique<CrowdDensity>("crowd", "", 0.3f, kttl::ElapsedTime(5000));
    crowd->setRegions({triangle});
    out.push_back(std::move(crowd));
    auto taken = std::make_unique<ObjectTakenSpy>("taken", "");
    taken->setRegion(triangle);
    taken->setReplaceAlarm(true);
    out.push_back(std::move(taken));
    auto objects = std::make_unique<ObjectSpy>("objects", "", 0.5f, kttl::ElapsedTime(1000), kttl::ElapsedTime(2000));
    objects->setNonContiguous(true);
    out.push_back(std::move(objects));
    return out;
}

}  // namespace fuzz
