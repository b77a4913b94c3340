// kt_detection_bench: times the per-frame detection path (frame differencing, background comparison,
// thresholding, morphology, connected components, background learning) in the gray, blue-green-red
// and lightness-chroma modes, counts heap allocations per stage in steady state, compares with
// OpenCV's MOG2 path, and measures the connected components on worst-case full-HD masks.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_alloc.h"
#include "bench_clip.h"
#include "bench_mog2.h"
#include "bench_stats.h"
#include "kt_background.h"
#include "kt_detection.h"
#include "kt_morphology.h"
#include "kt_process.h"
#include "kt_threshold.h"
#include "ktil_Conversion.h"

namespace {

/* The pipeline's settings: sensitivity 0.5 gives the background threshold 26 and the detector's
 * change threshold 42; the detector keeps N = 4 motion images with a 5 x 5 square element; the model
 * learns at most once per 500 ms of stream. */
const uint32_t kBackgroundThreshold = 26;
const float kDetectorSensitivity = 0.5f;
const uint32_t kKernelSide = 5;
const uint32_t kMotionImages = 4;
const double kUpdateIntervalMs = 500.0;
/* Frames fed before measuring: the detector's warm-up and a trained model. */
const uint32_t kWarmFrames = 12;

const char kUsage[] =
    "usage: kt_detection_bench [options] [clip]\n"
    "\n"
    "Times the detection path per frame on a clip held in memory: any file FFmpeg decodes, or a\n"
    "synthetic street scene when no clip is given. For each mode (gray, bgr, lab) it runs\n"
    "kt_process, (bgr2lab,) kt_background_compare, kt_threshold_gray, four 3x3 morphology passes,\n"
    "kt_conncomp_process and kt_background_update, and prints per stage the median ms per frame,\n"
    "heap allocations per frame in steady state, and the floor: the bytes the stage must read and\n"
    "write over the memcpy bandwidth measured again right after each mode's timed passes (a shared\n"
    "host's speed drifts, and the floor should see the same machine as the stages). OpenCV's MOG2\n"
    "(one thread, default parameters, shadows on and off) followed by a 3x3 open, close and\n"
    "connectedComponentsWithStats is timed on the same frames. Then connected components run on\n"
    "worst-case 1920x1080 masks.\n"
    "\n"
    "options:\n"
    "  --frames N      frames to hold in memory (default 100)\n"
    "  --size WxH      scale the clip, or size the synthetic scene (default 768x576 / clip size)\n"
    "  --passes N      timed passes over the frames (default 2)\n"
    "  --fps F         stream rate for the learning cadence when the clip has none (default 25)\n"
    "  --no-mog2       skip the OpenCV comparison\n"
    "  --no-worst-case skip the worst-case connected components\n"
    "  --mode M        run one mode only: gray, bgr or lab (default all three)\n"
    "  --help          this text\n"
    "\n"
    "The last lines, one per mode:\n"
    "  mode=<gray|bgr|lab> width=<w> height=<h> path_ms=<p> update_ms=<u> mog2_ms=<m|none>\n"
    "  ratio=<m/p|none> allocs_per_frame=<n>\n"
    "path_ms is the median per frame of the path without learning plus update_ms times the share of\n"
    "frames that learn at the pipeline's cadence (one update per 500 ms of stream); update_ms is the\n"
    "median of one whole-frame kt_background_update; mog2_ms is the faster of the two MOG2 variants\n"
    "(shadows off), so the ratio is the conservative one; allocs_per_frame is the heap allocations\n"
    "of all stages per frame over the timed passes (learning per update call), after two untimed\n"
    "passes that let every buffer reach its size.\n";

struct Options {
    std::string clip;
    uint32_t frames = 100;
    uint32_t width = 0, height = 0;
    uint32_t passes = 2;
    double fps = 0.0;
    bool mog2 = true;
    bool worst_case = true;
    int only_mode = -1;  // -1: every mode
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--frames") {
            o.frames = uint32_t(std::max(1, std::atoi(value("--frames"))));
        } else if (a == "--size") {
            if (std::sscanf(value("--size"), "%ux%u", &o.width, &o.height) != 2 || o.width < 4 ||
                o.height < 4) {
                std::fprintf(stderr, "--size wants WxH, both at least 4\n");
                return false;
            }
        } else if (a == "--passes") {
            o.passes = uint32_t(std::max(1, std::atoi(value("--passes"))));
        } else if (a == "--fps") {
            o.fps = std::atof(value("--fps"));
        } else if (a == "--no-mog2") {
            o.mog2 = false;
        } else if (a == "--no-worst-case") {
            o.worst_case = false;
        } else if (a == "--mode") {
            const std::string m = value("--mode");
            o.only_mode = m == "gray" ? 0 : m == "bgr" ? 1 : m == "lab" ? 2 : -2;
            if (o.only_mode == -2) {
                std::fprintf(stderr, "--mode wants gray, bgr or lab\n");
                return false;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "unknown option %s (see --help)\n", a.c_str());
            return false;
        } else {
            o.clip = a;
        }
    }
    return true;
}

