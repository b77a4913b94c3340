// pipeline_bench: the camera application's per-frame road (NV21 conversion, then SimpleTracker::process)
// over clip frames held in memory, per resolution: speed, stage timings, memory and allocations.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>  // client requests: no-ops when not run under callgrind
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include "Coordinator.h"
#include "RunCycle.h"
#include "armhf_estimate.h"
#include "SimpleTracker.h"
#include "bench_alloc.h"
#include "bench_stats.h"
#include "csdk_media.h"
#include "csdk_synthetic.h"
#include "kt_image.h"
#include "kt_tick.h"

namespace {

struct Config {
    uint32_t width, height;
    bool colour;
};

// Swallows the chain's alarm lines, so the figures are not mixed with them.
class QuietLogger : public kttl::Logger {
public:
    QuietLogger() { start(); }
    ~QuietLogger() override { stop(kttl::ElapsedTime(5000)); }
    bool output(const kttl::LogType&, const kttl::String&) override { return true; }
};

const Config kConfigs[] = {{640, 480, false}, {1280, 720, false}, {1920, 1080, false}, {176, 144, true}};

// Frames kept in memory per resolution; the clip loops over them. Enough to pass the 5 s start of the
// background comparison at 25 frames per second.
const uint32_t kHeldFrames = 200;
const uint32_t kDefaultFrames = 600;  // timed frames per resolution
const uint32_t kWarmupFrames = 150;   // 6 s of stream: the background model is compared from 5 s on
const int64_t kFrameMs = 40;          // stream step between frames (25 frames per second)
const uint32_t kCountedFrames = 300;  // frames counted under callgrind for the camera estimate

void usage() {
    std::printf(
        "usage: pipeline_bench [clip] [--frames N] [--soak N] [--no-estimate] [--help]\n"
        "  clip        any file or URL FFmpeg reads, scaled to each resolution; the stand-in's synthetic\n"
        "              street scene when none is given\n"
        "  --frames N  timed frames per resolution after %u warm-up frames (default %u)\n"
        "  --soak N    also run N frames at 176x144 colour and report resident-memory growth (0: skip)\n"
        "  --no-estimate  skip the camera estimate (640x480 gray counted under valgrind's callgrind)\n"
        "Runs the frame loop's NV21 conversion and SimpleTracker::process exactly as the application does,\n"
        "at 640x480, 1280x720 and 1920x1080 gray and 176x144 colour, on one thread. Prints per resolution\n"
        "the median and 99th-percentile ms per frame, frames per second, each stage's median, the peak\n"
        "resident memory and the heap allocations per frame, then one line per resolution:\n"
        "  pipeline res=<w>x<h> colour=<0|1> ms=<median> p99=<ms> fps=<n> allocs_per_frame=<n> rss_mb=<n>\n"
        "and last the estimate for a 1 GHz Cortex-A7 from %u frames' instructions:\n"
        "  armhf-estimate res=640x480 insn_per_frame=<n> bytes_per_frame=<n> est_fps=<n>\n",
        kWarmupFrames, kDefaultFrames, kCountedFrames);
}

double rss_mb() {
    // Current resident set from /proc (peak from getrusage is printed separately).
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

double peak_rss_mb() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

// Decodes or renders `count` NV21 frames at the size.
bool load_frames(const std::string& clip, uint32_t width, uint32_t height, uint32_t count,
                 std::vector<std::vector<uint8_t>>& frames, std::string& error) {
    std::unique_ptr<csdk_standin::FrameSource> source;
    if (clip.empty()) {
        source.reset(new csdk_standin::SyntheticScene(false, false, 0));
    } else {
        auto* media = new csdk_standin::MediaSource(clip);
        source.reset(media);
        if (!media->open(error))
            return false;
    }
    if (!source->prepare(static_cast<int>(width), static_cast<int>(height))) {
        error = "cannot serve " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    frames.assign(count, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3 / 2));
    for (uint32_t i = 0; i < count; ++i) {
        auto result = source->next(frames[i].data());
        if (result == csdk_standin::FrameSource::Result::End && source->rewind())
            result = source->next(frames[i].data());
        if (result != csdk_standin::FrameSource::Result::Ok) {
            error = "frame " + std::to_string(i) + ": " + source->lastError();
            return false;
        }
    }
    return true;
}

struct Run {
    std::vector<double> ms;
    uint64_t allocs = 0;
    uint32_t frames = 0;
    uint64_t moving = 0;
    bool ok = true;
};

// Feeds frames from `first` on through the loop's conversion and the tracker; times `timed` of them.
// The whole camera chain: the settings' activity spy in the pipeline, every event through the
// alarm decision, an event service that accepts everything, and ticks that follow the stream.
struct Chain {
    static std::atomic<uint32_t> tick;
    static uint32_t readTick() { return tick.load(); }
    static int accept(const char*, int32_t, uint32_t) { return 0; }
    RunCycle cycle;
    std::unique_ptr<Coordinator> coordinator;
    ktsl::List<Event> events;
    explicit Chain(kttl::Logger& logger) {
        kt_set_tick_source(&readTick);
        ktsl::StringMap<kttl::String> settings;
        const char* const kSettings[][2] = {{"zone_type", "inclusion"}, {"min_distance", "20"}, {"min_age", "1"},
                                            {"min_age_unit", "seconds"}, {"max_width", "60"}, {"max_height", "80"},
                                            {"min_width", "5"}, {"min_height", "11"}, {"sensitivity", "50"},
                                            {"light_sensitivity", "50"}};
        for (const auto& kv : kSettings) settings[kv[0]] = kv[1];
        ktsl::List<ktml::Polygon2D<float>> zones;
        zones.push_back(ktml::Polygon2D<float>{{0, 0.4f}, {1, 0.4f}, {1, 1}, {0, 1}});
        buildRunCycle(settings, zones, ktsl::Set<kttl::String>(), nullptr, cycle);
        coordinator.reset(new Coordinator(0, logger, "bench"));
        coordinator->setEventSender(&accept);
        coordinator->setAlarmFile("");
        coordinator->setEventGracePeriod(cycle.gracePeriod);
        coordinator->setParameters(cycle.params);
    }
    ~Chain() { kt_set_tick_source(nullptr); }
};
std::atomic<uint32_t> Chain::tick{1000000};

Run run_frames(SimpleTracker& tracker, ProcessFrame& frame, kt_image& colour, const Config& c,
               const std::vector<std::vector<uint8_t>>& frames, uint64_t first, uint32_t warmup,
               uint32_t timed, Chain* chain = nullptr) {
    Run run;
    const kttl::TimeStamp start(1700000000, 0);
    for (uint64_t i = first; i < first + warmup + timed; ++i) {
        const bool measured = i >= first + warmup;
        const uint64_t allocsBefore = bench::alloc_count();
        const double t0 = bench::now_ms();
        const int64_t position = static_cast<int64_t>(i) * kFrameMs;
        const bool useColour =
            Coordinator::loadFrame(frame, frames[i % frames.size()].data(), c.width, c.height, c.colour,
                                   colour, start, kttl::ElapsedTime(position));
        bool ok = true;
        if (chain != nullptr) {
            Chain::tick.store(1000000 + static_cast<uint32_t>(position));
            ok = chain->coordinator->track(frame, useColour, chain->events);
            for (const Event& event : chain->events) chain->coordinator->onEvent(event);
        } else {
            ok = tracker.process(frame, useColour);
        }
        const double t1 = bench::now_ms();
        if (!ok)
            run.ok = false;
        if (measured) {
            run.ms.push_back(t1 - t0);
            run.allocs += bench::alloc_count() - allocsBefore;
            unsigned n = 0;
            frame.getUntracked("Moving", n);
            run.moving += n;
            ++run.frames;
        }
    }
    return run;
}

// The counted part of the camera estimate, run under callgrind by the parent: warm-up uninstrumented,
// then kCountedFrames of 640x480 gray through the tracker.
int estimate_child(const std::string& clip) {
    const Config c{640, 480, false};
    std::vector<std::vector<uint8_t>> frames;
    std::string error;
    if (!load_frames(clip, c.width, c.height, kHeldFrames, frames, error)) return 1;
    SimpleTracker tracker(nullptr, 0, false);
    if (!tracker.setParameters(SimpleTracker::Params())) return 1;
    ProcessFrame frame;
    kt_image colour{};
    run_frames(tracker, frame, colour, c, frames, 0, kWarmupFrames, 0);
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    const Run counted = run_frames(tracker, frame, colour, c, frames, kWarmupFrames, 0, kCountedFrames);
    CALLGRIND_DUMP_STATS_AT("counted frames");
    CALLGRIND_STOP_INSTRUMENTATION;
    kt_free_image(&colour);
    return counted.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string clip;
    uint32_t timed = kDefaultFrames;
    uint64_t soak = 100000;
    bool estimate = true;
    if (argc >= 2 && std::strcmp(argv[1], "--estimate-child") == 0) return estimate_child(argc > 2 ? argv[2] : "");
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--no-estimate") {
            estimate = false;
        } else if (a == "--frames" && i + 1 < argc) {
            timed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--soak" && i + 1 < argc) {
            soak = std::strtoull(argv[++i], nullptr, 10);
        } else if (!a.empty() && a[0] == '-') {
            usage();
            return 2;
        } else {
            clip = a;
        }
    }
    std::printf("pipeline_bench: %s, one thread, %u timed frames per resolution, allocation counting %s\n",
                clip.empty() ? "synthetic street scene" : clip.c_str(), timed,
                bench::alloc_counting() ? "on" : "off");

