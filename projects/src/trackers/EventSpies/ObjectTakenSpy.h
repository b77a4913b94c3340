// ObjectTakenSpy ("Object Taken"): guards one asset region and raises an event when its appearance
// changes for good while nothing stands in front of it, and optionally one when it is back.
#pragma once

#include <cstdint>

#include "FrameEventSpy.h"
#include "ObjectTaken.h"
#include "SpyGeometry.h"

// Frames flagged 0x4 or 0x200 start a 2000 ms hold-off (on kt_tickcount, which tests replace) during
// which nothing is judged. A region above 4,096 vertices, with a non-finite vertex or with fewer
// than three vertices is refused; a region partly outside the frame is clipped.
class ObjectTakenSpy : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0;
    static constexpr uint32_t kHoldOffFlags = 0x4 | 0x200;
    static constexpr uint32_t kHoldOffMs = 2000;

    ObjectTakenSpy();
    ObjectTakenSpy(const char* name, const char* desc);
    ObjectTakenSpy(const ObjectTakenSpy& other);
    ~ObjectTakenSpy() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::ObjectTakenSpy; }
    kttl::String getTypeName() const override { return "ObjectTakenSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><sensitivity/><region>..</region>[<replace-alarm/>]</tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new ObjectTakenSpy(*this); }
    // The common reset, then no open event and a relearnt model.
    void reset() override;
    kttl::String getFriendlyName() const override { return "Object Taken"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;
    void onFrameResize(unsigned width, unsigned height) override;
    void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const override;
    void getStatus(StatusMap& status) const override;

    // False (region kept, warning) when refused.
    bool setRegion(const spygeo::Region& region);
    const spygeo::Region& getRegion() const { return m_region; }
    bool setSensitivity(float s) { return m_model.setSensitivity(s); }
    void setReplaceAlarm(bool on) { m_replaceAlarm = on; }
    bool getReplaceAlarm() const { return m_replaceAlarm; }
    const ObjectTaken& getModel() const { return m_model; }
    uint32_t getCurrentEvent() const { return m_currentUid; }
    // The result of the last judged frame (-1 when the last frame was not judged).
    int lastResult() const { return m_lastResult; }

protected:
    bool parseXML(const char* xml) override;

private:
    void placeRegion();

    uint32_t m_currentUid = 0;
    uint32_t m_holdOff = 0;
    uint32_t m_holdOffStart;
    spygeo::Region m_region;
    ObjectTaken m_model;
    bool m_replaceAlarm = false;
    spygeo::RegionMask m_mask;
    int m_lastResult = -1;
};
