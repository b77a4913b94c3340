// Perimeter ("Perimeter Intrusion"): raises an event for each object that came from outside every
// protected region into one far enough.
#pragma once

#include <map>

#include "FrameEventSpy.h"
#include "ObjectSnapshot.h"
#include "RegionRuns.h"
#include "SpyGeometry.h"

// The covered share of a box is its pixels set in the region mask over all its pixels (pixels outside
// the frame count as outside the regions); a box of zero area covers 0. Regions above 4,096
// vertices, with a non-finite vertex or fewer than three vertices are refused.
class Perimeter : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0xf;

    Perimeter();
    Perimeter(const char* name, const char* desc, double intrusion);
    Perimeter(const Perimeter& other);
    ~Perimeter() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::Perimeter; }
    kttl::String getTypeName() const override { return "PerimeterSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><perimeter-regions>..</perimeter-regions><intrusion/></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new Perimeter(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Perimeter Intrusion"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;
    void onFrameResize(unsigned width, unsigned height) override;

    // False (regions kept, warning) when any region is refused.
    bool setRegions(const std::list<spygeo::Region>& regions);
    const spygeo::RegionList& getRegions() const { return m_regions; }
    // False (value kept) for NaN or outside 0..1.
    bool setIntrusion(double share);
    double getIntrusion() const { return m_intrusion; }
    const spygeo::RegionMask& getMask() const { return m_mask; }

    // The common test plus: the newest box covered at least `intrusion`, the initial box not at all.
    bool checkObject(const ObjectSnapshot& object) const;

protected:
    bool parseXML(const char* xml) override;

private:
    spygeo::RegionList m_regions;
    spygeo::RegionMask m_mask;
    spygeo::RegionRuns m_runs;  // the mask as row runs: box shares in a few steps per row
    double m_intrusion = 0;
    std::map<unsigned, ObjectSnapshot> m_previous;
};
