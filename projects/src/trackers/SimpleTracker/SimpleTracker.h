// SimpleTracker: the per-frame pipeline object of the camera application.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "Event.h"
#include "EventDetector.h"
#include "EventSpyFactory.h"
#include "LogInterface.h"
#include "ObjectMap.h"
#include "ObjectTracker.h"
#include "OutputProxy.h"
#include "ProcessFrame.h"
#include "VideoProcess.h"
#include "kt_background_model.h"
#include "kt_detection.h"
#include "kt_image.h"
#include "ktil_FlatImage.h"
#include "ktil_MaskImage.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "kttl_Countdown.h"
#include "kttl_FpsCalculator.h"
#include "kttl_Logger.h"
#include "kttl_StatTracker.h"
#include "kttl_String.h"

class SvmClassification;

// For every frame: finds moving pixels (frame differencing, the adaptive background model, or both),
// cleans the mask, cuts it into blobs, rates them, hands them to the frame as untracked "Moving"
// detections, runs the video processes in order, keeps the background from learning moving objects
// and watches for sudden lighting changes. All work images are members, re-created only when the
// frame size changes, so steady-state frames allocate nothing but their blob records.
//
// Not thread-safe: one thread configures it and feeds it frames.
class SimpleTracker : public LogInterface {
  public:
    struct Params {
        float sensitivity = 0.5f;       // detection sensitivity, 0..1
        float sceneSensitivity = 0.5f;  // lighting-change sensitivity, 0..1
        float minConfidence = 0.5f;     // minimum classification confidence of an event, 0..1
        int32_t minWidth = 5;           // minimum blob size in pixels
        int32_t minHeight = 11;
        int32_t mode = 4;                // 2 frame differencing, 3 background model, 4 both
        ktsl::Set<kttl::String> models;  // classifier model files
        ktsl::List<ktml::Polygon2D<float>> exclusionZones;  // nothing is detected inside these
        std::list<EventSpyFactory> spies;                   // the event spies to run
    };

    // Detection modes.
    static const int32_t kFrameDifferencing = 2;
    static const int32_t kBackgroundModel = 3;
    static const int32_t kBoth = 4;

    // `port` is where remote viewers connect (0: none); with `logFps` the frame rate is logged
    // every 10 s.
    SimpleTracker(kttl::Logger* logger, unsigned port, bool logFps);
    // Logs the stage statistics.
    ~SimpleTracker() override;
    SimpleTracker(const SimpleTracker&) = delete;
    SimpleTracker& operator=(const SimpleTracker&) = delete;

    // False (with the reason in getLastError()) for a sensitivity or scene sensitivity outside 0..1,
    // or when a video process refuses its parameters; parts configured before the failure stay so.
    bool setParameters(const Params& params);
    // Runs the whole pipeline on the frame's "Native Image" (its colour form when `colour`, else its
    // gray form). False, with the reason in getLastError(), when a stage fails; the stages after it
    // do not run for this frame.
    bool process(ProcessFrame& frame, bool colour, ktsl::List<Event>& events);
    // process() for callers that want no events (benchmarks, tests of the detection stages).
    bool process(ProcessFrame& frame, bool colour) {
        m_discarded.clear();
        return process(frame, colour, m_discarded);
    }
    // Removes events below the minimum event confidence while classification is on.
    void filterEvents(ktsl::List<Event>& events) const;
    // Forgets the background model (rebuilt on the next frame) and ends any lighting change.
    void reset();

    void setLogger(kttl::Logger* logger) override;
    // Logs every stage's timing (first 10 samples dropped), then each video process's.
    void dumpStats();

    const kttl::String& getLastError() const { return m_lastError; }
    // Frames whose input was accepted, and how many of them were in colour.
    uint64_t getFramesSeen() const { return m_framesSeen; }
    uint64_t getColourFrames() const { return m_colourFrames; }
    bool isLightingChange() const { return m_lightChange; }
    float getMaxForegroundFraction() const { return m_maxForeground; }
    int32_t getMode() const { return m_mode; }
    uint32_t getKernelWidth() const { return m_detection.kernel.width; }
    const unsigned char* getThresholdTable() const { return m_thresholds; }
    uint16_t getMinEventConfidence() const { return m_minEventConfidence; }
    bool isClassifying() const { return m_classifying; }
    const EventDetector& getEventDetector() const { return m_eventDetector; }
    const SvmClassification& getClassifier() const { return *m_classifier; }
    const kt_background& getBackground() const { return m_background; }
    const kt_image& getActivityMask() const { return m_activity.image(); }
    const kt_image& getProcessedMask() const { return m_processed.image(); }
    const kt_image& getExclusionMask() const { return m_exclusion.image(); }
    ObjectTracker& getObjectTracker() { return m_objectTracker; }
    // Stage timers by name (looked up without building a key, so timing allocates nothing per frame).
    using StageMap = std::map<kttl::String, kttl::StatTracker, std::less<>>;
    const StageMap& getStageStats() const { return m_stages; }
    // The order of the 3x3 operations the blob step applies: 'e' erode, 'd' dilate.
    const char* morphologyOrder() const;

