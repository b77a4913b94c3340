// event_bench: the event detector's cost per frame with one activity spy of each type, for 0, 10 and
// 100 tracked objects moving through the frame.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Activity.h"
#include "EventDetector.h"
#include "EventDetectorParams.h"
#include "EventSpyFactory.h"
#include "bench_alloc.h"
#include "bench_stats.h"

namespace {

const int64_t kFrameMs = 40;
const int kWarmup = 100;
const int kFrames = 1000;
const int kWidth = 640, kHeight = 480;

// Moves `count` objects across the frame: object i walks its own row, wrapping at the right edge.
void placeObjects(ProcessFrame& frame, int count, int index) {
    ObjectMap& objects = frame.getObjects();
    for (int i = 0; i < count; ++i) {
        const unsigned id = static_cast<unsigned>(i + 1);
        Object* o = objects.findObject(id);
        if (o == nullptr) {
            Object fresh("Moving", kttl::ElapsedTime(15000));
            fresh.setId(id);
            fresh.setTrackStatus(3);
            o = &objects.addObject(fresh);
        }
        const int x = (i * 37 + index * 3) % (kWidth - 40);
        const int y = (i * 23) % (kHeight - 60);
        o->insert(ktml::BoundingBox<int>(x, y, 30, 50), ktsl::List<kttl::Integer>(),
                  kttl::TimeStamp(1700000000 + index / 25, (index % 25) * 40));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: event_bench\n"
            "Times EventDetector::processFrame with four activity spies (Delta, NewObject, DeadObject,\n"
            "Threshold) over the whole 640x480 frame, for 0, 10 and 100 tracked objects, %d frames each after\n"
            "%d warm-up frames. Last lines: events objects=<n> ms=<median> us=<median> allocs_per_frame=<n>\n",
            kFrames, kWarmup);
        return 0;
    }
    std::vector<std::string> summary;
    for (int count : {0, 10, 100}) {
        EventDetector detector;
        EventDetectorParams params{kttl::ElapsedTime(0)};
        const Activity::Type types[] = {Activity::Delta, Activity::NewObject, Activity::DeadObject, Activity::Threshold};
        int n = 0;
        for (Activity::Type type : types) {
            Activity spy(("Spy " + std::to_string(n++)).c_str(), "", type, 5, 20);
            params.getSpies().push_back(EventSpyFactory(&spy));
        }
        if (!detector.setParameters(params)) {
            std::fprintf(stderr, "event_bench: the detector refused its parameters\n");
            return 1;
        }
        ProcessFrame frame;
        frame.setResolution(ktvl::Resolution(kWidth, kHeight));
        std::vector<double> ms;
        std::list<Event> events;
        size_t raised = 0;
        const uint64_t allocsBefore = bench::alloc_count();
        uint64_t allocsTimed = 0;
        for (int i = 0; i < kWarmup + kFrames; ++i) {
            frame.setTimePosition(kttl::TimeStamp(1700000000 + i / 25, (i % 25) * 40), kttl::ElapsedTime(i * kFrameMs));
            placeObjects(frame, count, i);
            const uint64_t a0 = bench::alloc_count();
            const double t0 = bench::now_ms();
            detector.processFrame(frame);
            events.clear();
            detector.getEvents(events);
            const double t1 = bench::now_ms();
            raised += events.size();
            if (i >= kWarmup) {
                ms.push_back(t1 - t0);
                allocsTimed += bench::alloc_count() - a0;
            }
        }
        (void)allocsBefore;
        const double med = bench::median(ms);
        std::printf("%3d objects: median %.4f ms per frame, %zu events handed over, %.2f allocations per frame\n",
                    count, med, raised, static_cast<double>(allocsTimed) / kFrames);
        char line[160];
        std::snprintf(line, sizeof line, "events objects=%d ms=%.4f us=%.1f allocs_per_frame=%.2f", count, med,
                      med * 1000.0, static_cast<double>(allocsTimed) / kFrames);
        summary.push_back(line);
    }
    for (const auto& line : summary) std::printf("%s\n", line.c_str());
    return 0;
}
