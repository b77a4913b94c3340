// ObjectSpy ("Object Spy"): reports each object that was seen with enough class confidence for long
// enough, once it has stopped being valid.
#pragma once

#include <cstdint>
#include <map>

#include "FrameEventSpy.h"
#include "kttl_SmartPtr.h"

// Validity: a frame in which the object's confidence is at least min-conf is a valid frame. The run
// of valid frames starts at the first one; without non-contiguous, a frame below min-conf ends the
// run (the next valid frame starts a new one), with it the run survives such frames. The record
// becomes valid (and stays so) once its run has lasted min-valid-time, from its first to its latest
// valid frame. The record's confidence is the mean over its valid frames. All records of one frame
// share one image-less copy of it. A NaN or negative min-conf, and negative times, are refused.
class ObjectSpy : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 8;
    // Frame flag: close every record now.
    static constexpr uint32_t kCloseAllFlag = 0x1;

    struct Record {
        kttl::SmartPtr<Frame> frame;
        Event::TimePosition firstValid, lastValid;
        double confidenceSum = 0;
        uint32_t validFrames = 0;
        bool valid = false;
    };

    ObjectSpy();
    ObjectSpy(const char* name, const char* desc, float minConf, const kttl::ElapsedTime& minValidTime,
              const kttl::ElapsedTime& maxInvalidTime);
    ObjectSpy(const ObjectSpy& other);
    ~ObjectSpy() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::ObjectSpy; }
    kttl::String getTypeName() const override { return "ObjectSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><min-conf/><min-valid-time/><max-invalid-time/>[<non-contiguous/>]
    // [<track-nascent/>]</tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new ObjectSpy(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Object Spy"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    bool setMinConf(double c);
    bool setMinValidTime(const kttl::ElapsedTime& t);
    bool setMaxInvalidTime(const kttl::ElapsedTime& t);
    void setNonContiguous(bool on) { m_nonContiguous = on; }
    void setTrackNascent(bool on) { m_trackNascent = on; }
    double getMinConf() const { return m_minConf; }
    const std::map<unsigned, Record>& getRecords() const { return m_records; }

    // 1 without classes; else the mean of the object's confidences over the spy's classes among its
    // labels (a negative confidence counts as 1); -1 when none of them is among its labels.
    double computeConfidence(const Object& object) const;

protected:
    bool parseXML(const char* xml) override;

private:
    void updateConfidence(Record& r, double confidence, const Event::TimePosition& at);
    void addObjectEvent(unsigned id, const Record& r);
    const kttl::SmartPtr<Frame>& frameCopy(const Frame& frame);

    double m_minConf = 0;
    kttl::ElapsedTime m_minValid;
    kttl::ElapsedTime m_maxInvalid;
    bool m_nonContiguous = false;
    bool m_trackNascent = false;
    std::map<unsigned, Record> m_records;
    kttl::SmartPtr<Frame> m_frameCopy;
};
