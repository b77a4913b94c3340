// LineCrossingSpy: raises an event for each object that crosses a line, both ways or one way, by
// its centre (segment mode) or with its whole box (whole-line mode).
#pragma once

#include <cstdint>
#include <map>

#include "FrameEventSpy.h"
#include "LineCrossing.h"
#include "kttl_Integer.h"

// The line is kept as given (fractions of the frame or pixels) and placed in pixels on every
// frame-size change. A line with a non-finite coordinate leaves the spy inactive (with a warning);
// coordinates beyond the pixel range are saturated.
class LineCrossingSpy : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0xf;
    // The frame size a line is placed in before the first frame arrives.
    static constexpr int kDefaultLineFrame = 100;

    // Per object: its box at the previous check, the crossing bits so far, its displacement.
    struct Tripped {
        ktml::BoundingBox<int> box;
        uint32_t bits = 0;
        double displacement = 0;
    };

    LineCrossingSpy();
    LineCrossingSpy(const char* name, const char* desc);
    LineCrossingSpy(const LineCrossingSpy& other);
    ~LineCrossingSpy() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::LineCrossingSpy; }
    kttl::String getTypeName() const override { return "LineCrossingSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>common part</EventSpy><first/><second/><cross-line/><direction/></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new LineCrossingSpy(*this); }
    // The common reset, then no tripped records and no start position.
    void reset() override;
    kttl::String getFriendlyName() const override { return "Line Crossing"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    // Throws the fromBin failure for a direction other than 0, 1, 2.
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;
    void onFrameResize(unsigned width, unsigned height) override;

    // Keeps the segment as given and places it in pixels (fractions scale with the line's frame
    // size); the direction sign is computed again on first use.
    void setLineSegment(const ktml::LineSegment2D<float>& segment);
    const ktml::LineSegment2D<float>& getLineSegment() const { return m_segment; }
    const LineCrossing<float>& getLine() const { return m_line; }
    int32_t getCrossLine() const { return m_crossLine.get(); }
    void setCrossLine(int32_t mode) { m_crossLine = mode; m_line.crossLine = mode; }
    int32_t getDirection() const { return m_direction; }
    // False (value kept) for anything but 0, 1, 2.
    bool setDirection(int32_t direction);
    const std::map<unsigned, Tripped>& getTripped() const { return m_tripped; }

    // Whether the object counts as crossed now (see the crossing rules); updates the record's bits,
    // displacement and box, except when a reference point of the newest box (its centre, then its
    // four corners) lies exactly on the segment: then false and the record stays, so the motion is
    // judged on a later frame.
    bool checkObject(const Object& object, Tripped& record);

protected:
    bool parseXML(const char* xml) override;

private:
    ktml::LineSegment2D<float> m_segment;
    int m_lineWidth = kDefaultLineFrame;
    int m_lineHeight = kDefaultLineFrame;
    kttl::Integer m_crossLine;
    int32_t m_direction = 0;
    LineCrossing<float> m_line;
    bool m_started = false;
    kttl::TimeStamp m_start;
    std::map<unsigned, Tripped> m_tripped;
};