    // Where the background may learn: 255 everywhere except around confirmed moving objects (state
    // "Moving", track status 1 or at least 3), whose newest boxes grown by 5 pixels are 0.
    static void updateMask(const ObjectMap& objects, kt_image& mask);
    // Confidence of a blob from the motion image: 1 when more than 9 pixels of its box moved and they
    // cover more than 15 % of it, else 0.
    static float rateBlob(const kt_vertex& blob, const kt_image& peripheral);

  private:
    void setError(const char* message, int place);
    void startStage(const char* name);
    void endStage(const char* name);
    bool detectBlobs(ProcessFrame& frame, const kt_image& input, uint32_t foreground);
    bool runMorphology();
    bool learnBackground(ProcessFrame& frame, const kt_image& input, bool colour);
    void runProcesses(ProcessFrame& frame);
    // Background-model mode: objects stuck for more than 15 s that are stable or touch the edge are
    // removed and the model is reset under them.
    void pruneObjects(const ObjectMap& objects);
    // Appends a video process to the chain, with its stage timer.
    void addProcess(VideoProcess& process);
    void updateProxy(ProcessFrame& frame);
    void drawExclusionMask(uint32_t width, uint32_t height);
    bool maskInput(const kt_image& input, kt_image& output);
    // Renders the background model's means into m_colourMasked (colour model) or m_work (gray);
    // returns the image rendered, or null when there is no model.
    const kt_image* renderBackground();

    kt_detection m_detection{};
    kt_background m_background{};
    // One-channel images of the frame size: the processed mask, a work image (masked gray input,
    // morphology scratch), the peripheral motion image, the activity mask, the foreground difference.
    ktil::FlatImage<1> m_processed;
    ktil::FlatImage<1> m_work;
    ktil::FlatImage<1> m_peripheral;
    ktil::FlatImage<1> m_activity;
    ktil::FlatImage<1> m_foreground;
    ktil::FlatImage<4> m_colourMasked;  // masked colour input, or the rendered background
    ktil::MaskImage m_exclusion;        // 255 except inside exclusion zones (0)
    kttl::Countdown m_lightCountdown;
    bool m_lightChange = false;
    unsigned char m_thresholds[256];
    int32_t m_minWidth = 11;
    int32_t m_minHeight = 11;
    uint32_t m_lastUpdate = 0;  // stream position (ms) of the last background learning
    bool m_learnedOnce = false;
    int32_t m_mode = kBoth;
    float m_maxForeground = 0.75f;
    kttl::String m_lastError;
    kttl::FpsCalculator m_fps;
    kttl::Countdown m_fpsLog;
    OutputProxy m_proxy;
    StageMap m_stages;
    ktsl::List<ktml::Polygon2D<float>> m_zones;
    // The video processes in the order they run on every frame; each plugs in as it is built.
    struct Step {
        VideoProcess* process;
        kttl::String stage;  // "<type>::processFrame"
    };
    std::vector<Step> m_processes;
    ObjectTracker m_objectTracker;
    ObjectMap m_tracked;  // the tracker's objects as last taken (pruning, background learning)
    // Runs between tracker and event detector, enabled only while at least one model is loaded.
    // Held apart so that users of the pipeline do not see the classifier's interface names.
    std::unique_ptr<SvmClassification> m_classifier;
    EventDetector m_eventDetector;
    bool m_classifying = false;
    std::list<kttl::String> m_classNames;  // the classifier's classes, handed to every spy
    uint16_t m_minEventConfidence = 50;
    ktsl::List<Event> m_discarded;
    uint64_t m_framesSeen = 0;
    uint64_t m_colourFrames = 0;
    // Wanted-image names of the remote viewers; reused every frame.
    ktsl::Set<kttl::String> m_wanted;
};