// A kt_image over memory the benchmark owns (never freed through the record).
kt_image view(const std::vector<unsigned char>& bytes, uint32_t w, uint32_t h, uint32_t channels) {
    return kt_image{const_cast<unsigned char*>(bytes.data()), w, h, channels, w * h * channels};
}

// An owned kt_image.
struct Image {
    kt_image img{nullptr, 0, 0, 0, 0};
    Image(uint32_t w, uint32_t h, uint32_t c, unsigned char fill = 0) { kt_resize_image(&img, w, h, c, fill); }
    ~Image() { kt_free_image(&img); }
};

enum Stage { kProcess, kLab, kCompare, kThreshold, kMorphology, kComponents, kUpdate, kStages };
const char* const kStageNames[kStages] = {"kt_process",        "bgr2lab",
                                          "kt_background_compare", "kt_threshold_gray",
                                          "CloseImage",        "kt_conncomp_process",
                                          "kt_background_update"};

struct ModeResult {
    const char* name;
    double bandwidth = 0;  // memcpy bytes per ms right after the timed passes
    double stage_ms[kStages] = {};
    double stage_allocs[kStages] = {};
    double floor_ms[kStages] = {};
    double path_no_update_ms = 0.0;   // median per frame, learning excluded
    double path_every_frame_ms = 0.0; // median per frame, learning every frame
    double update_ms = 0.0;
    double path_ms = 0.0;             // learning at the pipeline's cadence
    double allocs_per_frame = 0.0;
    double blobs_per_frame = 0.0;
    // The model's bytes per pixel: full records, the compact view the comparisons read, edge state.
    size_t record_bytes = 0, view_bytes = 0, edge_bytes = 0;
    bench::Mog2Result mog2_on, mog2_off;
};

// Bytes a stage must move per frame (reads plus writes) for P pixels, from the buffers it touches:
// the comparisons read the model's compact view (4 bytes per gray pixel, 12 per colour pixel), the
// update reads and writes the 32-byte Gaussian of every channel and writes the view; byte images
// otherwise.
double stage_bytes(Stage s, int mode, double p) {
    const double channels = mode == 0 ? 1 : 3, frame = mode == 0 ? 1 : 4;
    const double view = double(kt_bg_view_bytes_per_pixel(mode));
    switch (s) {
        // change test and copy (frame, previous read, previous written, motion written), running
        // sum and threshold (5), erosion (4), copy to the output (2)
        case kProcess: return p * ((3 * frame + 1) + 5 + 4 + 2);
        case kLab: return mode == 2 ? 8 * p : 0;
        case kCompare:  // lightness-chroma: two passes, the second reading back the first's bytes
            return mode == 2 ? p * ((4 + view + 1) + (4 + view + 2)) : p * (frame + view + 1);
        case kThreshold: return 2 * p;
        case kMorphology: return 16 * p;
        case kComponents: return p;
        case kUpdate: return p * (frame + 1 + 64 * channels + view);
        default: return 0;
    }
}

