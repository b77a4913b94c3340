// Coordinator: the camera application object: the SDK connection, the resolution, the frame loop.
#include "Coordinator.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "MovingObjectParams.h"
#include "ProcessFrame.h"
#include "SignalRelay.h"
#include "kt_image.h"
#include "kt_tick.h"
#include "kttl_ElapsedTime.h"
#include "kttl_TimeStamp.h"
#include "yuv_convert.h"

namespace {

const char* const kLogPath = "/var/log/Veltrano.log";
// Made once: building these names for every frame would cost an allocation each.
const kttl::String kNativeImage("Native Image");
const kttl::String kNativeResolution("native-resolution");

// "%dx%d" without a heap buffer (the result fits the string's inline storage).
kttl::String sizeText(uint32_t width, uint32_t height) {
    char text[32];
    snprintf(text, sizeof(text), "%dx%d", static_cast<int>(width), static_cast<int>(height));
    return kttl::String(text);
}

}  // namespace

ktst::Event Coordinator::mStopEvent(true, false);
ktst::Event Coordinator::mConfigEvent(true, false);
ktst::Event Coordinator::mDayMode(true, true);

Coordinator::Coordinator(unsigned port, kttl::Logger& logger, const kttl::String& payload)
    : mLogger(logger), mTracker(&logger, port, true), mPayload(payload),
      mGracePeriod(0, kt_tickcount()),
      mSender(&csdk_event_send),
      mAlarmFile(alarmFilePath()) {
    std::memset(&mSignalAction, 0, sizeof(mSignalAction));
    setLogger(&logger);
}

Coordinator::~Coordinator() {
    // A loop that never ran leaves the SDK open; close it with the object.
    if (mInitialized) csdk_deinit();
}

void Coordinator::signalHandler(int signal, siginfo_t*, void*) {
    if (signal == SIGUSR1) {
        SignalRelay::notifyConfig();
    } else {
        SignalRelay::notifyStop();
    }
}

void Coordinator::pollSignals() {
    // The configuration request is raised first so that a loop that sees the stop also sees why.
    if (SignalRelay::takeConfig()) {
        mConfigEvent.signal();
        mStopEvent.signal();
    }
    if (SignalRelay::takeStop()) mStopEvent.signal();
}

bool Coordinator::stopRequested() {
    pollSignals();
    return mStopEvent.wait(0);
}

void Coordinator::onDayNight(csdk_daynight mode) {
    if (mode == CSDK_DAYNIGHT_DAY) {
        mDayMode.signal();
    } else if (mode == CSDK_DAYNIGHT_NIGHT) {
        mDayMode.reset();
    }
}

void Coordinator::onIRCut(bool) {}

void Coordinator::onIRLed(bool) {}

kttl::String Coordinator::getDayNightMode(csdk_daynight mode) {
    return mode == CSDK_DAYNIGHT_DAY ? "day" : mode == CSDK_DAYNIGHT_NIGHT ? "night" : "unknown";
}

void Coordinator::fillSdkSettings() {
    csdk_settings.app_name = "Veltrano";
    csdk_settings.vendor_name = "Orvandi";
    csdk_settings.api_version = 2;
    csdk_settings.app_enabled = 1;
    // Video and events on; audio, pan-tilt-zoom and metadata off; the SDK's own bits kept.
    csdk_settings.features = static_cast<uint8_t>((csdk_settings.features & ~CSDK_FEATURE_APP_BITS) |
                                                  CSDK_FEATURE_VIDEO | CSDK_FEATURE_EVENTS);
    csdk_settings.log_path = kLogPath;
    csdk_settings.error_log_path = kLogPath;
}

void Coordinator::flushLog() { mLogger.flush(kttl::Logger::FLUSH_TIMEOUT_MS); }

