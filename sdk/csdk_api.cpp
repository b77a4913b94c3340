// csdk_api: the stand-in SDK's exported calls: open/close, resolutions, frames, day/night, events.
//
// State lives in one process-wide record guarded by a mutex; only the day/night thread runs beside the
// caller. Reports go to stderr, one line per state change (never per frame), prefixed "csdk: ".
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "csdk.h"
#include "csdk_config.h"
#include "csdk_errors.h"
#include "csdk_media.h"
#include "csdk_synthetic.h"
#include "csdk_truth.h"

using namespace csdk_standin;

csdk_settings_t csdk_settings = {};
csdk_t csdk = {};

struct csdk_vframe {
    uint8_t* pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
};

namespace {

// Handle values are distinct and nonzero so that a caller mixing them up is caught.
const int32_t kVideoHandle = 17;
const int32_t kAudioHandle = 19;
const int32_t kPtzHandle = 23;
const int32_t kEventsHandle = 27;
const int32_t kDeviceHandle = 29;
// Rate used to pace a recorded clip whose container does not tell its own.
const double kFallbackFps = 25.0;

void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    fprintf(stderr, "csdk: %s\n", line);
    fflush(stderr);
}

int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

const char* modeName(csdk_daynight mode) {
    return mode == CSDK_DAYNIGHT_DAY ? "day" : mode == CSDK_DAYNIGHT_NIGHT ? "night" : "unknown";
}

struct State {
    std::mutex mutex;
    bool initialized = false;
    std::unique_ptr<FrameSource> source;
    bool sourceBroken = false;
    std::vector<Size> resolutions;
    size_t enumeration = 0;
    Size current;
    AtEnd atEnd = AtEnd::Loop;
    bool ended = false;
    int64_t periodNs = 0;
    int64_t nextDueNs = 0;
    long long refreshFailures = 0;
    long long refreshCalls = 0;  // since csdk_init: the first refreshFailures of them fail
    uint64_t delivered = 0;
    int eventFailCode = 0;
    std::string eventLog;
    FILE* truthLog = nullptr;  // CSDK_TRUTH_LOG: the synthetic movers of every delivered frame
    std::vector<SyntheticScene::MoverBox> movers, visible;
    IrMode ircut = IrMode::Auto;
    IrMode irled = IrMode::Auto;
    std::atomic<int> dayNight{CSDK_DAYNIGHT_DAY};
    std::vector<DayNightStep> schedule;
    std::thread scheduleThread;
    std::mutex scheduleMutex;
    std::condition_variable scheduleWake;
    bool scheduleStop = false;
    int lastInitCode = 0;
    char errorText[512] = {0};
};

State& state() {
    static State s;
    return s;
}

int failInit(State& s, int code, const std::string& text) {
    snprintf(s.errorText, sizeof(s.errorText), "%s", text.c_str());
    s.lastInitCode = code;
    report("csdk_init failed (%d): %s", code, text.c_str());
    return code;
}

bool irOn(IrMode mode, bool nightWanted, int dayNight) {
    switch (mode) {
        case IrMode::On: return true;
        case IrMode::Auto: return nightWanted ? dayNight == CSDK_DAYNIGHT_NIGHT : dayNight == CSDK_DAYNIGHT_DAY;
        default: return false;
    }
}

// Plays the day/night schedule: at each step's time the mode changes and the registered callbacks are
// called on this thread (as a camera SDK does), without any SDK lock held.
void runSchedule(State* s, std::vector<DayNightStep> steps, std::chrono::steady_clock::time_point start,
                 csdk_settings_t settings) {
    for (const DayNightStep& step : steps) {
        {
            std::unique_lock<std::mutex> lock(s->scheduleMutex);
            if (s->scheduleWake.wait_until(lock, start + std::chrono::milliseconds(step.atMs),
                                           [s] { return s->scheduleStop; })) {
                return;
            }
        }
        if (s->dayNight.exchange(step.mode) == step.mode) continue;
        report("day/night mode is now %s", modeName(step.mode));
        if (settings.callbacks_enabled == 0) continue;
        if (settings.on_daynight != nullptr) settings.on_daynight(step.mode);
        if (settings.on_ircut != nullptr && s->ircut == IrMode::Auto) settings.on_ircut(step.mode == CSDK_DAYNIGHT_DAY);
        if (settings.on_irled != nullptr && s->irled == IrMode::Auto) settings.on_irled(step.mode == CSDK_DAYNIGHT_NIGHT);
    }
}

