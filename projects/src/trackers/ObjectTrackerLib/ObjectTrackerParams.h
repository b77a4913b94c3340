// ObjectTrackerParams: the object tracker's parameter block.
#pragma once

#include <cstdint>
#include <vector>

#include "ProcessParams.h"
#include "kt_segment.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "kttl_ElapsedTime.h"

// Values are kept as given (the tracker clamps what its blob tracker cannot take). Binary payload:
// an object stream of the values in a fixed order, flags as Integer 0 or 1. XML body: one element
// per value (flags by presence), each followed by a line break. Both readers leave the block
// unchanged when they refuse their input.
class ObjectTrackerParams : public ProcessParams {
  public:
    static constexpr const char* kProcessType = "ObjectTracker";
    // Defaults: resurrection off (a window that is not positive), 25 px, similarity 0.6; an object
    // may stay unconfirmed for 10 s; unmatched objects coast 1 s; 5 updates to mature, 5 per blob.
    static constexpr int64_t kDefaultResurrectionWindowMs = -15000;
    static constexpr int32_t kDefaultResurrectionDistance = 25;
    static constexpr double kDefaultResurrectionConfidence = 0.6;
    static constexpr int64_t kDefaultInvalidWindowMs = 10000;
    static constexpr int64_t kDefaultDeferTimeMs = 1000;
    static constexpr int32_t kDefaultMinTrackLength = 5;
    static constexpr int32_t kDefaultMaxTrackMerges = 5;

    ObjectTrackerParams();
    ~ObjectTrackerParams() override;

    kttl::ElapsedTime resurrectionWindow{kDefaultResurrectionWindowMs};
    int32_t resurrectionDistance = kDefaultResurrectionDistance;  // pixels
    double resurrectionConfidence = kDefaultResurrectionConfidence;
    bool removeFalseObjects = false;
    bool advancedHistograms = false;      // region colour attributes
    bool advancedObjectFeatures = false;  // "Object Uniformity"
    kttl::ElapsedTime invalidWindow{kDefaultInvalidWindowMs};
    kttl::ElapsedTime deferTime{kDefaultDeferTimeMs};
    bool alwaysUpdateHistograms = false;
    int32_t minTrackLength = kDefaultMinTrackLength;
    int32_t maxTrackMerges = kDefaultMaxTrackMerges;
    ktsl::List<ktml::Polygon2D<float>> occlusionZones;

    ktsl::MemIOStream binSerialize() const override;
    // False (unchanged) for an empty or refused payload.
    bool binUnserialize(const ktsl::MemIOStream& payload) override;
    kttl::String xmlSerialize() const override;
    // False (unchanged) when the body is not XML, has no element, or a known element does not read.
    bool xmlUnserialize(const kttl::String& body) override;

    // The occluding lines of the zones for a width x height frame processed at `scale`: every edge of
    // every zone with at least two vertices, the closing edge included. A zone whose vertices all lie
    // within 0..1 is scaled to (width x scale, height x scale), any other is in pixels; coordinates
    // are rounded half away from zero and saturated. False (segments empty) for a zero width or height.
    static bool generateOcclusions(unsigned width, unsigned height, double scale,
                                   const ktsl::List<ktml::Polygon2D<float>>& zones,
                                   std::vector<kt_segment>& segments);
};