bool Coordinator::initialize(const ktvl::Resolution& requested) {
    if (mInitialized) return true;
    mDayMode.signal();
    mStopEvent.reset();
    mConfigEvent.reset();

    SignalRelay::open();
    std::memset(&mSignalAction, 0, sizeof(mSignalAction));
    mSignalAction.sa_sigaction = &Coordinator::signalHandler;
    sigemptyset(&mSignalAction.sa_mask);
    mSignalAction.sa_flags = 0;
    sigaction(SIGTERM, &mSignalAction, nullptr);
    sigaction(SIGINT, &mSignalAction, nullptr);
    sigaction(SIGUSR1, &mSignalAction, nullptr);

    csdk_settings.on_daynight = &Coordinator::onDayNight;
    csdk_settings.on_ircut = &Coordinator::onIRCut;
    csdk_settings.on_irled = &Coordinator::onIRLed;
    csdk_settings.callbacks_enabled = 1;
    const int code = csdk_init();
    if (code != 0) {
        log(kttl::ERR, kttl::String::format("Error initializing video SDK error code = %d: %s", code, csdk_strerr(code)));
        flushLog();
        return false;
    }

    std::set<std::pair<int32_t, int32_t>> offered;
    int32_t width = 0, height = 0;
    while (csdk_next_resolution(csdk.video, &width, &height) == 0) offered.insert(std::make_pair(width, height));
    if (offered.empty()) {
        log(kttl::ERR, "Unable to find any resolutions");
        csdk_deinit();
        return false;
    }
    std::pair<int32_t, int32_t> chosen(requested.getWidth(), requested.getHeight());
    if (chosen.first < 1 || chosen.second < 1 || offered.count(chosen) == 0) {
        chosen = *offered.begin();
        log(kttl::INFO, kttl::String::format("No resolution specified, using %s",
                                             kttl::String::format("%dx%d", chosen.first, chosen.second).c_str()));
    }
    const kttl::String size = kttl::String::format("%dx%d", chosen.first, chosen.second);
    if (csdk_set_resolution(csdk.video, chosen.first, chosen.second) < 0) {
        log(kttl::ERR, kttl::String::format("Unable to set resolution to %s", size.c_str()));
        csdk_deinit();
        return false;
    }
    log(kttl::INFO, kttl::String::format("Set resolution to %s", size.c_str()));
    mResolution.set(chosen.first, chosen.second);

    // Only a stop (SIGTERM, SIGINT) that came during start-up ends it here; a configuration change
    // stays pending and ends the loop on its first pass, so the settings are read again.
    if (SignalRelay::takeStop()) mStopEvent.signal();
    if (mStopEvent.wait(0)) {
        log(kttl::ERR, "Stopping...");
        csdk_deinit();
        return false;
    }

    const csdk_daynight mode = csdk_get_daynight_mode(csdk.device);
    onDayNight(mode);
    log(kttl::INFO, kttl::String::format("Current Day/Night mode is %s", getDayNightMode(mode).c_str()));

    const bool ircut = csdk_is_ircut_supported(csdk.device) != 0;
    log(kttl::INFO, kttl::String::format("IR cut is %s", ircut ? "supported" : "not supported"));
    if (ircut) log(kttl::INFO, kttl::String::format("IR cut is %s", csdk_is_ircut_on(csdk.device) ? "on" : "off"));
    const bool irled = csdk_is_irled_supported(csdk.device) != 0;
    log(kttl::INFO, kttl::String::format("IR Led is %s", irled ? "supported" : "not supported"));
    if (irled) {
        log(kttl::INFO, kttl::String::format("IR Led is %s\n", csdk_is_irled_enabled(csdk.device) ? "enabled" : "disabled"));
        log(kttl::INFO, kttl::String::format("IR Led is %s\n", csdk_is_irled_on(csdk.device) ? "on" : "off"));
    }
    mInitialized = true;
    return true;
}

