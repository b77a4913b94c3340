// Coordinator: the camera application object: the SDK connection, the resolution, the frame loop.
#pragma once

#include <signal.h>

#include <cstdint>
#include <map>
#include <string>

#include "LogInterface.h"
#include "Event.h"
#include "SimpleTracker.h"
#include "kttl_Countdown.h"
#include "kttl_Integer.h"
#include "csdk.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_StringMap.h"
#include "ktst_Event.h"
#include "kttl_Logger.h"
#include "kttl_String.h"
#include "ktvl_Resolution.h"

// One per run cycle: created by main, initialised (SDK open, resolution set, signal handlers
// installed), then its frame loop runs until a stop or configuration-change request or too many frame
// failures; the loop closes the SDK again. Events of the pipeline and the alarm output join it with
// the event detection.
class Coordinator : protected LogInterface {
public:
    // Results of process().
    enum { kStopped = 0, kConfigChanged = 1, kNotRun = 2 };
    // Failed refreshes in a row after which the application stops itself.
    static const int kMaxFrameFailures = 50;
    // Frames at most this wide are processed in colour by day.
    static const uint32_t kMaxColourWidth = 192;
    // How long the loop waits before and after taking a new frame handle when a refresh fails.
    static const uint32_t kFailurePauseMs = 1000;

    // `port` goes to the tracker's remote-output server (0: none); `payload` is the alarm text.
    Coordinator(unsigned port, kttl::Logger& logger, const kttl::String& payload);
    ~Coordinator() override;
    Coordinator(const Coordinator&) = delete;
    Coordinator& operator=(const Coordinator&) = delete;

    // Opens the SDK and sets the resolution (the requested one when the camera offers it, else the
    // smallest offered). True at once when already initialised.
    bool initialize(const ktvl::Resolution& requested);
    // The frame loop: kStopped, kConfigChanged, or kNotRun (not initialised, or the tracker refused
    // the parameters).
    int process(const SimpleTracker::Params& params);
    // Fills `frame` from one NV21 camera frame as the loop does: cleared, then "Native Image" as the
    // four-byte colour form (frames no wider than kMaxColourWidth by day; `colour` is the reused
    // buffer) or the gray luminance plane, the native resolution, the time stamp and the stream
    // position. Returns whether the colour form was used.
    static bool loadFrame(ProcessFrame& frame, const unsigned char* nv21, uint32_t width, uint32_t height,
                          bool dayMode, kt_image& colour, const kttl::TimeStamp& stamp,
                          const kttl::ElapsedTime& position);

    bool isInitialized() const { return mInitialized; }
    // The resolution initialize() set (0x0 before).
    const ktvl::Resolution& getResolution() const { return mResolution; }
    const SimpleTracker& getTracker() const { return mTracker; }
    const kttl::String& getPayload() const { return mPayload; }

    // Sets the tracker's parameters, as the loop does on its first good frame (false: refused, the
    // reason in the tracker's last error). For callers that feed frames themselves (the replay tool).
    bool setParameters(const SimpleTracker::Params& params) { return mTracker.setParameters(params); }
    // One frame through the pipeline, as the loop runs it: the tracker's events land in `events`
    // (cleared first); a tracker failure is logged and gives false. The caller hands the events to
    // onEvent in list order.
    bool track(ProcessFrame& frame, bool colour, ktsl::List<Event>& events);

    // Alarm output. The grace period is the least time between two alarms; it starts expired, so
    // the first alarm can go out at once. A duration of all ones never lets an alarm out.
    void setEventGracePeriod(const kttl::ElapsedTime& period);
    // Decides whether `event` becomes an alarm: an event already alarmed is kept from alarming again
    // while it is reported at least every 15 s; a new one is sent to the camera's event service
    // (csdk_event_send with the payload) when the grace period has run out, counted, logged and its
    // start time written to the last-alarm file. Frame-loop thread only.
    void onEvent(const Event& event);
    // The call that hands an alarm to the camera's event service: 0 sent, anything else an error
    // number. csdk_event_send unless replaced (the replay tool has no camera).
    typedef int (*EventSender)(const char* payload, int32_t flags, uint32_t length);
    void setEventSender(EventSender sender) { mSender = sender != nullptr ? sender : &csdk_event_send; }
    // Where the last-alarm file goes: alarmFilePath() as of construction; "" writes none.
    void setAlarmFile(const std::string& path) { mAlarmFile = path; }
    const std::string& getAlarmFile() const { return mAlarmFile; }
    // Alarms sent since construction (the number of the latest).
    int32_t getAlarmCount() const { return mAlarmCount; }
    size_t getSuppressedCount() const { return mSuppressed.size(); }
    // "$CS_APP_HOME/html/event_time.json" (an unset variable counts as empty).
    static std::string alarmFilePath();
    // Suppressed events kept at most: beyond it the entry nearest to expiry goes first, so a night
    // of noise cannot grow the map without bound.
    static constexpr size_t kMaxSuppressed = 4096;
    // How long an alarmed event keeps being suppressed after its last report.
    static constexpr uint32_t kSuppressMs = 15000;

    // Signal handler for SIGTERM, SIGINT and SIGUSR1: SIGUSR1 asks for a configuration change; every
    // handled signal asks the loop to stop. Takes no lock (see SignalRelay).
    static void signalHandler(int signal, siginfo_t* info, void* context);
    // Turns requests the handler recorded into mConfigEvent and mStopEvent (frame-loop thread).
    static void pollSignals();
    // SDK callbacks, called on the SDK's thread: 1 signals mDayMode, 2 resets it, others do nothing.
    static void onDayNight(csdk_daynight mode);
    static void onIRCut(bool on);
    static void onIRLed(bool on);
    // "day", "night" or "unknown".
    static kttl::String getDayNightMode(csdk_daynight mode);

    // Fills the application's part of csdk_settings (names, version, feature bits, log paths); the
    // callbacks are written by initialize().
    static void fillSdkSettings();

    // Settings: reads the custom settings file, or the default one, into `settings`.
    static bool loadXML(kttl::Logger& logger, ktsl::StringMap<kttl::String>& settings);
    // The settings map of a settings document (what loadXML does once it has the text); false, with
    // "Failed to parse xml into a tree.", for an empty or malformed one.
    static bool settingsFromText(kttl::Logger& logger, const std::string& text, ktsl::StringMap<kttl::String>& settings);
    // Appends the polygons of a zone text to `zones`; false (zones unchanged) on any violation.
    static bool parseZones(const kttl::String& text, ktsl::List<ktml::Polygon2D<float>>& zones);

    // Process-wide requests and state, set from signals and SDK callbacks.
    static ktst::Event mStopEvent;    // manual reset, initially clear: the frame loop must end
    static ktst::Event mConfigEvent;  // manual reset, initially clear: it ends for a settings change
    static ktst::Event mDayMode;      // manual reset, initially set: day (set) or night (clear)

private:
    bool stopRequested();
    void flushLog();

    kttl::Logger& mLogger;
    SimpleTracker mTracker;
    kttl::String mPayload;
    // Alarmed event uids and the time since their last report, ordered by uid.
    std::map<kttl::Integer, kttl::Countdown> mSuppressed;
    int32_t mAlarmCount = 0;
    kttl::Countdown mGracePeriod;
    EventSender mSender;
    std::string mAlarmFile;
    struct sigaction mSignalAction;
    bool mInitialized = false;
    ktvl::Resolution mResolution;
};
