#include "bench_mog2.h"

#include <vector>

#include "bench_alloc.h"
#include "bench_stats.h"

#ifdef KT_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/background_segm.hpp>
#endif

namespace bench {

Mog2Result run_mog2(const Clip& clip, bool colour, bool shadows, uint32_t warm_frames,
                    uint32_t passes) {
    Mog2Result result;
#ifdef KT_BENCH_OPENCV
    cv::setNumThreads(1);
    const int h = int(clip.height), w = int(clip.width);
    std::vector<cv::Mat> inputs;
    for (size_t i = 0; i < clip.bgra.size(); ++i) {
        if (colour) {
            cv::Mat bgra(h, w, CV_8UC4, const_cast<unsigned char*>(clip.bgra[i].data()));
            cv::Mat bgr;
            cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
            inputs.push_back(bgr);
        } else {
            inputs.emplace_back(h, w, CV_8UC1, const_cast<unsigned char*>(clip.gray[i].data()));
        }
    }
    cv::Ptr<cv::BackgroundSubtractorMOG2> mog2 = cv::createBackgroundSubtractorMOG2();
    mog2->setDetectShadows(shadows);
    const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat foreground, labels, stats, centroids;
    auto step = [&](const cv::Mat& frame, double* t) {
        t[0] = now_ms();
        mog2->apply(frame, foreground);
        t[1] = now_ms();
        cv::morphologyEx(foreground, foreground, cv::MORPH_OPEN, element);
        cv::morphologyEx(foreground, foreground, cv::MORPH_CLOSE, element);
        t[2] = now_ms();
        cv::connectedComponentsWithStats(foreground, labels, stats, centroids, 8, CV_32S);
        t[3] = now_ms();
    };
    double t[4];
    for (uint32_t i = 0; i < warm_frames; ++i) step(inputs[i % inputs.size()], t);
    // One untimed pass so every buffer has reached its size.
    for (const cv::Mat& frame : inputs) step(frame, t);
    std::vector<double> subtract, morphology, components, total;
    const uint64_t allocs_before = alloc_count();
    for (uint32_t pass = 0; pass < passes; ++pass)
        for (const cv::Mat& frame : inputs) {
            step(frame, t);
            subtract.push_back(t[1] - t[0]);
            morphology.push_back(t[2] - t[1]);
            components.push_back(t[3] - t[2]);
            total.push_back(t[3] - t[0]);
        }
    result.available = true;
    result.allocs_per_frame = double(alloc_count() - allocs_before) / double(total.size());
    result.subtract_ms = median(subtract);
    result.morphology_ms = median(morphology);
    result.components_ms = median(components);
    result.path_ms = median(total);
#else
    (void)clip, (void)colour, (void)shadows, (void)warm_frames, (void)passes;
#endif
    return result;
}

}  // namespace bench
