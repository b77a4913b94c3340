// EventDetectorParams: the event detector's parameter block: its spies and its processing interval.
#pragma once

#include <list>

#include "EventSpyFactory.h"
#include "ProcessParams.h"
#include "ktsl_List.h"
#include "kttl_ElapsedTime.h"

// Binary payload: the spy factory list record, then the interval record. XML body: the
// "processing-interval" element, then each spy's XML form under its type name, one per line.
// Both readers leave the block unchanged when they refuse their input.
class EventDetectorParams : public ProcessParams {
public:
    static constexpr int64_t kDefaultIntervalMs = 200;
    static constexpr const char* kProcessType = "EventDetector";

    explicit EventDetectorParams(const kttl::ElapsedTime& interval = kttl::ElapsedTime(kDefaultIntervalMs));
    ~EventDetectorParams() override;

    ktsl::List<EventSpyFactory>& getSpies() { return m_spies; }
    const ktsl::List<EventSpyFactory>& getSpies() const { return m_spies; }
    const kttl::ElapsedTime& getInterval() const { return m_interval; }
    void setInterval(const kttl::ElapsedTime& interval) { m_interval = interval; }
    // Drops the spies of that name / gives them the new name; false when there is none.
    bool removeSpy(const kttl::String& name);
    bool renameSpy(const kttl::String& oldName, const kttl::String& newName);
    // Why spy elements of the last XML body were left out (unknown or unavailable types, refused text).
    const std::list<kttl::String>& getSkipped() const { return m_skipped; }

    ktsl::MemIOStream binSerialize() const override;
    // False (unchanged) for an empty or refused payload.
    bool binUnserialize(const ktsl::MemIOStream& payload) override;
    kttl::String xmlSerialize() const override;
    // False (unchanged) when the body is not XML; spy elements that cannot be read are skipped.
    bool xmlUnserialize(const kttl::String& body) override;

private:
    ktsl::List<EventSpyFactory> m_spies;
    kttl::ElapsedTime m_interval;
    std::list<kttl::String> m_skipped;
};
