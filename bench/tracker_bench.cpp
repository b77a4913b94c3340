// kt_tracker_bench: times the blob tracker per frame with 200 live objects and 50, 100 and 200 blobs
// (the cost should grow with blobs plus candidates, not objects x blobs), then on a worst-case
// full-HD frame (4100 blobs, 500 objects) with the peak heap it needs.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_alloc.h"
#include "bench_stats.h"
#include "kt_tracker.h"

namespace {

const uint32_t kObjects = 200;
const uint32_t kTimedFrames = 300;
const uint32_t kFrameMs = 40;

struct Scene {
    kt_image image{};
    std::vector<kt_vertex> blobs;
    Scene(uint32_t w, uint32_t h) {
        kt_init_image(&image, w, h, 4);
        std::mt19937 rng(5);
        for (uint32_t i = 0; i < image.size; ++i) image.data[i] = static_cast<unsigned char>(rng());
    }
    ~Scene() { kt_free_image(&image); }
    // Links the first n boxes (shifted by dx, dy) into a blob list.
    const kt_vertex* link(const std::vector<kt_vertex>& boxes, uint32_t n, uint32_t dx, uint32_t dy) {
        blobs.assign(boxes.begin(), boxes.begin() + n);
        for (uint32_t i = 0; i < n; ++i) {
            blobs[i].x += dx, blobs[i].y += dy;
            blobs[i].next = i + 1 < n ? &blobs[i + 1] : nullptr;
        }
        return n ? blobs.data() : nullptr;
    }
};

kt_tracker_input input_for(const kt_image* image, const kt_vertex* blobs, uint32_t n, uint32_t now) {
    kt_tracker_input in{};
    in.image = image;
    in.blobs = blobs;
    in.blob_count = int32_t(n);
    in.min_new_confidence = 0.5f;
    in.now = now;
    in.lost_timeout = UINT32_MAX;  // unmatched objects coast, so the live count stays put
    in.maturity = 5;
    in.max_per_blob = 5;
    return in;
}

/* Median ms per frame with `live` objects created from `boxes` and then `n` of them moving. */
double time_frames(Scene& scene, const std::vector<kt_vertex>& boxes, uint32_t n, uint32_t* live,
                   uint32_t* candidates, uint64_t* peak) {
    const uint64_t base = bench::live_bytes();
    bench::reset_peak();
    kt_object_list list;
    kt_object_list_init(&list, 0);
    uint32_t now = 0;
    for (uint32_t f = 0; f < 6; ++f, now += kFrameMs) {
        kt_tracker_input in = input_for(&scene.image, scene.link(boxes, uint32_t(boxes.size()), 0, 0),
                                        uint32_t(boxes.size()), now);
        kt_tracker_process(&in, &list);
    }
    std::vector<double> ms;
    for (uint32_t f = 0; f < kTimedFrames; ++f, now += kFrameMs) {
        const kt_vertex* head = scene.link(boxes, n, f % 3, (f / 3) % 2);
        kt_tracker_input in = input_for(&scene.image, head, n, now);
        const double t0 = bench::now_ms();
        kt_tracker_process(&in, &list);
        ms.push_back(bench::now_ms() - t0);
        *candidates = std::max(*candidates, list.candidate_count);
    }
    *live = list.count;
    *peak = bench::peak_bytes() - base;
    kt_object_list_free(&list);
    return bench::median(ms);
}

}  // namespace

int main() {
    // 200 boxes of 16 x 24 in a 20 x 10 grid, away from the edges of a 640 x 480 noise frame.
    Scene vga(640, 480);
    std::vector<kt_vertex> grid;
    for (uint32_t r = 0; r < 10; ++r)
        for (uint32_t c = 0; c < 20; ++c) grid.push_back(kt_vertex{20 + 30 * c, 20 + 44 * r, 16, 24, 1.0f, nullptr});
    std::printf("blob tracker, 640x480 noise frame, %u live objects, median of %u frames\n", kObjects, kTimedFrames);
    std::printf("%8s %10s %12s %12s\n", "blobs", "ms/frame", "candidates", "live");
    double ms[3];
    const uint32_t counts[3] = {50, 100, 200};
    for (int k = 0; k < 3; ++k) {
        uint32_t live = 0, cand = 0;
        uint64_t peak = 0;
        ms[k] = time_frames(vga, grid, counts[k], &live, &cand, &peak);
        std::printf("%8u %10.3f %12u %12u\n", counts[k], ms[k], cand, live);
    }
    // Worst case: 500 large blobs that start objects and 3600 noise blobs at confidence 0.1.
    Scene hd(1920, 1080);
    std::vector<kt_vertex> worst;
    for (uint32_t r = 0; r < 20; ++r)
        for (uint32_t c = 0; c < 25; ++c) worst.push_back(kt_vertex{10 + 76 * c, 10 + 53 * r, 60, 48, 1.0f, nullptr});
    for (uint32_t y = 0; y + 6 < 1070; y += 24)
        for (uint32_t x = 0; x + 6 < 1910; x += 24) worst.push_back(kt_vertex{x, y, 6, 6, 0.1f, nullptr});
    uint32_t live = 0, cand = 0;
    uint64_t peak = 0;
    const double worst_ms = time_frames(hd, worst, uint32_t(worst.size()), &live, &cand, &peak);
    const double peak_mib = peak / 1048576.0;
    std::printf("worst case 1920x1080: %zu blobs, %u objects, %u candidates: %.3f ms/frame, peak heap %s\n",
                worst.size(), live, cand, worst_ms,
                bench::alloc_counting() ? (std::to_string(peak_mib).substr(0, 6) + " MiB").c_str() : "not counted");
    std::printf("tracker objects=%u ms50=%.3f ms100=%.3f ms200=%.3f worst_blobs=%zu worst_objects=%u worst_ms=%.3f "
                "worst_peak_mib=%.1f\n",
                kObjects, ms[0], ms[1], ms[2], worst.size(), live, worst_ms, bench::alloc_counting() ? peak_mib : -1.0);
    return 0;
}
