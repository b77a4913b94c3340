// Direction ("Wrong Way"): raises an event for each object that keeps moving in a configured
// direction, within a tolerance, over a time window.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "FrameEventSpy.h"

// Angles are on the screen, counter-clockwise from +x with y pointing up. Out-of-range settings:
// the angle is taken modulo 360 (negative degrees too: -90 is 270); a tolerance is clamped to 0..180
// degrees (180 accepts every motion); a negative time-window is refused (value kept, warning). A
// window of 0 holds only the newest centre, which gives no direction: the spy never fires.
// Every frame's newest centre is queued; centres older than the window before it leave. A departed
// object's record is dropped once its hold time has passed since its last match (at once when it
// never matched). Unset angle, tolerance or time-window are left out of the XML form.
class Direction : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0xf;

    // One queued centre and when it was seen (ms since the epoch).
    struct Sample {
        int64_t ms;
        double x, y;
    };
    // Per object: its recent centres, where its matching motion started, and how long a match holds.
    struct Record {
        std::deque<Sample> centres;
        double startX = -1, startY = -1;
        int64_t holdMs = 0;
        uint32_t lastMatchTick = 0;
        bool matched = false;
    };

    // Angle and tolerance unset: inactive.
    Direction();
    Direction(const char* name, const char* desc, unsigned angle, unsigned tolerance,
              const kttl::ElapsedTime& timeWindow, unsigned minDistance);
    Direction(const Direction& other);
    ~Direction() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::Direction; }
    kttl::String getTypeName() const override { return "DirectionSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><angle>N</angle><tolerance>N</tolerance><time-window/></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new Direction(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Wrong Way"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    // Whole degrees; see the class comment for out-of-range values.
    void setAngleDegrees(long long degrees);
    void setToleranceDegrees(long long degrees);
    bool setTimeWindow(const kttl::ElapsedTime& window);
    double getAngle() const { return m_angle; }
    double getTolerance() const { return m_tolerance; }
    const kttl::ElapsedTime& getTimeWindow() const { return m_window; }
    const std::map<unsigned, Record>& getRecords() const { return m_records; }

    // The angle of a motion from p to q in 0..2pi (image y grows downward); -1 for no motion.
    static double motionAngle(double px, double py, double qx, double qy);
    // The direction of the least-squares line through the centres (principal axis: the residual is
    // the perpendicular distance, so vertical motion fits too), oriented from the oldest toward the
    // newest; -1 when the centres do not span a direction.
    static double trendAngle(const std::deque<Sample>& centres);
    // |a - b| across the 0/360 wrap, in 0..pi.
    static double angleDifference(double a, double b);

protected:
    bool parseXML(const char* xml) override;

private:
    double m_angle = -1;
    double m_tolerance = -1;
    kttl::ElapsedTime m_window;
    std::map<unsigned, Record> m_records;
};
