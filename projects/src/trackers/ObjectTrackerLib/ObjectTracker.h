// ObjectTracker: the video process that turns each frame's detections into tracked objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "AdaptiveBackground.h"
#include "ObjectMap.h"
#include "ObjectTrackerParams.h"
#include "RegionColors.h"
#include "Tracker.h"
#include "VideoProcess.h"
#include "kt_running_avg.h"
#include "kt_tracker.h"
#include "ktil_MultiImage.h"
#include "ktst_Vault.h"
#include "kttl_TimeQueue.h"

// One blob-tracker list per detection source ("Moving" in normal mode and "Static" in static mode
// from the start, any other source in normal mode when it first appears). Every frame each list is
// fed its source's untracked detections; the tracked blobs become Objects with histories and
// attributes; objects that stay unconfirmed are dropped; objects removed after a long enough life
// are parked in a limbo from which a young object that starts close by with a similar colour may
// take back the old identity. The living and the parked objects are published into the frame.
//
// Threads: frames come from one pipeline thread. The Tracker operations (getObjects, removeObject,
// lock, get/setNextID) may be called from any thread: the living objects and the limbo live in vaults
// (each wait bounded at kWaitMs; living objects are always taken before the limbo).
class ObjectTracker : public Tracker, public VideoProcess {
  public:
    static constexpr const char* kProcessType = "ObjectTracker";
    static constexpr uint32_t kWaitMs = 15000;
    // Frame flag that asks for a reset before the frame is processed.
    static constexpr uint32_t kResetFlag = 0x100;
    // History window of the objects.
    static constexpr int64_t kHistoryWindowMs = 15000;
    // Resurrection window until parameters replace it.
    static constexpr int64_t kInitialLimboWindowMs = 15000;
    // A blob confidence from which an object counts as confirmed and a blob may start an object.
    static constexpr float kConfirmedConfidence = 0.5f;
    // Objects that lived at least this long are parked when removed (with resurrection allowed).
    static constexpr int64_t kMinLimboAgeMs = 2500;
    // Ages of a new object at which it may take back a parked identity.
    static constexpr int64_t kResurrectMinAgeMs = 500;
    static constexpr int64_t kResurrectMaxAgeMs = 5000;
    // False-object removal: running-average weight of the judgement and the level that drops an object.
    static constexpr float kFalseObjectWeight = 0.1f;
    static constexpr float kFalseObjectLimit = 0.75f;

    ObjectTracker();
    ~ObjectTracker() override;

    // Both interfaces, each answered with its own base part.
    bool supports(const char* iid, ktpl::Plugin** out) override;
    void release() override { delete this; }

    // Tracker
    void lock(bool locked) override { m_locked.store(locked); }
    bool isLocked() const { return m_locked.load(); }
    // The blob behind the object is dropped from its list before the next frame, so it does not come
    // back under the same id with a fresh history.
    bool removeObject(unsigned id) override;
    bool getObjects(ObjectMap& out) const override;
    unsigned getNextID() const override { return m_nextId.load(); }
    void setNextID(unsigned id) override { m_nextId.store(id == 0 ? 1 : id); }

    // VideoProcess
    kttl::String getProcessType() const override { return kProcessType; }
    // "Native-Scaled" colour, "Processed Image" and "Stationary Object Processed" gray.
    void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const override;
    // Keeps the first sibling that answers the adaptive-background interface.
    void setProcesses(std::list<ktpl::PluginPtr<VideoProcess>>& processes) override;
    void resetProcess() override { reset(); }

    // Empties the living objects and the limbo and starts every list again in its mode; ids go on.
    void reset();
    // Turning resurrection off empties the limbo.
    void allowResurrection(bool allowed);
    bool isResurrectionAllowed() const { return m_resurrection; }
    // Empties the limbo and gives it the window (0 when the value is not positive).
    void setResurrectionWindow(const kttl::ElapsedTime& window);
    size_t limboSize() const;

