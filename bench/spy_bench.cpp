// spy_bench: the cost per frame of each line, zone, object-taken and object spy with 0, 10 and 100
// scripted objects, the pixel spies over large regions, the region-mask rebuild, the frame copies
// of pending entrants, and a long soak that must keep resident memory flat.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CrowdDensity.h"
#include "Direction.h"
#include "EnterExit.h"
#include "Idle.h"
#include "LineCrossingSpy.h"
#include "ObjectSpy.h"
#include "ObjectTakenSpy.h"
#include "Perimeter.h"
#include "Speed.h"
#include "bench_alloc.h"
#include "bench_stats.h"

namespace {

const int64_t kFrameMs = 40;
const int kWarmup = 50;
const int kFrames = 400;
typedef ktml::Polygon2D<float> Poly;
const Poly kRightHalf{{0.5f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.5f, 1.f}};

std::vector<std::string> g_summary;

kttl::TimeStamp stamp(int i) { return kttl::TimeStamp(1700000000 + i / 25, (i % 25) * 40); }

// Object i walks its own row left to right, wrapping; all confirmed, labelled human.
void placeObjects(ProcessFrame& frame, int count, int index, int width, int height) {
    ObjectMap& objects = frame.getObjects();
    for (int i = 0; i < count; ++i) {
        const unsigned id = static_cast<unsigned>(i + 1);
        Object* o = objects.findObject(id);
        if (o == nullptr) {
            Object fresh("Moving", kttl::ElapsedTime(3000));
            fresh.setId(id);
            fresh.setTrackStatus(3);
            fresh.addClass("human");
            fresh.getClassConfidences()["human"] = kttl::Double(0.9);
            o = &objects.addObject(fresh);
        }
        const int x = (i * 37 + index * 3) % std::max(1, width - 40);
        const int y = (i * 23) % std::max(1, height - 60);
        o->insert(ktml::BoundingBox<int>(x, y, 30, 50), ktsl::List<kttl::Integer>(), stamp(index));
    }
}

struct Images {
    kt_image gray{};
    explicit Images(int w, int h) {
        kt_init_image(&gray, unsigned(w), unsigned(h), 1);
        std::mt19937 rng(3);
        for (size_t i = 0; i < gray.size; ++i) gray.data[i] = static_cast<unsigned char>(rng() & 0xff);
    }
    ~Images() { kt_free_image(&gray); }
};

// Runs `spy` over kFrames frames; prints and records its line.
void timeSpy(FrameEventSpy& spy, const char* name, int objects, int width, int height, bool images) {
    ProcessFrame frame;
    Images pictures(images ? width : 1, images ? height : 1);
    frame.setResolution(ktvl::Resolution(width, height));
    std::vector<double> us;
    uint64_t allocs = 0;
    std::list<Event> events;
    for (int i = 0; i < kWarmup + kFrames; ++i) {
        frame.setTimePosition(stamp(i), kttl::ElapsedTime(i * kFrameMs));
        placeObjects(frame, objects, i, width, height);
        if (images) {
            frame.setImage("Native Image", pictures.gray, Frame::kGray);
            frame.setImage("Processed Image", pictures.gray, Frame::kGray);
        }
        const uint64_t a0 = bench::alloc_count();
        const double t0 = bench::now_ms();
        spy.spy(frame);
        const double t1 = bench::now_ms();
        const uint64_t a1 = bench::alloc_count();
        events.clear();
        spy.getEvents(events);
        if (i >= kWarmup) {
            us.push_back((t1 - t0) * 1000.0);
            allocs += a1 - a0;
        }
    }
    std::sort(us.begin(), us.end());
    const double p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    char line[200];
    std::snprintf(line, sizeof line, "spy type=%s objects=%d res=%dx%d us=%.2f p99=%.2f allocs_per_frame=%.2f", name,
                  objects, width, height, bench::median(us), p99, double(allocs) / kFrames);
    std::printf("%s\n", line);
    g_summary.push_back(line);
}

std::vector<std::pair<std::string, std::function<std::unique_ptr<FrameEventSpy>()>>> kinds() {
    typedef std::unique_ptr<FrameEventSpy> P;
    return {
        {"LineCrossingSpy",
         [] {
             auto s = std::make_unique<LineCrossingSpy>("l", "");
             s->setLineSegment(ktml::LineSegment2D<float>(0.5f, 0.f, 0.5f, 1.f));
             return P(std::move(s));
         }},
        {"DirectionSpy", [] { return P(new Direction("d", "", 0, 30, kttl::ElapsedTime(2000), 10)); }},
        {"SpeedSpy",
         [] {
             auto s = std::make_unique<Speed>("s", "");
             s->setDistance(100);
             s->setSpeedLimit(50);
             s->setSegments(ktml::LineSegment2D<float>(0.25f, 0.f, 0.25f, 1.f),
                            ktml::LineSegment2D<float>(0.75f, 0.f, 0.75f, 1.f));
             return P(std::move(s));
         }},
        // The same crossings with a limit nobody exceeds: the spy's own cost without its events, each
        // of which copies the frame with every object's history.
        {"SpeedSpy/under-limit",
         [] {
             auto s = std::make_unique<Speed>("s", "");
             s->setDistance(100);
             s->setSpeedLimit(1000);
             s->setSegments(ktml::LineSegment2D<float>(0.25f, 0.f, 0.25f, 1.f),
                            ktml::LineSegment2D<float>(0.75f, 0.f, 0.75f, 1.f));
             return P(std::move(s));
         }},
        {"EnterExitSpy",
         [] {
             auto s = std::make_unique<EnterExit>("e", "", EnterExit::Both, EnterExit::Both);
             s->setZones({kRightHalf});
             return P(std::move(s));
         }},
        {"PerimeterSpy",
         [] {
             auto s = std::make_unique<Perimeter>("p", "", 0.5);
             s->setRegions({kRightHalf});
             return P(std::move(s));
         }},
        {"IdleSpy", [] { return P(new Idle("i", "", kttl::ElapsedTime(5000), 10)); }},
        {"CrowdDensitySpy",
         [] {
             auto s = std::make_unique<CrowdDensity>("c", "", 0.3f, kttl::ElapsedTime(5000));
             s->setRegions({kRightHalf});
             return P(std::move(s));
         }},
        {"ObjectTakenSpy",
         [] {
             auto s = std::make_unique<ObjectTakenSpy>("t", "");
             s->setRegion(Poly{{100, 100}, {356, 100}, {356, 356}, {100, 356}});
             return P(std::move(s));
         }},
        {"ObjectSpy", [] { return P(new ObjectSpy("o", "", 0.5f, kttl::ElapsedTime(1000), kttl::ElapsedTime(2000))); }},
    };
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: spy_bench [--no-soak] [--only <type>]\n"
            "Times each spy kind at 640x480 with 0, 10 and 100 moving objects; CrowdDensity over a quarter\n"
            "and a whole frame and ObjectTakenSpy with a 256x256 region at 640x480 and 1920x1080; the mask\n"
            "rebuild of a 1,000-vertex region at 1920x1080; the peak memory of 20 pending entrants at\n"
            "1920x1080; and a 100,000-frame soak at 176x144 with one spy of each kind (resident growth).\n"
            "Last lines: spy type=<name> objects=<n> res=<w>x<h> us=<median> p99=<us> allocs_per_frame=<n>\n");
        return 0;
    }
    bool soak = true;
    const char* only = nullptr;  // one spy kind at 0, 10 and 100 objects, for profiling
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--no-soak") == 0) soak = false;
        else if (std::strcmp(argv[a], "--only") == 0 && a + 1 < argc) only = argv[++a];
    }
    for (const auto& kind : kinds()) {
        if (only && kind.first != only) continue;
        for (int objects : {0, 10, 100}) {
            std::unique_ptr<FrameEventSpy> spy = kind.second();
            timeSpy(*spy, kind.first.c_str(), objects, 640, 480, true);
        }
    }
    if (only) return 0;

    const Poly quarter{{0.f, 0.f}, {0.5f, 0.f}, {0.5f, 0.5f}, {0.f, 0.5f}}, whole{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const int sizes[2][2] = {{640, 480}, {1920, 1080}};
    for (const auto& s : sizes) {
        for (const Poly* region : {&quarter, &whole}) {
            CrowdDensity crowd("c", "", 0.3f, kttl::ElapsedTime(5000));
            crowd.setRegions({*region});
            timeSpy(crowd, region == &quarter ? "CrowdDensitySpy/quarter" : "CrowdDensitySpy/whole", 0, s[0], s[1], true);
        }
        ObjectTakenSpy taken("t", "");
        taken.setRegion(Poly{{100, 100}, {356, 100}, {356, 356}, {100, 356}});
        timeSpy(taken, "ObjectTakenSpy/256x256", 0, s[0], s[1], true);
    }

    // Mask rebuild on a frame-size change: a 1,000-vertex star over the whole 1080p frame.
    {
        Poly star;
        for (int k = 0; k < 1000; ++k) {
            const double a = 2 * 3.14159265358979 * k / 1000, r = (k % 2) ? 0.45 : 0.2;
            star.addVertex(float(0.5 + r * std::cos(a)), float(0.5 + r * std::sin(a)));
        }
        Perimeter p("p", "", 0.5);
        p.setRegions({star});
        std::vector<double> ms;
        for (int i = 0; i < 10; ++i) {
            const double t0 = bench::now_ms();
            p.reserveFrameSize(i % 2 ? 1920 : 1918, 1080);
            ms.push_back(bench::now_ms() - t0);
        }
        std::printf("mask rebuild: 1000 vertices at 1920x1080: median %.2f ms\n", bench::median(ms));
    }

    // 20 pending entrants at 1920x1080 share one image-less frame copy.
    {
        EnterExit spy("e", "", EnterExit::Both, EnterExit::Both);
        spy.setZones({kRightHalf});
        ProcessFrame frame;
        Images pictures(1920, 1080);
        frame.setResolution(ktvl::Resolution(1920, 1080));
        frame.setImage("Native Image", pictures.gray, Frame::kGray);  // the frame's own picture, not counted
        bench::reset_peak();
        const uint64_t before = bench::live_bytes();
        for (int i = 0; i < 5; ++i) {
            frame.setTimePosition(stamp(i), kttl::ElapsedTime(i * kFrameMs));
            frame.setImage("Native Image", pictures.gray, Frame::kGray);
            ObjectMap& objects = frame.getObjects();
            for (int k = 0; k < 20; ++k) {
                Object* o = objects.findObject(unsigned(k + 1));
                if (!o) {
                    Object fresh("Moving", kttl::ElapsedTime(3000));
                    fresh.setId(unsigned(k + 1));
                    fresh.setTrackStatus(3);
                    fresh.insert(ktml::BoundingBox<int>(800, 40 * k, 30, 30), {}, stamp(0));
                    o = &objects.addObject(fresh);
                }
                o->insert(ktml::BoundingBox<int>(1000 + i * 10, 40 * k, 30, 30), {}, stamp(i));
            }
            spy.spy(frame);
        }
        std::printf("enter-exit: %zu pending entrants at 1920x1080, peak %.1f kB above the frame (%s)\n",
                    spy.pendingCopies(), double(bench::peak_bytes() - before) / 1024.0,
                    bench::alloc_counting() ? "counted" : "not counted in this build");
    }

    if (soak) {
        std::vector<std::unique_ptr<FrameEventSpy>> spies;
        for (const auto& kind : kinds()) spies.push_back(kind.second());
        ProcessFrame frame;
        Images pictures(176, 144);
        frame.setResolution(ktvl::Resolution(176, 144));
        long startKb = 0;
        std::list<Event> events;
        for (int i = 0; i < 100000; ++i) {
            frame.setTimePosition(stamp(i), kttl::ElapsedTime(int64_t(i) * kFrameMs));
            // Objects come and go: ids move on every 200 frames, so per-object records must follow.
            frame.getObjects() = ObjectMap();
            for (int k = 0; k < 3; ++k) {
                Object o("Moving", kttl::ElapsedTime(3000));
                o.setId(unsigned(i / 200 * 3 + k + 1));
                o.setTrackStatus(3);
                o.insert(ktml::BoundingBox<int>((i * 2 + k * 50) % 140, 20 + 30 * k, 20, 20), {}, stamp(i - i % 200));
                o.insert(ktml::BoundingBox<int>((i * 2 + k * 50 + 4) % 140, 20 + 30 * k, 20, 20), {}, stamp(i));
                frame.getObjects().addObject(o);
            }
            frame.setImage("Native Image", pictures.gray, Frame::kGray);
            frame.setImage("Processed Image", pictures.gray, Frame::kGray);
            for (auto& s : spies) {
                s->spy(frame);
                events.clear();
                s->getEvents(events);
            }
            if (i == 1000) startKb = residentKb();
        }
        std::printf("soak: 100000 frames at 176x144, %zu spies: resident growth %ld kB after warm-up\n", spies.size(),
                    residentKb() - startKb);
    }
    for (const auto& line : g_summary) std::printf("%s\n", line.c_str());
    return 0;
}
