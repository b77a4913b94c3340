// EventDetector: the video process that runs the configured spies over processed frames and
// gathers their new and updated events for the pipeline.
#pragma once

#include <cstdint>
#include <list>
#include <map>

#include "EventCache.h"
#include "EventDetection.h"
#include "EventDetectorParams.h"
#include "FrameEventSpy.h"
#include "VideoProcess.h"
#include "ktst_Vault.h"
#include "kttl_SmartPtr.h"

// Locks, always taken in this order and each waited for at most kLockWaitMs: the spy map, then the
// detector's event cache, then (inside the spies) a spy's own cache. A wait that fails skips its
// operation. Parameters and spies may be changed from any thread while another drives frames.
//
// The spies run at most once per processing interval of stream time: a frame at or after the next
// due position runs them, and so does a frame with flag 0x1 or one whose position jumped back.
// Flag bits 0x100..0x8000 of skipped frames are carried into the next frame the spies run on.
class EventDetector : public VideoProcess, public EventDetection {
public:
    static constexpr uint32_t kLockWaitMs = 15000;
    // Frame flag that makes the spies run whatever the interval.
    static constexpr uint32_t kForceFlag = 0x1;
    // Frame flags carried over frames on which the spies did not run.
    static constexpr uint32_t kCarriedFlags = 0xff00;

    EventDetector();
    ~EventDetector() override;

    // Answers the video-process and the event-detection interface ids.
    bool supports(const char* iid, ktpl::Plugin** out) override;
    void release() override { delete this; }
    kttl::String getProcessType() const override { return EventDetectorParams::kProcessType; }
    // Enabled, no spies, a 200 ms interval (carried in the block's binary payload).
    ProcessParams getDefaultParameters() const override;
    // The union of what the spies ask for.
    void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const override;
    // Next due 0, frame events and attributes emptied, every spy reset.
    void resetProcess() override;

    bool getEvents(std::list<Event>& events) override;
    bool addSpy(const EventSpy& spy) override;
    bool setSpy(const EventSpy& spy) override;
    bool getSpies(std::list<EventSpyFactory>& spies) const override;
    void getSupportedSpies(std::map<kttl::String, kttl::String>& spies) const override;
    bool removeSpy(const kttl::String& name) override;
    // Re-keys the spy and gives it the new name.
    bool renameSpy(const kttl::String& oldName, const kttl::String& newName) override;

    // Told about every event any spy creates or updates (called on the processing thread while that
    // spy's cache is locked: it must not wait for another thread that uses the detector). Installed
    // on every spy held now and added later; null leaves the spies' own listeners.
    void setListener(EventSpy::Listener* listener);
    const kttl::ElapsedTime& getInterval() const { return m_interval; }

protected:
    void onFrameResize(unsigned width, unsigned height, double scale) override;
    bool onProcessFrame(ProcessFrame& frame) override;
    void onSetLogger(kttl::Logger* logger) override;
    // Replaces every spy by the frame-driven spies of the block and takes its interval; false (nothing
    // changed) when the block cannot be read or the spy lock failed.
    bool onSetParameters(const ProcessParams& params) override;

private:
    typedef std::map<kttl::String, kttl::SmartPtr<FrameEventSpy>> SpyMap;

    bool storeSpy(SpyMap& spies, const EventSpy& spy, bool mustExist);

    kttl::ElapsedTime m_nextDue;
    kttl::ElapsedTime m_lastPosition;
    uint32_t m_pendingFlags = 0;
    kttl::ElapsedTime m_interval;
    mutable ktst::Vault<SpyMap> m_spies;
    ktst::Vault<EventCache> m_events;
    std::map<unsigned, Event> m_frameEvents;
    std::map<kttl::String, kttl::String> m_frameAttributes;
    EventSpy::Listener* m_listener = nullptr;
    // Reused by every processing step.
    std::list<Event> m_collected;
};
