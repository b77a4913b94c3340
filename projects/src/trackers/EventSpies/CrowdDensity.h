// CrowdDensity ("Crowd Density"): raises one event per episode in which the share of occupied pixels
// in the crowd regions stays above a limit for the wait-time.
#pragma once

#include <cstdint>

#include "FrameEventSpy.h"
#include "RegionRuns.h"
#include "SpyGeometry.h"

// A pixel is occupied when "Processed Image" or "Stationary Object Processed" (whichever is set)
// holds a value above 200 there; planes whose size differs from the frame's are not read. Without
// regions (or without a pixel of them in the frame) nothing is judged. Regions above 4,096 vertices,
// with a non-finite vertex or fewer than three vertices are refused.
class CrowdDensity : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0;
    // Plane value above which a pixel is occupied.
    static constexpr unsigned char kOccupiedAbove = 200;

    CrowdDensity();
    CrowdDensity(const char* name, const char* desc, float maxDensity, const kttl::ElapsedTime& waitTime);
    CrowdDensity(const CrowdDensity& other);
    ~CrowdDensity() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::CrowdDensity; }
    kttl::String getTypeName() const override { return "CrowdDensitySpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><max-density/><wait-time/><crowd-regions>..</crowd-regions></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new CrowdDensity(*this); }
    // The common reset, then no episode.
    void reset() override;
    kttl::String getFriendlyName() const override { return "Crowd Density"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;
    void onFrameResize(unsigned width, unsigned height) override;
    void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const override;

    // False (value kept) for NaN or outside 0..1.
    bool setMaxDensity(float share);
    double getMaxDensity() const { return m_maxDensity; }
    bool setWaitTime(const kttl::ElapsedTime& wait);
    const kttl::ElapsedTime& getWaitTime() const { return m_wait; }
    // False (regions kept, warning) when any region is refused.
    bool setRegions(const std::list<spygeo::Region>& regions);
    const spygeo::RegionList& getRegions() const { return m_regions; }
    uint32_t getCurrentEvent() const { return m_currentUid; }
    // The occupied share of the last judged frame (-1 before any).
    double getLastDensity() const { return m_lastDensity; }

protected:
    bool parseXML(const char* xml) override;

private:
    double m_maxDensity = 1.0;
    kttl::ElapsedTime m_wait;
    spygeo::RegionList m_regions;
    spygeo::RegionMask m_mask;
    spygeo::RegionRuns m_runs;  // the mask as row runs: only region pixels are read
    size_t m_regionPixels = 0;
    int64_t m_denseSince = -1;
    int64_t m_lastDense = -1;
    uint32_t m_currentUid = 0;
    double m_lastDensity = -1;
};
