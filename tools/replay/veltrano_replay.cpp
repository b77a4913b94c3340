// veltrano_replay: runs the camera's settings over a recorded clip or the synthetic scene, as fast as
// the machine allows, and lists the alarms the camera would have raised.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AlarmScore.h"
#include "AppFiles.h"
#include "ReplayRun.h"
#include "csdk_config.h"
#include "csdk_media.h"
#include "csdk_synthetic.h"

namespace {

const char* const kUsage =
    "usage: veltrano_replay --settings FILE [options]\n"
    "Runs a settings file (the XML the camera reads, zones included) over a clip through the camera's\n"
    "own pipeline and alarm logic, on the clip's own times, and lists the alarms it would raise.\n"
    "  --settings FILE   the settings document (required)\n"
    "  --source SPEC     a video file or URL, or synthetic[:night][:lightchange] (default synthetic)\n"
    "  --seconds N       stop after N seconds of clip time (synthetic scene: default 60)\n"
    "  --size WxH        frame size to process (default: the settings' video_resolution, else 352x288)\n"
    "  --night           process as the camera does at night (gray even for small frames)\n"
    "  --snapshots DIR   write DIR/alarm_NNNN.jpg per alarm: its objects boxed red, inclusion zones\n"
    "                    yellow, exclusion zones blue\n"
    "  --events FILE     write every event the spies report, one XML form per line\n"
    "  --digest FILE     write one line per frame fingerprinting its mask, blobs, objects and events\n"
    "                    (compare two platforms or builds with cmp)\n"
    "  --frames N        stop after N frames\n"
    "  --score           synthetic scene only: judge the alarms against the scene's movers and end\n"
    "                    with 'alarms scene=.. res=WxH recall=.. precision=.. delay_ms=..'\n"
    "  --help            this text\n"
    "Output: a progress line on standard error each second, then a table of the alarms and the line\n"
    "'replay frames=N fps=N events=N alarms=N'. Exit status 0, or 1 on bad options or input.\n";

// Log lines of the pipeline go straight to standard error (the logger thread is never started).
class StderrLogger : public kttl::Logger {
public:
    StderrLogger() : kttl::Logger("") {}
    bool output(const kttl::LogType&, const kttl::String& line) override {
        std::fputs(line.c_str(), stderr);
        return true;
    }
};

int fail(const std::string& message) {
    std::fprintf(stderr, "veltrano_replay: %s\n", message.c_str());
    return 1;
}

std::string clipTime(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string settingsPath, sourceText = "synthetic", snapshots, eventsPath, digestPath;
    double seconds = -1;
    long long maxFrames = -1;
    int width = 0, height = 0;
    bool night = false, score = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--settings" && hasValue) {
            settingsPath = argv[++i];
        } else if (arg == "--source" && hasValue) {
            sourceText = argv[++i];
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
                return fail("bad --size (want WxH)");
            }
        } else if (arg == "--snapshots" && hasValue) {
            snapshots = argv[++i];
        } else if (arg == "--events" && hasValue) {
            eventsPath = argv[++i];
        } else if (arg == "--digest" && hasValue) {
            digestPath = argv[++i];
        } else if (arg == "--frames" && hasValue) {
            maxFrames = std::atoll(argv[++i]);
            if (maxFrames <= 0) return fail("bad --frames (want a positive count)");
        } else if (arg == "--night") {
            night = true;
        } else if (arg == "--score") {
            score = true;
        } else {
            std::fputs(kUsage, stderr);
            return fail("unknown option or missing value: " + arg);
        }
    }
    if (settingsPath.empty()) {
        std::fputs(kUsage, stderr);
        return fail("--settings is required");
    }
    std::string settingsText;
    if (AppFiles::readWhole(settingsPath.c_str(), AppFiles::kMaxSettingsBytes, settingsText) != AppFiles::ReadResult::Ok) {
        return fail("cannot read " + settingsPath);
    }

    StderrLogger logger;
    ReplayRun run(logger);
    std::string error;
    if (!run.configure(settingsText, width, height, error)) return fail(settingsPath + ": " + error);
    run.setNight(night);

    csdk_standin::SourceSpec spec;
    if (!csdk_standin::parseSource(sourceText.c_str(), spec, error)) return fail(error);
    if (score && !spec.synthetic) return fail("--score needs the synthetic scene");
    std::unique_ptr<csdk_standin::FrameSource> source;
    csdk_standin::MediaSource* media = nullptr;
    csdk_standin::SyntheticScene* scene = nullptr;
    if (spec.synthetic) {
        if (seconds < 0) seconds = 60;
        scene = new csdk_standin::SyntheticScene(spec.night, spec.lightchange, spec.frames);
        source.reset(scene);
    } else {
        media = new csdk_standin::MediaSource(spec.location);
        source.reset(media);
        if (!media->open(error)) return fail(error);
    }
    if (!source->prepare(run.width(), run.height())) return fail("the source cannot give " + std::to_string(run.width()) + "x" + std::to_string(run.height()));
    const double fps = source->nominalFps() > 0 ? source->nominalFps() : 25.0;

    if (!snapshots.empty()) {
        mkdir(snapshots.c_str(), 0755);
        run.setSnapshotDir(snapshots);
    }
    FILE* events = nullptr;
    if (!eventsPath.empty()) {
        events = std::fopen(eventsPath.c_str(), "w");
        if (events == nullptr) return fail("cannot write " + eventsPath);
        run.setEventStream(events);
    }
    FILE* digest = nullptr;
    if (!digestPath.empty()) {
        digest = std::fopen(digestPath.c_str(), "w");
        if (digest == nullptr) return fail("cannot write " + digestPath);
        run.setDigestStream(digest);
    }
    std::unique_ptr<AlarmScore> judge;
    if (score) judge.reset(new AlarmScore(*scene, run.cycle(), run.width(), run.height()));

    std::vector<uint8_t> nv21(static_cast<size_t>(run.width()) * run.height() * 3 / 2);
    const auto start = std::chrono::steady_clock::now();
    auto nextReport = start + std::chrono::seconds(1);
    int64_t clipMs = 0, lastMs = -1;
    for (uint64_t index = 0;; ++index) {
        if (maxFrames >= 0 && index >= static_cast<unsigned long long>(maxFrames)) break;
        const csdk_standin::FrameSource::Result result = source->next(nv21.data());
        if (result == csdk_standin::FrameSource::Result::End) break;
        if (result == csdk_standin::FrameSource::Result::Error) return fail(source->lastError());
        const double t = media != nullptr && media->lastTime() >= 0 ? media->lastTime() : index / fps;
        clipMs = std::max<int64_t>(static_cast<int64_t>(t * 1000.0 + 0.5), lastMs < 0 ? 0 : lastMs);
        if (seconds >= 0 && clipMs >= seconds * 1000.0) break;
        lastMs = clipMs;
        if (judge) judge->observe(clipMs);
        run.feed(nv21.data(), clipMs);
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextReport) {
            const double wall = std::chrono::duration<double>(now - start).count();
            std::fprintf(stderr, "replay: %llu frames, %.0f frames/s, %zu alarms, clip %s\n",
                         static_cast<unsigned long long>(run.frames()), run.frames() / wall, run.alarms().size(),
                         clipTime(clipMs).c_str());
            nextReport = now + std::chrono::seconds(1);
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (events != nullptr) std::fclose(events);
    if (digest != nullptr && std::fclose(digest) != 0) return fail("cannot write " + digestPath);

    std::printf("%-6s %-13s %-10s %s\n", "alarm", "clip_time", "confidence", "object_ids");
    for (const ReplayAlarm& a : run.alarms()) {
        std::string ids;
        for (int id : a.ids) ids += (ids.empty() ? "" : ",") + std::to_string(id);
        std::printf("%-6d %-13s %-10d %s\n", a.number, clipTime(a.clipMs).c_str(), a.confidence, ids.c_str());
    }
    std::printf("replay frames=%llu fps=%.0f events=%llu alarms=%zu\n", static_cast<unsigned long long>(run.frames()),
                wall > 0 ? run.frames() / wall : 0.0, static_cast<unsigned long long>(run.events()), run.alarms().size());
    if (judge) {
        const AlarmScore::Result r = judge->score(run.alarms(), lastMs);
        std::string name = "synthetic";
        if (spec.night) name += ":night";
        if (spec.lightchange) name += ":lightchange";
        std::printf("truth: %d qualifying passes, %d alarmed in time; %d of %d alarms right\n", r.qualifying, r.alarmed,
                    r.rightAlarms, r.alarms);
        std::printf("alarms scene=%s res=%dx%d recall=%.3f precision=%.3f delay_ms=%lld\n", name.c_str(), run.width(),
                    run.height(), r.recall(), r.precision(), static_cast<long long>(r.medianDelayMs));
    }
    return 0;
}
