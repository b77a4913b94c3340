// Idle ("Idle Object"): raises an event for each object that has stayed within `movement` pixels
// of where it stood for the wait-time, inside the zones.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "FrameEventSpy.h"

// Order of the steps per frame: a step beyond `movement` from the last queued centre empties the
// queue; otherwise centres older than wait-time are dropped and, when the mean of the rest is in the
// zones, the object is idle; the newest centre is queued. Then, per record, the oldest centres are
// dropped while the mean of the queue (recomputed after each drop) lies farther than `movement`
// from the oldest one (the newest centre always stays); any drop clears the idle flag. A negative
// movement or wait-time is refused (value kept, warning).
class Idle : public FrameEventSpy {
public:
    static constexpr unsigned kFilterMask = 0xa;

    struct Sample {
        int64_t ms;
        int x, y;
    };
    struct Record {
        std::deque<Sample> centres;
        double sumX = 0, sumY = 0;
        bool idle = false;
    };

    Idle();
    Idle(const char* name, const char* desc, const kttl::ElapsedTime& waitTime, int movement);
    Idle(const Idle& other);
    ~Idle() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::Idle; }
    kttl::String getTypeName() const override { return "IdleSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><wait-time/><movement>N</movement></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new Idle(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Idle Object"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    bool setWaitTime(const kttl::ElapsedTime& wait);
    bool setMovement(int pixels);
    const kttl::ElapsedTime& getWaitTime() const { return m_wait; }
    int getMovement() const { return m_movement; }
    const std::map<unsigned, Record>& getRecords() const { return m_records; }

protected:
    bool parseXML(const char* xml) override;

private:
    static void dropOldest(Record& r);

    kttl::ElapsedTime m_wait;
    int32_t m_movement = 0;
    std::map<unsigned, Record> m_records;
};