ModeResult run_mode(const bench::Clip& clip, int mode, const Options& o) {
    static const char* const names[] = {"gray", "bgr", "lab"};
    ModeResult r;
    r.name = names[mode];
    r.record_bytes = sizeof(kt_distribution) * (mode == 0 ? 1 : 3);
    r.view_bytes = kt_bg_view_bytes_per_pixel(mode);
    r.edge_bytes = sizeof(kt_running_avg) + sizeof(uint32_t);
    const uint32_t w = clip.width, h = clip.height, n = uint32_t(clip.bgra.size());

    kt_detection det{};
    kt_background model{};
    if (!kt_detection_init(kDetectorSensitivity, kKernelSide, kKernelSide, KT_KERNEL_SQUARE,
                           kMotionImages, &det) ||
        !kt_background_init(&model, w, h, mode)) {
        std::fprintf(stderr, "cannot set up the detection records\n");
        std::exit(1);
    }
    unsigned char table[256];
    kt_threshold_inittable(table, 256, kBackgroundThreshold);
    Image processed(w, h, 1), work(w, h, 1), peripheral(w, h, 1), diff(w, h, 1), lab(w, h, 4);
    Image activity(w, h, 1, 255);

    // One frame through the path; t receives the stage times, a the allocations per stage.
    auto step = [&](uint32_t i, bool learn, double* t, uint64_t* a) {
        kt_image gray = view(clip.gray[i], w, h, 1);
        kt_image colour = view(clip.bgra[i], w, h, 4);
        kt_image* frame = mode == 0 ? &gray : &colour;
        kt_image* modelled = mode == 0 ? &gray : (mode == 1 ? &colour : &lab.img);
        uint64_t mark = bench::alloc_count();
        double start = bench::now_ms();
        auto lap = [&](Stage s) {
            const double end = bench::now_ms();
            const uint64_t count = bench::alloc_count();
            t[s] = end - start;
            a[s] = count - mark;
            start = end;
            mark = count;
        };
        bool ok = kt_process(frame, &processed.img, &peripheral.img, &det) == 1;
        lap(kProcess);
        if (mode == 2) ktil::Conversion::bgr2lab(colour, lab.img);
        lap(kLab);
        uint32_t count = 0;
        ok = ok && kt_background_compare(&model, modelled, nullptr, 0, &diff.img, &count) == 1;
        lap(kCompare);
        ok = ok && kt_threshold_gray(table, 256, &diff.img, &processed.img) == 1;
        lap(kThreshold);
        ok = ok && kt_dilate_image(&processed.img, &processed.img, &work.img) == 1 &&
             kt_erode_image(&processed.img, &processed.img, &work.img) == 1 &&
             kt_erode_image(&processed.img, &processed.img, &work.img) == 1 &&
             kt_dilate_image(&processed.img, &processed.img, &work.img) == 1;
        lap(kMorphology);
        kt_vertex* blobs = nullptr;
        uint32_t blob_count = 0;
        ok = ok && kt_conncomp_process(&processed.img, 255, &det.conncomp, &det.kernel, &blobs,
                                       &blob_count) == 1;
        kt_free_vertices(&blobs);
        lap(kComponents);
        r.blobs_per_frame += blob_count;
        if (learn)
            ok = ok && kt_background_update(&model, mode == 0 ? &gray : nullptr,
                                            mode == 0 ? nullptr : modelled, &activity.img) == 1;
        lap(kUpdate);
        if (!ok) {
            std::fprintf(stderr, "a stage failed in mode %s\n", r.name);
            std::exit(1);
        }
    };

    // The pipeline learns on the first frame more than 500 ms after the last learning.
    const double fps = o.fps > 0 ? o.fps : clip.fps;
    const uint32_t frames_per_update = uint32_t(std::floor(kUpdateIntervalMs / (1000.0 / fps))) + 1;
    uint64_t frame_number = 0;
    auto learns = [&]() { return frame_number++ % frames_per_update == 0; };

    double t[kStages];
    uint64_t a[kStages];
    for (uint32_t i = 0; i < kWarmFrames; ++i) step(i % n, true, t, a);  // a trained model
    // Two untimed passes at the learning cadence: every buffer, the label graph and the result-node
    // pool reach the size the clip needs.
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t i = 0; i < n; ++i) step(i, learns(), t, a);
    r.blobs_per_frame = 0;

    // Timed passes at the cadence: the stages, the path without learning, and every update.
    std::vector<double> samples[kStages], without_update, every_frame, updates;
    double allocs[kStages] = {};
    for (uint32_t pass = 0; pass < o.passes; ++pass)
        for (uint32_t i = 0; i < n; ++i) {
            const bool learn = learns();
            step(i, learn, t, a);
            double total = 0;
            for (int s = 0; s < kStages; ++s) {
                if (s != kUpdate) samples[s].push_back(t[s]);
                allocs[s] += double(a[s]);
                total += t[s];
            }
            if (learn) updates.push_back(t[kUpdate]);
            without_update.push_back(total - t[kUpdate]);
        }
    const double frames = double(o.passes) * n;
    r.bandwidth = bench::copy_bandwidth_bytes_per_ms();
    r.blobs_per_frame /= frames;
    // One more pass learning on every frame: the learning stage's own figures.
    for (uint32_t i = 0; i < n; ++i) {
        step(i, true, t, a);
        double total = 0;
        for (int s = 0; s < kStages; ++s) total += t[s];
        updates.push_back(t[kUpdate]);
        every_frame.push_back(total);
        allocs[kUpdate] += double(a[kUpdate]);
    }
    samples[kUpdate] = updates;
    const double p = double(w) * h;
    for (int s = 0; s < kStages; ++s) {
        r.stage_ms[s] = bench::median(samples[s]);
        r.stage_allocs[s] = allocs[s] / (s == kUpdate ? frames + n : frames);
        r.floor_ms[s] = stage_bytes(Stage(s), mode, p) / r.bandwidth;
        r.allocs_per_frame += r.stage_allocs[s];
    }
    r.update_ms = r.stage_ms[kUpdate];
    r.path_no_update_ms = bench::median(without_update);
    r.path_every_frame_ms = bench::median(every_frame);
    r.path_ms = r.path_no_update_ms + r.update_ms / frames_per_update;

    kt_background_deinit(&model);
    kt_detection_deinit(&det);
    kt_vertex_pool_release();

    if (o.mog2) {
        r.mog2_on = bench::run_mog2(clip, mode != 0, true, kWarmFrames, o.passes);
        r.mog2_off = bench::run_mog2(clip, mode != 0, false, kWarmFrames, o.passes);
    }
    return r;
}

