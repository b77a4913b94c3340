// The tracker's parameter block: its two payloads, hostile payloads, clamping, occlusion segments.
#include <gtest/gtest.h>

#include <cstring>

#include "ObjectTracker.h"
#include "ObjectTrackerParams.h"
#include "capture_logger.h"

namespace {

ObjectTrackerParams custom() {
    ObjectTrackerParams p;
    p.resurrectionWindow = kttl::ElapsedTime(12000);
    p.resurrectionDistance = 40;
    p.resurrectionConfidence = 0.75;
    p.advancedHistograms = true;
    p.invalidWindow = kttl::ElapsedTime(3000);
    p.deferTime = kttl::ElapsedTime(0);
    p.alwaysUpdateHistograms = true;
    p.minTrackLength = 2;
    p.maxTrackMerges = 3;
    p.occlusionZones.push_back(ktml::Polygon2D<float>{{10, 10}, {50, 10}, {50, 40}});
    return p;
}

void expectSame(const ObjectTrackerParams& a, const ObjectTrackerParams& b) {
    EXPECT_EQ(a.resurrectionWindow, b.resurrectionWindow);
    EXPECT_EQ(a.resurrectionDistance, b.resurrectionDistance);
    EXPECT_DOUBLE_EQ(a.resurrectionConfidence, b.resurrectionConfidence);
    EXPECT_EQ(a.removeFalseObjects, b.removeFalseObjects);
    EXPECT_EQ(a.advancedHistograms, b.advancedHistograms);
    EXPECT_EQ(a.advancedObjectFeatures, b.advancedObjectFeatures);
    EXPECT_EQ(a.invalidWindow, b.invalidWindow);
    EXPECT_EQ(a.deferTime, b.deferTime);
    EXPECT_EQ(a.alwaysUpdateHistograms, b.alwaysUpdateHistograms);
    EXPECT_EQ(a.minTrackLength, b.minTrackLength);
    EXPECT_EQ(a.maxTrackMerges, b.maxTrackMerges);
    EXPECT_EQ(a.occlusionZones, b.occlusionZones);
}

// A plain block carrying only an XML body, as a reader that does not know the class would hold it.
ProcessParams xmlBlock(const std::string& body) {
    ProcessParams block;
    EXPECT_TRUE(block.fromXML(("<ObjectTracker enabled=\"true\">" + body + "</ObjectTracker>").c_str()));
    return block;
}

}  // namespace

TEST(ObjectTrackerParams, BothPayloadsCarryEveryValue) {
    const ObjectTrackerParams sent = custom();
    ObjectTrackerParams fromBin, fromXml;
    ASSERT_TRUE(fromBin.binUnserialize(sent.binSerialize()));
    ASSERT_TRUE(fromXml.xmlUnserialize(sent.xmlSerialize()));
    expectSame(fromBin, sent);
    expectSame(fromXml, sent);
    // Flags travel by presence; no zones is one empty element.
    const kttl::String defaults = ObjectTrackerParams().xmlSerialize();
    EXPECT_NE(defaults.find("<occlusion-zones/>\n"), std::string::npos);
    EXPECT_EQ(defaults.find("<advanced-histograms/>"), std::string::npos);
    EXPECT_NE(sent.xmlSerialize().find("<always-update-histograms/>\n"), std::string::npos);
    EXPECT_NE(sent.xmlSerialize().find("<zone><vertex"), std::string::npos);
}

