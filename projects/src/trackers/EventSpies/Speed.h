// Speed: times each object between two lines and raises an event, with the measured speed as its
// description, when it covers the distance faster than the speed limit.
#pragma once

#include <cstdint>
#include <list>
#include <map>

#include "LineCrossingSpy.h"

// The two inner line spies ("Line Crossing 1" and "Line Crossing 2") report their crossings to this
// spy through listeners that run under the inner spy's cache lock. The listeners only write the
// crossing times, which belong to the thread that drives spy(); they take no lock of this spy's
// cache nor of any reader, so the lock order stays: an inner spy's cache, then nothing.
// A distance or speed limit of 0 or below gives a time limit of 0: the spy never fires.
class Speed : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0xf;
    enum Unit : int32_t { English = 0, Metric = 1 };
    static constexpr double kFeetPerMile = 5280.0;
    static constexpr double kMetresPerKm = 1000.0;
    static constexpr double kMsPerHour = 3600000.0;

    // Stream positions (ms) at which an object crossed each line; -1 while not yet.
    struct Crossings {
        int64_t first = -1;
        int64_t second = -1;
    };

    Speed();
    Speed(const char* name, const char* desc);
    Speed(const Speed& other);
    ~Speed() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::Speed; }
    kttl::String getTypeName() const override { return "SpeedSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><speed-limit/><distance/><unit/><first-segment/><second-segment/></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new Speed(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Speed"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    // Unit: English (feet, mph) or anything else metric (metres, km/h).
    void setUnit(int32_t unit);
    void setDistance(int32_t distance);
    void setSpeedLimit(int32_t limit);
    void setSegments(const ktml::LineSegment2D<float>& first, const ktml::LineSegment2D<float>& second);
    int32_t getUnit() const { return m_unit; }
    int32_t getDistance() const { return m_distance; }
    int32_t getSpeedLimit() const { return m_speedLimit; }
    const kttl::ElapsedTime& getTimeLimit() const { return m_timeLimit; }
    LineCrossingSpy& firstLine() { return m_lines[0]; }
    LineCrossingSpy& secondLine() { return m_lines[1]; }
    const std::map<unsigned, Crossings>& getCrossings() const { return m_crossings; }

    // "%d mph" / "%d km/h" of covering the distance in dtMs (rounded half up, saturated to int);
    // "Unkown Speed" for a dt of 0 or below.
    kttl::String speedText(int64_t dtMs) const;

protected:
    bool parseXML(const char* xml) override;

private:
    // Tells this spy which inner line reported an event.
    class LineListener : public EventSpy::Listener {
    public:
        LineListener(Speed* owner, int line) : m_owner(owner), m_line(line) {}
        void onSpyEvent(Event& event) override;

    private:
        Speed* m_owner;
        int m_line;
    };

    void updateTimeLimit();
    void wire();

    int32_t m_unit = Metric;
    int32_t m_distance = 0;
    int32_t m_speedLimit = 0;
    kttl::ElapsedTime m_timeLimit;
    LineCrossingSpy m_lines[2];
    LineListener m_listeners[2];
    std::map<unsigned, Crossings> m_crossings;
};