void stopSchedule(State& s) {
    {
        std::lock_guard<std::mutex> lock(s.scheduleMutex);
        s.scheduleStop = true;
    }
    s.scheduleWake.notify_all();
    if (s.scheduleThread.joinable()) s.scheduleThread.join();
}

// Waits until the next frame is due. A caller that fell more than a frame behind starts a new schedule
// instead of receiving a burst of frames.
void pace(State& s) {
    if (s.periodNs <= 0) return;
    const int64_t now = monotonicNs();
    if (s.nextDueNs == 0 || now > s.nextDueNs + s.periodNs) {
        s.nextDueNs = now;
    } else if (now < s.nextDueNs) {
        timespec due{};
        due.tv_sec = static_cast<time_t>(s.nextDueNs / 1000000000LL);
        due.tv_nsec = static_cast<long>(s.nextDueNs % 1000000000LL);
        // A signal cuts the wait short so the caller sees its stop request at once.
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
    }
    s.nextDueNs += s.periodNs;
}

std::string jsonEscape(const char* data, uint32_t length) {
    std::string out;
    out.reserve(length + 16);
    for (uint32_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

}  // namespace

extern "C" {

int csdk_init(void) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.initialized) return failInit(s, kState, "already initialized");

    long long injected = 0;
    const char* injectedText = getenv("CSDK_INIT_ERROR");
    if (injectedText != nullptr && *injectedText != '\0') {
        if (!parseInteger(injectedText, INT32_MIN, INT32_MAX, injected)) {
            return failInit(s, kConfig, std::string("bad CSDK_INIT_ERROR '") + injectedText + "'");
        }
        if (injected != 0) {
            return failInit(s, static_cast<int>(injected),
                            "injected failure (CSDK_INIT_ERROR=" + std::to_string(injected) + ")");
        }
    }

    const csdk_settings_t settings = csdk_settings;
    if (settings.app_name == nullptr || settings.app_name[0] == '\0') {
        return failInit(s, kSettings, "csdk_settings has no application name");
    }
    if (settings.api_version != kApiVersion) {
        return failInit(s, kVersion, "csdk_settings.api_version " + std::to_string(settings.api_version) +
                                         " not supported (want " + std::to_string(kApiVersion) + ")");
    }
    report("init for %s by %s, version %d, enabled %u, features 0x%02x, log %s, error log %s, callbacks %s",
           settings.app_name, settings.vendor_name ? settings.vendor_name : "(none)", settings.api_version,
           settings.app_enabled, settings.features, settings.log_path ? settings.log_path : "(none)",
           settings.error_log_path ? settings.error_log_path : "(none)",
           settings.callbacks_enabled ? "on" : "off");

    std::string error;
    SourceSpec spec;
    std::vector<Size> resolutions;
    std::vector<DayNightStep> schedule;
    AtEnd atEnd = AtEnd::Loop;
    IrMode ircut = IrMode::Auto, irled = IrMode::Auto;
    double fps = -1.0;
    long long refreshFailures = 0, eventFail = 0;
    const char* fpsText = getenv("CSDK_FPS");
    const char* refreshText = getenv("CSDK_REFRESH_FAIL");
    const char* eventText = getenv("CSDK_EVENT_FAIL");
    const char* dayNightText = getenv("CSDK_DAYNIGHT");
    if (!parseSource(getenv("CSDK_SOURCE"), spec, error) ||
        !parseResolutions(getenv("CSDK_RESOLUTIONS"), resolutions, error) || !parseAtEnd(getenv("CSDK_AT_END"), atEnd, error) ||
        !parseDayNight(dayNightText != nullptr ? dayNightText : (spec.synthetic && spec.night ? "night" : "day"), schedule, error) ||
        !parseIrMode(getenv("CSDK_IRCUT"), false, ircut, error) || !parseIrMode(getenv("CSDK_IRLED"), true, irled, error)) {
        return failInit(s, kConfig, error);
    }
    if (fpsText != nullptr && *fpsText != '\0' && !parseFps(fpsText, fps)) {
        return failInit(s, kConfig, std::string("bad CSDK_FPS '") + fpsText + "' (want 0..1000)");
    }
    if (refreshText != nullptr && *refreshText != '\0' && !parseInteger(refreshText, 0, 1LL << 40, refreshFailures)) {
        return failInit(s, kConfig, std::string("bad CSDK_REFRESH_FAIL '") + refreshText + "'");
    }
    if (eventText != nullptr && *eventText != '\0' && !parseInteger(eventText, INT32_MIN, INT32_MAX, eventFail)) {
        return failInit(s, kConfig, std::string("bad CSDK_EVENT_FAIL '") + eventText + "'");
    }

    std::unique_ptr<FrameSource> source;
    if (spec.synthetic) {
        auto* scene = new SyntheticScene(spec.night, spec.lightchange, spec.frames);
        scene->setEmpty(spec.empty);
        scene->setSeed(spec.seed);
        source.reset(scene);
    } else {
        std::unique_ptr<MediaSource> media(new MediaSource(spec.location));
        if (!media->open(error)) return failInit(s, kSource, error);
        source = std::move(media);
    }
    double rate = fps >= 0.0 ? fps : (source->isLive() ? 0.0 : source->nominalFps());
    if (fps < 0.0 && rate <= 0.0 && !source->isLive()) rate = kFallbackFps;

    s.source = std::move(source);
    s.sourceBroken = false;
    s.resolutions = resolutions;
    s.enumeration = 0;
    s.current = Size();
    s.atEnd = atEnd;
    s.ended = false;
    s.periodNs = rate > 0.0 ? static_cast<int64_t>(1e9 / rate) : 0;
    s.nextDueNs = 0;
    s.refreshFailures = refreshFailures;
    s.refreshCalls = 0;
    s.delivered = 0;
    s.eventFailCode = static_cast<int>(eventFail);
    const char* eventLog = getenv("CSDK_EVENT_LOG");
    s.eventLog = eventLog != nullptr ? eventLog : "";
    const char* truthLog = getenv("CSDK_TRUTH_LOG");
    if (truthLog != nullptr && *truthLog != '\0') {
        if (s.truthLog != nullptr) fclose(s.truthLog);
        s.truthLog = fopen(truthLog, "w");
        if (s.truthLog == nullptr) report("cannot write the truth log %s: %s", truthLog, strerror(errno));
    }
    s.ircut = ircut;
    s.irled = irled;
    s.schedule = schedule;
    s.dayNight.store(schedule.front().mode);
    s.lastInitCode = 0;
    s.errorText[0] = '\0';

    csdk.video = kVideoHandle;
    csdk.audio = kAudioHandle;
    csdk.ptz = kPtzHandle;
    csdk.events = kEventsHandle;
    csdk.device = kDeviceHandle;

    std::vector<DayNightStep> later;
    for (const DayNightStep& step : schedule) {
        if (step.atMs > 0) later.push_back(step);
    }
    s.scheduleStop = false;
    if (!later.empty()) {
        s.scheduleThread = std::thread(runSchedule, &s, later, std::chrono::steady_clock::now(), settings);
    }
    s.initialized = true;
    char pacing[64];
    if (s.periodNs > 0) {
        snprintf(pacing, sizeof(pacing), "paced at %.2f fps", rate);
    } else {
        snprintf(pacing, sizeof(pacing), "%s", s.source->isLive() ? "paced by the sender" : "unpaced");
    }
    report("initialized: source %s, %s, %zu resolutions, day/night %s%s, at end %s", s.source->describe().c_str(), pacing,
           resolutions.size(), modeName(schedule.front().mode), later.empty() ? "" : " (scheduled changes)",
           atEnd == AtEnd::Loop ? "loop" : atEnd == AtEnd::Stop ? "stop" : "fail");
    return 0;
}