// Whatever a hostile payload holds, the tracker refuses it and keeps its configuration.
TEST(ObjectTrackerParams, HostilePayloadsLeaveTheTrackerUnchanged) {
    ObjectTracker tracker;
    ASSERT_TRUE(tracker.setParameters(custom()));
    ktsl::MemIOStream truncated = custom().binSerialize();
    ktsl::MemIOStream cut;
    cut.writeBytes(truncated.unreadData(), truncated.getUnreadLength() - 5);
    ktsl::MemIOStream wrongTypes;
    wrongTypes.write(kttl::Integer(7));
    wrongTypes.write(kttl::Integer(7));
    const struct {
        const char* name;
        std::string xml;
        const ktsl::MemIOStream* bin;
    } cases[] = {
        {"empty", "", nullptr},
        {"bad number", "<min-track-length>abc</min-track-length>", nullptr},
        {"bad zone", "<occlusion-zones><zone><vertex x=\"a\" y=\"1\"/></zone></occlusion-zones>", nullptr},
        {"bad window unit", "<invalid-window unit=\"parsec\">3</invalid-window>", nullptr},
        {"truncated stream", "", &cut},
        {"wrong records", "", &wrongTypes},
    };
    for (const auto& c : cases) {
        ProcessParams block = xmlBlock(c.xml);
        if (c.bin != nullptr) {
            // The binary form of a block: its payload is what a derived class would read first.
            struct Raw : ProcessParams {
                ktsl::MemIOStream payload;
                ktsl::MemIOStream binSerialize() const override { return payload; }
            } raw;
            raw.setElementName("ObjectTracker");
            raw.payload = *c.bin;
            std::vector<unsigned char> bytes(raw.getBinLength());
            raw.toBin(bytes.data());
            ASSERT_GT(block.fromBin(bytes.data(), static_cast<unsigned>(bytes.size())), 0u) << c.name;
        }
        EXPECT_FALSE(tracker.setParameters(block)) << c.name;
        expectSame(tracker.getParameters(), custom());
        EXPECT_TRUE(tracker.isResurrectionAllowed()) << c.name;
    }
}

// Values the blob tracker keeps in a byte are clamped, with a warning, never wrapped; windows of any
// size are taken without overflow.
TEST(ObjectTrackerParams, OutOfRangeValuesAreClamped) {
    CaptureLogger logger;
    ObjectTracker tracker;
    tracker.setLogger(&logger);
    ProcessParams block = xmlBlock(
        "<min-track-length>300</min-track-length><max-track-merges>-1</max-track-merges>"
        "<defer-time unit=\"day\">100</defer-time><invalid-window unit=\"millisecond\">-5</invalid-window>"
        "<resurrection-window unit=\"day\">1000000</resurrection-window>");
    ASSERT_TRUE(tracker.setParameters(block));
    EXPECT_TRUE(logger.has("WARN : min-track-length 300 is outside 0..255; using 255"));
    EXPECT_TRUE(logger.has("WARN : max-track-merges -1 is outside 0..255; using 0"));
    EXPECT_TRUE(logger.has("WARN : defer-time 8640000000 ms is outside 0..4294967295; using 4294967295"));
    EXPECT_TRUE(tracker.isResurrectionAllowed());
    EXPECT_EQ(tracker.getParameters().minTrackLength, 300);  // the block is kept as given
}

TEST(ObjectTrackerParams, OcclusionSegmentsFromZones) {
    const ktml::Polygon2D<float> normalised{{0.25f, 0.5f}, {0.5f, 0.5f}, {0.5f, 1.0f}};
    const ktml::Polygon2D<float> pixels{{10.5f, 2}, {-3.5f, 2}};  // a line: outside 0..1, so pixels
    ktsl::List<ktml::Polygon2D<float>> zones{normalised, pixels, ktml::Polygon2D<float>{{1, 1}}};
    std::vector<kt_segment> segments;
    ASSERT_TRUE(ObjectTrackerParams::generateOcclusions(200, 100, 0.5, zones, segments));
    const kt_segment expected[] = {{25, 25, 50, 25}, {50, 25, 50, 50}, {50, 50, 25, 25},
                                   {11, 2, -4, 2},   {-4, 2, 11, 2}};
    ASSERT_EQ(segments.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(std::memcmp(&segments[i], &expected[i], sizeof(kt_segment)), 0) << i;
    EXPECT_FALSE(ObjectTrackerParams::generateOcclusions(0, 100, 1.0, zones, segments));
    EXPECT_TRUE(segments.empty());
}
