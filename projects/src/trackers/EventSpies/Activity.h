// Activity: the spy the camera application configures: new objects, departed objects, changes of
// the object count, or a count above a limit, inside (or outside) the zones.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "FrameEventSpy.h"
#include "kttl_Integer.h"
#include "kttl_SmartPtr.h"

class Activity : public FrameEventSpy {
public:
    enum Type : int32_t { Unknown = -1, Delta = 0, NewObject = 1, DeadObject = 2, Threshold = 3 };

    // The last count before any processing step of the counting types.
    static constexpr uint32_t kNoCount = 0xFFFFFFFFu;
    static constexpr unsigned kFilterMask = 0x1f;

    // "Delta", "NewObject", "DeadObject", "Threshold"; "Unknown" for any other value.
    static kttl::String typeToString(Type type);
    // Case-sensitive; -1 for any other text.
    static Type stringToType(const kttl::String& text);

    // Inactive (type -1), max-activity 1, min-distance 0.
    Activity();
    Activity(const char* name, const char* desc, Type type, unsigned maxActivity, unsigned minDistance);
    Activity(const Activity& other);
    ~Activity() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::Activity; }
    kttl::String getTypeName() const override { return "ActivitySpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>common part</EventSpy><type>..</type><max-activity>..</max-activity></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new Activity(*this); }
    // The common reset, then no last count and no pending objects (the open Threshold uid stays).
    void reset() override;
    kttl::String getFriendlyName() const override { return "Activity"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    Type getType() const { return m_type; }
    // Values outside 0..3 make the spy inactive.
    void setType(Type type);
    int32_t getMaxActivity() const { return m_maxActivity; }
    void setMaxActivity(int32_t limit) { m_maxActivity = limit; }
    uint32_t getLastCount() const { return m_lastCount; }
    uint32_t getCurrentEvent() const { return m_currentEvent; }
    size_t pendingCount() const { return m_pending.size(); }

    // The common conditions: confirmed track, a newest box whose centre is in the zones and whose
    // size fits.
    bool qualifiesCommon(const Object& object, ktml::BoundingBox<int>& box) const;
    // NewObject and DeadObject: also more than two history entries, moved strictly more than
    // min-distance (rounded to whole pixels) and at least min-age old.
    bool qualifiesMoving(const Object& object) const;
    // Delta and Threshold: also one of the spy's classes.
    bool qualifiesCounting(const Object& object) const;

protected:
    bool parseXML(const char* xml) override;

private:
    void spyNewObjects(ProcessFrame& frame);
    void spyDeadObjects(ProcessFrame& frame);
    void spyCount(ProcessFrame& frame);

    Type m_type = Unknown;
    kttl::Integer m_maxActivity;
    uint32_t m_lastCount = kNoCount;
    uint32_t m_currentEvent = 0;
    std::map<unsigned, kttl::SmartPtr<Frame>> m_pending;
    kttl::SmartPtr<Frame> m_frameCopy;
    // Reused from frame to frame by the counting types.
    std::vector<unsigned> m_ids;
    std::vector<ktml::BoundingBox<int>> m_boxes;
};