const char* csdk_strerr(int code) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (code == s.lastInitCode && s.errorText[0] != '\0') return s.errorText;
    switch (code) {
        case 0: return "success";
        case kSettings: return "settings record not filled";
        case kVersion: return "unsupported interface version";
        case kConfig: return "bad stand-in configuration";
        case kSource: return "video source cannot be used";
        case kState: return "call out of order";
        case kHandle: return "unknown handle";
        case kResolution: return "resolution not supported";
        case kEnded: return "video source ended";
        case kInjected: return "injected failure";
        case kArgument: return "bad argument";
        case kNoMemory: return "out of memory";
        default: return "unknown error";
    }
}

void csdk_deinit(void) {
    State& s = state();
    stopSchedule(s);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.initialized) return;
    s.source.reset();
    if (s.truthLog != nullptr) fclose(s.truthLog);
    s.truthLog = nullptr;
    s.initialized = false;
    csdk = csdk_t();
    report("closed after %llu frames", static_cast<unsigned long long>(s.delivered));
}

int csdk_next_resolution(int32_t video, int32_t* width, int32_t* height) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.initialized) return kState;
    if (video != kVideoHandle) return kHandle;
    if (width == nullptr || height == nullptr) return kArgument;
    if (s.enumeration >= s.resolutions.size()) {
        s.enumeration = 0;
        return 1;
    }
    *width = s.resolutions[s.enumeration].width;
    *height = s.resolutions[s.enumeration].height;
    ++s.enumeration;
    return 0;
}