    std::vector<std::string> summary;
    QuietLogger quiet;
    for (const Config& c : kConfigs) {
        std::vector<std::vector<uint8_t>> frames;
        std::string error;
        if (!load_frames(clip, c.width, c.height, kHeldFrames, frames, error)) {
            std::fprintf(stderr, "pipeline_bench: %s\n", error.c_str());
            return 1;
        }
        SimpleTracker tracker(nullptr, 0, false);
        SimpleTracker::Params params;  // the camera application's defaults
        if (!tracker.setParameters(params)) {
            std::fprintf(stderr, "pipeline_bench: %s\n", tracker.getLastError().c_str());
            return 1;
        }
        ProcessFrame frame;
        kt_image colour{};
        const Run run = run_frames(tracker, frame, colour, c, frames, 0, kWarmupFrames, timed);
        const double med = bench::median(run.ms), p99 = percentile(run.ms, 0.99);
        const double fps = med > 0 ? 1000.0 / med : 0;
        const double allocs = run.frames ? static_cast<double>(run.allocs) / run.frames : 0;
        std::printf(
            "\n%ux%u %s: median %.3f ms, p99 %.3f ms, %.0f frames/s, %.2f allocations/frame, %.2f "
            "blobs/frame%s\n",
            c.width, c.height, c.colour ? "colour" : "gray", med, p99, fps, allocs,
            run.frames ? static_cast<double>(run.moving) / run.frames : 0.0,
            run.ok ? "" : " (some frames FAILED)");
        for (const auto& stage : tracker.getStageStats()) {
            std::vector<double> samples = stage.second.samples();
            std::printf("  %-28s median %.3f ms over the last %zu frames\n", stage.first.c_str(),
                        bench::median(samples), samples.size());
        }
        const double rss = peak_rss_mb();
        std::printf("  peak resident memory so far: %.1f MB\n", rss);
        char line[256];
        std::snprintf(
            line, sizeof line,
            "pipeline res=%ux%u colour=%d ms=%.3f p99=%.3f fps=%.0f allocs_per_frame=%.2f rss_mb=%.1f",
            c.width, c.height, c.colour ? 1 : 0, med, p99, fps, allocs, rss);
        summary.push_back(line);
        {
            Chain chain(quiet);
            const Run whole = run_frames(tracker, frame, colour, c, frames, 0, kWarmupFrames, timed, &chain);
            const double ms = bench::median(whole.ms);
            std::snprintf(line, sizeof line, "chain res=%ux%u colour=%d ms=%.3f fps=%.0f alarms=%d", c.width,
                          c.height, c.colour ? 1 : 0, ms, ms > 0 ? 1000.0 / ms : 0.0,
                          chain.coordinator->getAlarmCount());
            summary.push_back(line);
        }
        kt_free_image(&colour);
    }