void print_mode(const ModeResult& r, double frames_per_update) {
    std::printf("\n== mode %s == (floors at %.2f GB/s memcpy, measured after the timed passes)\n",
                r.name, r.bandwidth / 1e6);
    std::printf("%-24s %10s %12s %10s %9s\n", "stage", "median ms", "allocs/frame", "floor ms",
                "x floor");
    for (int s = 0; s < kStages; ++s) {
        if (s == kLab && std::strcmp(r.name, "lab") != 0) continue;
        std::printf("%-24s %10.3f %12.2f %10.3f %9.1f\n", kStageNames[s], r.stage_ms[s],
                    r.stage_allocs[s], r.floor_ms[s],
                    r.floor_ms[s] > 0 ? r.stage_ms[s] / r.floor_ms[s] : 0.0);
    }
    double floor_total = 0;
    for (int s = 0; s < kStages; ++s) floor_total += s == kUpdate ? 0 : r.floor_ms[s];
    std::printf("path without learning    %10.3f ms (floor %.3f ms)\n", r.path_no_update_ms,
                floor_total);
    std::printf("path, learning per frame %10.3f ms\n", r.path_every_frame_ms);
    std::printf("path, learning at cadence %9.3f ms (one update per %.0f frames)\n", r.path_ms,
                frames_per_update);
    std::printf("blobs per frame          %10.1f\n", r.blobs_per_frame);
    std::printf("model bytes per pixel    %10zu (records %zu, compact view %zu, edges %zu); the "
                "comparison reads %zu\n",
                r.record_bytes + r.view_bytes + r.edge_bytes, r.record_bytes, r.view_bytes,
                r.edge_bytes, r.view_bytes);
    if (r.mog2_on.available) {
        for (const bench::Mog2Result* m : {&r.mog2_on, &r.mog2_off})
            std::printf("MOG2 shadows %-3s: subtract %.3f, open+close %.3f, components %.3f, path %.3f ms"
                        " (%.1f allocs/frame); ratio %.2f\n",
                        m == &r.mog2_on ? "on" : "off", m->subtract_ms, m->morphology_ms,
                        m->components_ms, m->path_ms, m->allocs_per_frame, m->path_ms / r.path_ms);
        std::printf("one whole-frame update %.3f ms vs one MOG2 frame %.3f ms (shadows off)\n",
                    r.update_ms, r.mog2_off.subtract_ms);
    } else {
        std::printf("MOG2: not measured (built without OpenCV or --no-mog2)\n");
    }
}

