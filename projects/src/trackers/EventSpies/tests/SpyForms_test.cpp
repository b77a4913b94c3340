// The XML and binary forms of every spy kind through the factory, and hostile forms: refused values,
// oversized regions, non-finite coordinates, truncated input.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "../../../../libraries/src/misc/tests/TestBytes.h"
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

namespace {

typedef ktml::Polygon2D<float> Poly;
const Poly kTriangle{{0.1f, 0.1f}, {0.9f, 0.2f}, {0.5f, 0.8f}};

// One spy of every kind, each with settings away from its defaults.
std::vector<std::shared_ptr<EventSpy>> configuredSpies() {
    auto line = std::make_shared<LineCrossingSpy>("line", "a line");
    line->setCrossLine(0);
    line->setDirection(2);
    line->setLineSegment(ktml::LineSegment2D<float>(0.5f, 0.f, 0.5f, 1.f));
    auto speed = std::make_shared<Speed>("speed", "");
    speed->setUnit(Speed::English);
    speed->setDistance(300);
    speed->setSpeedLimit(30);
    speed->setSegments(ktml::LineSegment2D<float>(0.2f, 0.f, 0.2f, 1.f), ktml::LineSegment2D<float>(10, 0, 10, 200));
    auto perimeter = std::make_shared<Perimeter>("p", "", 0.25);
    perimeter->setRegions({kTriangle});
    auto crowd = std::make_shared<CrowdDensity>("c", "", 0.4f, kttl::ElapsedTime(3000));
    crowd->setRegions({kTriangle, Poly{{10, 10}, {50, 10}, {50, 50}}});
    auto taken = std::make_shared<ObjectTakenSpy>("t", "");
    taken->setRegion(kTriangle);
    taken->setSensitivity(0.7f);
    taken->setReplaceAlarm(true);
    auto object = std::make_shared<ObjectSpy>("o", "", 0.6f, kttl::ElapsedTime(1500), kttl::ElapsedTime(4000));
    object->setNonContiguous(true);
    object->setClasses({"human"});
    return {line,
            std::make_shared<Direction>("d", "", 270, 45, kttl::ElapsedTime(3000), 20),
            speed,
            std::make_shared<EnterExit>("e", "", EnterExit::Exit, EnterExit::Enter),
            perimeter,
            std::make_shared<Idle>("i", "", kttl::ElapsedTime(7000), 12),
            crowd,
            taken,
            object};
}

}  // namespace

TEST(SpyForms, EveryKindReadsBackThroughTheFactory) {
    std::map<kttl::String, kttl::String> kinds;
    EventSpyFactory::getAllEventSpies(kinds);
    EXPECT_EQ(kinds.size(), 10u);
    for (const auto& spy : configuredSpies()) {
        const kttl::String xml = spy->toXML();
        EXPECT_EQ(kinds[spy->getTypeName()], spy->getFriendlyName());
        EventSpyFactory fromXml, fromBin;
        ASSERT_TRUE(fromXml.fromXML(xml.c_str())) << xml << " " << fromXml.getLastError();
        EXPECT_EQ(fromXml.getSpy()->getTypeId(), spy->getTypeId());
        EXPECT_EQ(fromXml.toXML(), xml);
        const Bytes bin = binOf(EventSpyFactory(spy.get()));
        EXPECT_EQ(readBin(fromBin, bin), bin.size());
        EXPECT_EQ(fromBin.toXML(), xml);
        std::unique_ptr<EventSpy> copy(spy->clone());
        EXPECT_EQ(copy->toXML(), xml);
        // Truncated forms are refused and leave the factory as it was.
        for (size_t n = 0; n < bin.size(); n += 7) ASSERT_TRUE(fromBinRefused(fromBin, Bytes(bin.begin(), bin.begin() + n)));
        EXPECT_EQ(fromBin.toXML(), xml);
    }
    EventSpyFactory alias;
    ASSERT_TRUE(alias.fromXML("<TripwireSpy><EventSpy><name>t</name></EventSpy></TripwireSpy>"));
    EXPECT_EQ(alias.getSpy()->getTypeName(), "LineCrossingSpy");
}