int csdk_set_resolution(int32_t video, int32_t width, int32_t height) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.initialized) return kState;
    if (video != kVideoHandle) return kHandle;
    const bool offered = std::any_of(s.resolutions.begin(), s.resolutions.end(),
                                     [&](const Size& r) { return r.width == width && r.height == height; });
    if (!offered) {
        report("resolution %dx%d refused: not offered", width, height);
        return kResolution;
    }
    if (!s.source->prepare(width, height)) {
        report("resolution %dx%d refused by the source", width, height);
        return kResolution;
    }
    s.current = Size{width, height};
    report("resolution set to %dx%d", width, height);
    return 0;
}

csdk_daynight csdk_get_daynight_mode(int32_t device) {
    State& s = state();
    if (device != kDeviceHandle) return CSDK_DAYNIGHT_UNKNOWN;
    return static_cast<csdk_daynight>(s.dayNight.load());
}

int csdk_is_ircut_supported(int32_t device) {
    return device == kDeviceHandle && state().ircut != IrMode::Unsupported;
}

int csdk_is_ircut_on(int32_t device) {
    State& s = state();
    return device == kDeviceHandle && irOn(s.ircut, false, s.dayNight.load());
}

int csdk_is_irled_supported(int32_t device) {
    return device == kDeviceHandle && state().irled != IrMode::Unsupported;
}

int csdk_is_irled_enabled(int32_t device) {
    State& s = state();
    return device == kDeviceHandle && s.irled != IrMode::Unsupported && s.irled != IrMode::Disabled;
}

int csdk_is_irled_on(int32_t device) {
    State& s = state();
    return device == kDeviceHandle && irOn(s.irled, true, s.dayNight.load());
}

csdk_vframe* csdk_get_vframe(int32_t video) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.initialized || video != kVideoHandle || s.current.width == 0) {
        report("csdk_get_vframe refused: %s", !s.initialized ? "not initialized"
                                              : video != kVideoHandle ? "unknown video handle" : "no resolution set");
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>(s.current.width) * s.current.height * 3 / 2;
    csdk_vframe* frame = new (std::nothrow) csdk_vframe;
    uint8_t* pixels = static_cast<uint8_t*>(malloc(bytes));
    if (frame == nullptr || pixels == nullptr) {
        delete frame;
        free(pixels);
        return nullptr;
    }
    // Black until the first refresh: luminance 0, neutral chroma.
    memset(pixels, 0, static_cast<size_t>(s.current.width) * s.current.height);
    memset(pixels + static_cast<size_t>(s.current.width) * s.current.height, 128, bytes / 3);
    frame->pixels = pixels;
    frame->width = static_cast<uint32_t>(s.current.width);
    frame->height = static_cast<uint32_t>(s.current.height);
    return frame;
}