bool Coordinator::loadFrame(ProcessFrame& frame, const unsigned char* nv21, uint32_t width, uint32_t height,
                            bool dayMode, kt_image& colour, const kttl::TimeStamp& stamp,
                            const kttl::ElapsedTime& position) {
    frame.clear();
    // Colour only for small frames by day; a colour buffer that cannot be had falls back to gray.
    const bool useColour = width <= kMaxColourWidth && dayMode && kt_ensure_image(&colour, width, height, 4) == 1 &&
                           colour.data != nullptr;
    if (useColour) {
        convertYUV420_NV21toARGB8888(nv21, colour);
        frame.setAttribute(kNativeResolution, sizeText(colour.width, colour.height));
        frame.setBGRY(kNativeImage, colour);
    } else {
        // The luminance plane as it lies in the SDK's buffer.
        kt_image gray;
        gray.data = const_cast<unsigned char*>(nv21);
        gray.width = width;
        gray.height = height;
        gray.channels = 1;
        gray.size = width * height;
        frame.setAttribute(kNativeResolution, sizeText(width, height));
        frame.setImage(kNativeImage, gray, 2);
    }
    frame.setTimePosition(stamp, position);
    return useColour;
}

bool Coordinator::track(ProcessFrame& frame, bool colour, ktsl::List<Event>& events) {
    events.clear();
    if (mTracker.process(frame, colour, events)) return true;
    log(kttl::ERR, mTracker.getLastError());
    return false;
}

int Coordinator::process(const SimpleTracker::Params& params) {
    if (!mInitialized) {
        log(kttl::ERR, "Not initialized");
        return kNotRun;
    }
    log(kttl::INFO, kttl::String::format("Using denormalized sensitivity:  %f",
                                         MovingObjectParams::getBackgroundThreshold(params.sensitivity)));

    kt_image colour;
    std::memset(&colour, 0, sizeof(colour));
    const uint32_t startTick = kt_tickcount();
    ProcessFrame frame;
    ktsl::List<Event> events;
    csdk_vframe* vframe = csdk_get_vframe(csdk.video);
    int failures = 0;
    bool parametersSet = false;
    bool refused = false;

    while (!stopRequested()) {
        if (vframe == nullptr) break;
        if (csdk_refresh_vframe(vframe) != 0) {
            log(kttl::ERR, "csdk_refresh_vframe failed.");
            csdk_free_vframe(vframe);
            SignalRelay::sleepMs(kFailurePauseMs);
            vframe = csdk_get_vframe(csdk.video);
            if (++failures >= kMaxFrameFailures) {
                log(kttl::ERR, "Stopping application ...");
                mStopEvent.signal();
            } else {
                SignalRelay::sleepMs(kFailurePauseMs);
            }
            continue;
        }
        unsigned char* pixels = csdk_vframe_ptr(vframe);
        const uint32_t width = csdk_vframe_width(vframe);
        const uint32_t height = csdk_vframe_height(vframe);

        if (!parametersSet) {
            parametersSet = true;
            if (!mTracker.setParameters(params)) {
                log(kttl::ERR, kttl::String::format("Unable to set parameters:  %s\n", mTracker.getLastError().c_str()));
                refused = true;
                break;
            }
        }

        const bool useColour = loadFrame(frame, pixels, width, height, mDayMode.wait(0), colour,
                                         kttl::TimeStamp::systemTime(),
                                         kttl::ElapsedTime(static_cast<int64_t>(kt_tickcount() - startTick)));
        if (track(frame, useColour, events)) {
            for (const Event& event : events) onEvent(event);
        }
        failures = 0;
    }

    if (vframe != nullptr) {
        log(kttl::INFO, "Freeing vframe ...");
        csdk_free_vframe(vframe);
    }
    log(kttl::INFO, "Unloading SDK ...");
    csdk_deinit();
    log(kttl::INFO, "SDK Unloaded");
    mInitialized = false;
    kt_free_image(&colour);

    if (refused) return kNotRun;
    pollSignals();
    const bool configChanged = mConfigEvent.wait(0);
    if (configChanged) log(kttl::STAT, "Configuration change detected ...");
    flushLog();
    if (!configChanged) {
        log(kttl::INFO, "Exiting ...");
        return kStopped;
    }
    return kConfigChanged;
}