TEST(SpyForms, HostileValuesAreRefusedOrSaturated) {
    std::string bigRegion = "<region>";
    for (int i = 0; i < 4097; ++i) bigRegion += "<vertex x=\"" + std::to_string(i % 500) + "\" y=\"" + std::to_string(i % 7) + "\"/>";
    bigRegion += "</region>";
    const struct { const char* xml; bool accepted; } rows[] = {
        {"<LineCrossingSpy><direction>3</direction></LineCrossingSpy>", false},
        {"<LineCrossingSpy><direction>2</direction></LineCrossingSpy>", true},
        {"<SpeedSpy><unit>furlong</unit></SpeedSpy>", false},
        {"<SpeedSpy><distance>99999999999</distance></SpeedSpy>", false},
        {"<IdleSpy><movement>-4</movement></IdleSpy>", false},
        {"<CrowdDensitySpy><max-density>1.5</max-density></CrowdDensitySpy>", false},
        {"<CrowdDensitySpy><max-density>nan</max-density></CrowdDensitySpy>", false},
        {"<PerimeterSpy><intrusion>nan</intrusion></PerimeterSpy>", false},
        {"<PerimeterSpy><ktml_PolygonList><region><vertex x=\"1\" y=\"1\"/><vertex x=\"5\" y=\"1\"/>"
         "<vertex x=\"5\" y=\"5\"/></region></ktml_PolygonList></PerimeterSpy>", true},
        {"<ObjectSpy><min-conf>nan</min-conf></ObjectSpy>", false},
        {"<ObjectSpy><min-life unit=\"second\">2</min-life><max-death unit=\"second\">1</max-death></ObjectSpy>", true},
        {"<ObjectTakenSpy><region><vertex x=\"1\" y=\"1\"/><vertex x=\"nan\" y=\"1\"/><vertex x=\"5\" y=\"5\"/>"
         "</region></ObjectTakenSpy>", false},
        {"<ObjectTakenSpy><region><vertex x=\"1\" y=\"1\"/><vertex x=\"inf\" y=\"1\"/><vertex x=\"5\" y=\"5\"/>"
         "</region></ObjectTakenSpy>", true},  // saturated to the largest float
    };
    for (const auto& r : rows) {
        EventSpyFactory factory;
        EXPECT_EQ(factory.fromXML(r.xml), r.accepted) << r.xml;
    }
    for (const char* kind : {"PerimeterSpy", "CrowdDensitySpy"}) {
        const char* list = std::string(kind) == "PerimeterSpy" ? "perimeter-regions" : "crowd-regions";
        EventSpyFactory factory;
        const std::string xml = std::string("<") + kind + "><" + list + ">" + bigRegion + "</" + list + "></" + kind + ">";
        EXPECT_FALSE(factory.fromXML(xml.c_str())) << kind;
    }
    EventSpyFactory taken;
    EXPECT_FALSE(taken.fromXML(("<ObjectTakenSpy>" + bigRegion + "</ObjectTakenSpy>").c_str()));

    // A refused form leaves a configured spy as it was; a refused sensitivity keeps the old one.
    ObjectTakenSpy spy("t", "");
    ASSERT_TRUE(spy.setRegion(kTriangle));
    const kttl::String before = spy.toXML();
    EXPECT_FALSE(spy.fromXML(("<ObjectTakenSpy>" + bigRegion + "</ObjectTakenSpy>").c_str()));
    EXPECT_EQ(spy.toXML(), before);
    ASSERT_TRUE(spy.fromXML("<ObjectTakenSpy><sensitivity>7</sensitivity></ObjectTakenSpy>"));
    EXPECT_EQ(spy.getModel().getSensitivity(), 0.5f);

    // Coordinates far beyond the pixel range saturate instead of overflowing.
    LineCrossingSpy line;
    ASSERT_TRUE(line.fromXML("<LineCrossingSpy><first x=\"1e30\" y=\"-1e30\"/><second x=\"0\" y=\"0\"/></LineCrossingSpy>"));
    EXPECT_EQ(line.getLine().line.first, ktml::Point2D<float>(float(INT32_MAX), float(INT32_MIN)));
}
