// ReplayRun: a settings file over recorded frames through the camera's own run cycle, pipeline and
// alarm decision, on the clip's clock instead of the wall clock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Coordinator.h"
#include "RunCycle.h"
#include "kt_image.h"
#include "ktml_BoundingBox.h"
#include "kttl_Logger.h"

// One alarm as the camera would have raised it.
struct ReplayAlarm {
    int32_t number = 0;                         // the alarm counter
    int64_t clipMs = 0;                         // stream time of the frame that raised it
    int confidence = 0;
    uint32_t uid = 0;                           // the event's uid
    std::set<int> ids;                          // the event's object ids
    std::vector<ktml::BoundingBox<int>> boxes;  // their newest boxes in that frame
};

// While it exists, kt_tickcount() reads the clip's time (plus a fixed base), so ages, grace periods
// and suppression mean on the clip what they mean live. One at a time per process.
class ReplayRun {
public:
    explicit ReplayRun(kttl::Logger& logger);
    ~ReplayRun();
    ReplayRun(const ReplayRun&) = delete;
    ReplayRun& operator=(const ReplayRun&) = delete;

    // Reads the settings document and its zones as the camera does and builds the run cycle; false
    // with `error` set when the camera would refuse to start. `width`/`height` 0 take the settings'
    // video resolution (352x288 when it names none).
    bool configure(const std::string& settingsText, int width, int height, std::string& error);
    int width() const { return mWidth; }
    int height() const { return mHeight; }
    const RunCycle& cycle() const { return mCycle; }

    // Where per-alarm pictures go ("" none) and the stream every event's XML form goes to (null none).
    void setSnapshotDir(const std::string& dir) { mSnapshotDir = dir; }
    void setEventStream(FILE* out) { mEvents = out; }
    // The stream each frame's digest line goes to (null none); see FrameDigest.h.
    void setDigestStream(FILE* out) { mDigest = out; }
    // Day frames no wider than 192 pixels are processed in colour, as by the camera by day.
    void setNight(bool night) { mNight = night; }

    // One NV21 frame of the configured size at stream time `clipMs` (non-decreasing). False when the
    // pipeline failed on it (logged) or refused the parameters (then every later frame fails too).
    bool feed(const uint8_t* nv21, int64_t clipMs);

    uint64_t frames() const { return mFrames; }
    uint64_t events() const { return mEventCount; }
    const std::vector<ReplayAlarm>& alarms() const { return mAlarms; }

    // Frame times before the first frame are counted from here on the tick clock.
    static constexpr uint32_t kTickBase = 1000000;

private:
    void recordAlarm(const Event& event, int64_t clipMs, const uint8_t* nv21);
    void writeSnapshot(const ReplayAlarm& alarm, const uint8_t* nv21);

    kttl::Logger& mLogger;
    RunCycle mCycle;
    std::unique_ptr<Coordinator> mCoordinator;
    int mWidth = 0;
    int mHeight = 0;
    bool mNight = false;
    bool mParametersSet = false;
    bool mRefused = false;
    std::string mSnapshotDir;
    FILE* mEvents = nullptr;
    FILE* mDigest = nullptr;
    ProcessFrame mFrame;
    kt_image mColour{};
    kt_image mPicture{};
    ktsl::List<Event> mEventList;
    int64_t mStartSeconds = 0;
    uint64_t mFrames = 0;
    uint64_t mEventCount = 0;
    std::vector<ReplayAlarm> mAlarms;
};
