// FrameEventSpy: a spy driven by processed frames: zones, class filter, size, distance and age
// limits, and one event per object or one merged event.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "EventSpy.h"
#include "ProcessFrame.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_StringMap.h"
#include "kttl_Integer.h"

// Zones are kept as given (fractions of the frame or pixels) and converted to pixels whenever the
// frame size changes; max-width and max-height are fractions of the frame turned into pixel limits
// the same way. Out-of-range settings are refused with a warning and the field keeps its value:
// a max-width or max-height that is NaN or not positive, a negative min-age or one beyond 2^32-1 ms,
// a negative max-age, a zone with fewer than three vertices (dropped; with no zone left the spy
// watches the whole frame).
class FrameEventSpy : public EventSpy {
public:
    static constexpr int64_t kDefaultMinAgeMs = 1000;
    // Longest min-age: what a 32-bit millisecond count holds.
    static constexpr int64_t kMaxMinAgeMs = 0xFFFFFFFFll;
    static constexpr unsigned kZoneMinVertices = 3;

    FrameEventSpy(const kttl::String& name, const kttl::String& desc);
    FrameEventSpy(const FrameEventSpy& other);
    ~FrameEventSpy() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::FrameEventSpy; }
    kttl::String getTypeName() const override { return "FrameEventSpy"; }
    // Forgets every event and object association.
    void reset() override;
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    void onCreateXML(kttl::String& xml) const override;
    void onParseXML(const ktxml::DomIterator& child) override;
    void onEventCleaned(uint32_t uid) override;

    // Adopts the frame's size (onFrameResize when it changed), runs internalSpy, then ages the cache.
    virtual void spy(ProcessFrame& frame);
    virtual void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const;
    virtual unsigned getFilterMask() const = 0;
    virtual void internalSpy(ProcessFrame& frame) = 0;
    // reset(), then the pixel zones and pixel size limits for a width x height frame.
    virtual void onFrameResize(unsigned width, unsigned height);

    // The size check of spy() without spying.
    void reserveFrameSize(unsigned width, unsigned height);

    // Extends the object's event (or, with merge-events, the one merged event) or registers a new
    // one, and remembers object -> event. A confidence of exactly -1 means: the object's largest
    // class confidence over the spy's classes, or 1.0 without classes or without the object.
    // Returns the uid, 0 when the cache lock failed.
    uint32_t addEventObject(unsigned objectId, const Frame& frame, float confidence, const char* subtitle = nullptr,
                            const char* desc = nullptr);

    const ktsl::List<ktml::Polygon2D<float>>& getZones() const { return m_zones; }
    // Zones with fewer than three vertices are dropped with a warning.
    void setZones(const std::list<ktml::Polygon2D<float>>& zones);
    const std::vector<ktml::Polygon2D<int>>& getPixelZones() const { return m_pixelZones; }
    const ktsl::List<kttl::String>& getClasses() const { return m_classes; }
    void setClasses(const std::list<kttl::String>& classes);
    float getMaxWidth() const { return m_maxWidth; }
    float getMaxHeight() const { return m_maxHeight; }
    // False (value kept, warning) for NaN or a value not above 0.
    bool setMaxWidth(double fraction);
    bool setMaxHeight(double fraction);
    int32_t getMaxWidthPixels() const { return m_maxWidthPx; }
    int32_t getMaxHeightPixels() const { return m_maxHeightPx; }
    unsigned getFrameWidth() const { return m_frameWidth; }
    unsigned getFrameHeight() const { return m_frameHeight; }
    uint32_t getMinDistance() const { return m_minDistance; }
    void setMinDistance(uint32_t pixels) { m_minDistance = pixels; }
    const kttl::ElapsedTime& getMinAge() const { return m_minAge; }
    // False (value kept, warning) below 0 or beyond kMaxMinAgeMs.
    bool setMinAge(const kttl::ElapsedTime& age);
    bool getAlarmBlobs() const { return m_alarmBlobs; }
    void setAlarmBlobs(bool on) { m_alarmBlobs = on; }
    const std::map<unsigned, uint32_t>& getObjectEvents() const { return m_objectEvents; }

    // Whether the point lies in a pixel zone (always, without pixel zones).
    bool inZones(int x, int y) const;
    // Whether the box fits the pixel size limits.
    bool fitsSize(const ktml::BoundingBox<int>& box) const;
    // Whether the object carries one of the spy's classes (case-insensitive); true without classes.
    bool hasClass(const Object& object) const;
    // The object's largest class confidence over the spy's classes (from 0), 1.0 without classes.
    float classConfidence(const Object& object) const;

protected:
    bool parseXML(const char* xml) override;

private:
    void rebuildPixelZones();

    std::map<unsigned, uint32_t> m_objectEvents;
    ktsl::List<ktml::Polygon2D<float>> m_zones;
    std::vector<ktml::Polygon2D<int>> m_pixelZones;
    float m_maxWidth = 1.0f;
    int32_t m_maxWidthPx = 0;
    float m_maxHeight = 1.0f;
    int32_t m_maxHeightPx = 0;
    ktsl::List<kttl::String> m_classes;
    unsigned m_frameWidth = 0;
    unsigned m_frameHeight = 0;
    uint32_t m_minDistance = 0;
    kttl::ElapsedTime m_minAge;
    bool m_alarmBlobs = false;
};