int csdk_refresh_vframe(csdk_vframe* frame) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (frame == nullptr) return kArgument;
    if (!s.initialized || s.current.width == 0) return kState;
    ++s.refreshCalls;
    if (s.refreshCalls <= s.refreshFailures) {
        if (s.refreshCalls == 1) report("failing the first %lld refreshes (CSDK_REFRESH_FAIL)", s.refreshFailures);
        if (s.refreshCalls == s.refreshFailures) report("injected refresh failures done");
        return kInjected;
    }
    if (s.ended) return kEnded;
    if (frame->width != static_cast<uint32_t>(s.current.width) || frame->height != static_cast<uint32_t>(s.current.height)) {
        return kState;  // a handle taken before the resolution changed
    }
    if (s.sourceBroken) {
        if (!s.source->rewind()) return kSource;
        report("source reopened: %s", s.source->describe().c_str());
        s.sourceBroken = false;
    }
    pace(s);
    FrameSource::Result result = s.source->next(frame->pixels);
    if (result == FrameSource::Result::End) {
        switch (s.atEnd) {
            case AtEnd::Loop:
                report("end of source after %llu frames, starting again", static_cast<unsigned long long>(s.delivered));
                if (!s.source->rewind()) {
                    report("cannot start the source again: %s", s.source->lastError().c_str());
                    s.sourceBroken = true;
                    return kSource;
                }
                result = s.source->next(frame->pixels);
                if (result == FrameSource::Result::End) {
                    report("source holds no frames");
                    result = FrameSource::Result::Error;
                }
                break;
            case AtEnd::Stop:
                report("end of source after %llu frames, raising SIGTERM", static_cast<unsigned long long>(s.delivered));
                s.ended = true;
                lock.unlock();
                raise(SIGTERM);
                return kEnded;
            case AtEnd::Fail:
                report("end of source after %llu frames, every further refresh fails",
                       static_cast<unsigned long long>(s.delivered));
                s.ended = true;
                return kEnded;
        }
    }
    if (result == FrameSource::Result::Error) {
        report("source failed: %s", s.source->lastError().c_str());
        s.sourceBroken = true;
        return kSource;
    }
    if (s.truthLog != nullptr) {
        if (const auto* scene = dynamic_cast<const SyntheticScene*>(s.source.get())) {
            scene->moverBoxes(static_cast<double>(scene->frameIndex() - 1) / SyntheticScene::kSceneFps, s.movers);
            visibleMovers(s.movers, s.current.width, s.current.height, s.visible);
            fprintf(s.truthLog, "%s\n", truthLine(s.delivered, s.visible).c_str());
            fflush(s.truthLog);
        }
    }
    ++s.delivered;
    return 0;
}

unsigned char* csdk_vframe_ptr(csdk_vframe* frame) { return frame != nullptr ? frame->pixels : nullptr; }

uint32_t csdk_vframe_width(csdk_vframe* frame) { return frame != nullptr ? frame->width : 0; }

uint32_t csdk_vframe_height(csdk_vframe* frame) { return frame != nullptr ? frame->height : 0; }

void csdk_free_vframe(csdk_vframe* frame) {
    if (frame == nullptr) return;
    free(frame->pixels);
    delete frame;
}

int csdk_event_send(const char* payload, int32_t flags, uint32_t length) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (payload == nullptr && length != 0) return kArgument;
    const int result = s.eventFailCode;
    if (!s.eventLog.empty()) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm utc{};
        gmtime_r(&now.tv_sec, &utc);
        char when[96];
        snprintf(when, sizeof(when), "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                 utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec / 1000000);
        FILE* file = fopen(s.eventLog.c_str(), "a");
        if (file != nullptr) {
            fprintf(file, "{\"time\":\"%s\",\"flags\":%d,\"length\":%u,\"result\":%d,\"payload\":\"%s\"}\n", when, flags,
                    length, result, jsonEscape(payload, length).c_str());
            fclose(file);
        } else {
            report("cannot append to event log %s: %s", s.eventLog.c_str(), strerror(errno));
        }
    }
    return result;
}

}  // extern "C"