    if (soak > 0) {
        // A long run at the camera's colour size: resident memory must stay flat after warm-up.
        const Config c{176, 144, true};
        std::vector<std::vector<uint8_t>> frames;
        std::string error;
        if (!load_frames(clip, c.width, c.height, kHeldFrames, frames, error)) {
            std::fprintf(stderr, "pipeline_bench: %s\n", error.c_str());
            return 1;
        }
        SimpleTracker tracker(nullptr, 0, false);
        Chain chain(quiet);  // the whole chain, alarms included
        ProcessFrame frame;
        kt_image colour{};
        const uint64_t warm = 1000;
        run_frames(tracker, frame, colour, c, frames, 0, static_cast<uint32_t>(warm), 0, &chain);
        const double before = rss_mb();
        const uint64_t allocsBefore = bench::alloc_count();
        uint64_t done = warm;
        size_t maxSuppressed = 0;
        while (done < warm + soak) {
            const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(10000, warm + soak - done));
            run_frames(tracker, frame, colour, c, frames, done, chunk, 0, &chain);
            done += chunk;
            maxSuppressed = std::max(maxSuppressed, chain.coordinator->getSuppressedCount());
        }
        const double after = rss_mb();
        std::printf(
            "\nsoak: %llu frames at 176x144 colour: resident %.2f MB -> %.2f MB (growth %.3f MB), %.3f "
            "allocations/frame\n",
            static_cast<unsigned long long>(soak), before, after, after - before,
            static_cast<double>(bench::alloc_count() - allocsBefore) / static_cast<double>(soak));
        char line[160];
        std::snprintf(line, sizeof line, "soak frames=%llu rss_growth_mb=%.3f alarms=%d max_suppressed=%zu",
                      static_cast<unsigned long long>(soak), after - before, chain.coordinator->getAlarmCount(),
                      maxSuppressed);
        summary.push_back(line);
        kt_free_image(&colour);
    }
    if (estimate) {
        uint64_t instructions = 0;
        std::string error;
        // The path itself: under valgrind, /proc/self/exe would name valgrind.
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) error = "cannot find this program's path";
        if (n > 0 && bench::callgrind_instructions(self, clip, instructions, error)) {
            const double perFrame = double(instructions) / kCountedFrames;
            const double bytes = bench::gray_pipeline_bytes(640, 480);
            std::printf(
                "\ncamera estimate, 640x480 gray: %.0f instructions per frame (%.1f per pixel, x86-64 under callgrind, "
                "%u frames), %.1f MB streamed per frame; assumed %.2f instructions per cycle at %.0f MHz and %.1f GB/s, "
                "compute and memory time added\n",
                perFrame, perFrame / (640.0 * 480.0), kCountedFrames, bytes / 1e6, bench::kA7InstructionsPerCycle,
                bench::kA7Hz / 1e6, bench::kA7BytesPerSecond / 1e9);
            summary.push_back(bench::estimate_line(640, 480, perFrame, bytes));
        } else {
            std::printf("\ncamera estimate skipped: %s\n", error.c_str());
        }
    }
    std::printf("\n");
    for (const auto& line : summary) std::printf("%s\n", line.c_str());
    return 0;
}