// Connected components on a 1920x1080 mask built to maximise provisional labels for an element.
void worst_case() {
    const uint32_t w = 1920, h = 1080;
    struct Case {
        const char* name;
        uint32_t side, type;
        int pattern;  // 0: dots every `step` pixels, 1: diagonal lattice (2,2)/(2,-2), 2: all set
        uint32_t step;
    };
    const Case cases[] = {
        {"5x5 square, dots every 3 px", 5, KT_KERNEL_SQUARE, 0, 3},
        {"5x5 ellipse, diagonal lattice", 5, KT_KERNEL_ELLIPSE, 1, 0},
        {"11x11 square, dots every 6 px", 11, KT_KERNEL_SQUARE, 0, 6},
        {"1x1 element, every pixel set", 1, KT_KERNEL_SQUARE, 2, 0},
    };
    std::printf("\n== connected components, worst-case %ux%u masks ==\n", w, h);
    for (const Case& c : cases) {
        Image mask(w, h, 1);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                bool on = false;
                if (c.pattern == 0) on = x % c.step == 0 && y % c.step == 0;
                if (c.pattern == 1) on = y % 2 == 0 && (x + (y % 4 == 2 ? 2 : 0)) % 4 == 0;
                if (c.pattern == 2) on = true;
                mask.img.data[size_t(y) * w + x] = on ? 255 : 0;
            }
        kt_conncomp state{};
        kt_kernel kernel{};
        kt_conncomp_init(64, &state);
        kt_init_kernel(&kernel, c.side, c.side, c.type);
        kt_vertex* blobs = nullptr;
        uint32_t count = 0;
        const uint64_t base = bench::live_bytes();
        bench::reset_peak();
        const double start = bench::now_ms();
        const int ok = kt_conncomp_process(&mask.img, 255, &state, &kernel, &blobs, &count);
        const double ms = bench::now_ms() - start;
        const double peak_mb = double(bench::peak_bytes() - base) / (1 << 20);
        const uint32_t labels = state.graph->count, capacity = state.graph->capacity;
        // What a capacity x capacity matrix of 32-bit flags would have taken.
        const double dense_gib = double(capacity) * capacity * 4.0 / (1ull << 30);
        char peak[48] = "n/a (no allocation counting)";
        if (bench::alloc_counting()) std::snprintf(peak, sizeof peak, "%.1f MiB", peak_mb);
        std::printf("%-32s ok=%d labels=%u blobs=%u %.1f ms peak heap %s "
                    "(result list included; a dense matrix would need %.0f GiB)\n",
                    c.name, ok, labels, count, ms, peak, dense_gib);
        kt_free_vertices(&blobs);
        kt_vertex_pool_release();
        kt_conncomp_deinit(&state);
        kt_free_kernel(&kernel);
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("process peak resident set %.1f MiB (frames held in memory included)\n",
                usage.ru_maxrss / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return 2;
    bench::Clip clip;
    if (o.clip.empty()) {
        bench::synthetic_clip(o.width ? o.width : 768, o.height ? o.height : 576, o.frames, clip);
    } else {
        std::string error;
        if (!bench::load_clip(o.clip, o.width, o.height, o.frames, clip, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    const double bandwidth = bench::copy_bandwidth_bytes_per_ms();
    const double fps = o.fps > 0 ? o.fps : clip.fps;
    const double frames_per_update = std::floor(kUpdateIntervalMs / (1000.0 / fps)) + 1;
    std::printf("clip %s: %ux%u, %zu frames in memory, %.2f fps; %u timed passes\n",
                clip.source.c_str(), clip.width, clip.height, clip.bgra.size(), fps, o.passes);
    std::printf("cores %u; memcpy bandwidth %.2f GB/s (read + write); allocation counting %s; "
                "OpenCV %s\n",
                std::thread::hardware_concurrency(), bandwidth / 1e6,
                bench::alloc_counting() ? "on" : "off (sanitizer build)",
#ifdef KT_BENCH_OPENCV
                o.mog2 ? "on, 1 thread" : "skipped"
#else
                "not built in"
#endif
    );

    std::vector<ModeResult> results;
    for (int mode = 0; mode <= 2; ++mode) {
        if (o.only_mode >= 0 && mode != o.only_mode) continue;
        results.push_back(run_mode(clip, mode, o));
        print_mode(results.back(), frames_per_update);
    }
    if (o.worst_case) worst_case();

    std::printf("\n");
    for (const ModeResult& r : results) {
        char mog2[32] = "none", ratio[32] = "none";
        if (r.mog2_off.available) {
            std::snprintf(mog2, sizeof mog2, "%.3f", r.mog2_off.path_ms);
            std::snprintf(ratio, sizeof ratio, "%.2f", r.mog2_off.path_ms / r.path_ms);
        }
        std::printf("mode=%s width=%u height=%u path_ms=%.3f update_ms=%.3f mog2_ms=%s ratio=%s "
                    "allocs_per_frame=%.2f\n",
                    r.name, clip.width, clip.height, r.path_ms, r.update_ms, mog2, ratio,
                    r.allocs_per_frame);
    }
    return 0;
}