    const ObjectTrackerParams& getParameters() const { return m_params; }
    const std::vector<kt_segment>& getOcclusionSegments() const { return m_segments; }
    // The list of a detection source, or null.
    const kt_object_list* getList(const kttl::String& name) const;

    // One blob-tracker step over `list`: colour image of `image` when it has one, else its gray image;
    // `mask` restricts the histograms (may be null); `count` blobs of the chain at most. The tracker's
    // next id goes in and comes back. False when the blob tracker refused the input (it still ages the
    // list then).
    bool process(kt_object_list& list, const ktil::MultiImage* image, const kt_image* mask,
                 const kt_vertex* blobs, int count, const kttl::ElapsedTime& position);

    // The steps of one frame on the living objects (normally under the living-object vault; public
    // so that each can be driven on its own).
    void updateObjects(ObjectMap& map, const ProcessFrame& frame);
    // Purges every object that is unconfirmed (status -1) or was not updated at `position`.
    void cleanObjects(ObjectMap& map, const kttl::ElapsedTime& position);
    // Parks the object (resurrection allowed and lived >= 2.5 s), drops its blob and erases it.
    // Throws without a map, and without a limbo when the object is to be parked.
    void purgeObject(unsigned id, ObjectMap* map, kttl::TimeQueue<Object>* limbo);
    void resurrectObjects(ObjectMap& map, const kttl::ElapsedTime& position);
    // `newId` takes over the parked object's identity; false when that cannot be (see the contract in
    // the source) or when no blob of that id was found in the parked object's list.
    bool resurrectObject(unsigned newId, const Object& parked, ObjectMap& map);
    void removeFalseObjects(ObjectMap& map, ProcessFrame& frame);

  protected:
    void onFrameResize(unsigned width, unsigned height, double scale) override;
    bool onProcessFrame(ProcessFrame& frame) override;
    // Accepts an ObjectTrackerParams, or a block whose binary or XML payload reads as one. Values the
    // blob tracker cannot take are clamped with a warning.
    bool onSetParameters(const ProcessParams& params) override;

  private:
    using Lists = std::map<kttl::String, kt_object_list, std::less<>>;
    struct FalseObject {
        kt_running_avg average;
    };

    void runList(const kttl::String& name, kt_object_list& list, ProcessFrame& frame, const ktil::MultiImage* image);
    void applyPendingRemovals();
    void forget(uint32_t id);
    void rekey(uint32_t from, uint32_t to);
    // The last confident time of an object carried from the previous frame, or null.
    const int64_t* lastConfident(uint32_t id) const;
    uint8_t clampByte(int32_t value, const char* name);

    Lists m_lists;
    ktst::Vault<ObjectMap> m_living;
    ktst::Vault<kttl::TimeQueue<Object>> m_limbo;
    // Object id -> frame position (ms) at which its blob last had a confidence of at least 0.5; the
    // next frame's is built beside it and swapped in (sorted by id), so no node is allocated per frame.
    std::vector<std::pair<uint32_t, int64_t>> m_confident;
    std::vector<std::pair<uint32_t, int64_t>> m_confidentNext;
    std::map<uint32_t, RegionColors> m_colors;
    std::map<uint32_t, FalseObject> m_falseObjects;
    RegionColors m_scratchColors;
    std::atomic<bool> m_locked{false};
    ktpl::PluginPtr<AdaptiveBackground> m_background;
    ObjectTrackerParams m_params;
    uint8_t m_maturity;
    uint8_t m_maxPerBlob;
    uint32_t m_lostTimeoutMs;
    bool m_resurrection = false;
    std::atomic<unsigned> m_nextId{1};
    std::vector<kt_segment> m_segments;
    std::vector<uint32_t> m_purge;  // scratch of cleanObjects
    // Ids removed through removeObject whose blobs are dropped at the start of the next frame.
    std::mutex m_pendingMutex;
    std::vector<uint32_t> m_pending;
    std::vector<uint32_t> m_pendingScratch;
};
