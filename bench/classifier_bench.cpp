// classifier_bench: what classifying an object costs (features plus every sub-classifier), the
// classifier's stage time per frame, the training time of the test data set, and resident memory over
// a long classified run.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ClassifierRuns.h"
#include "Coordinator.h"
#include "SimpleTracker.h"
#include "SvmClassification.h"
#include "bench_alloc.h"
#include "bench_stats.h"
#include "csdk_synthetic.h"
#include "ktsl_BinWriter.h"

namespace {

constexpr int kSamples = 2000;    // objects timed per configuration
constexpr int kFrameSamples = 300;

// A two-class probability model of `svs` random support vectors over ids 10..21, in its binary form.
SvmModel syntheticModel(const char* name, int svs, uint32_t seed) {
    std::mt19937 rng(seed);
    const int F = 12;
    const kttl::String label(name);
    std::vector<unsigned char> bin(1 + 20 + label.getBinLength() + F * 12 + 52 + 20 + svs * (F + 1) * 12 + svs * 8 +
                                   24 + 20);
    ktsl::BinWriter w(bin.data());
    w.u8(1);
    for (int32_t v : {F, 0, 1, 2, svs}) w.i32(v);
    w.value(label);
    for (int id = 10; id < 10 + F; ++id) {
        w.i32(id);
        w.i32(0);
        w.i32(2000);
    }
    for (int32_t v : {int32_t{C_SVC}, int32_t{RBF}, int32_t{3}}) w.i32(v);
    for (double v : {0.5, 0.0, 100.0, 0.001, 1.0}) w.f64(v);
    w.f64(0.5);
    w.f64(0.1);
    w.i32(1);
    for (int i = 0; i < svs; ++i) {
        for (int id = 10; id < 10 + F; ++id) {
            w.i32(id);
            w.f64(static_cast<double>(rng() % 2001) / 1000.0 - 1.0);
        }
        w.i32(-1);
        w.f64(0.0);
    }
    for (int i = 0; i < svs; ++i) w.f64(i < svs / 2 ? 0.5 : -0.5);
    for (double v : {0.1, -2.0, 0.0}) w.f64(v);  // rho, probA, probB
    for (int32_t v : {1, -1, svs / 2, svs - svs / 2, 0}) w.i32(v);
    SvmModel m;
    m.fromBin(bin.data(), w.written());
    return m;
}

void install(SvmClassifier& c, const char* name, int svs, uint32_t seed) {
    ClassificationModel model(name, "SVM");
    model.getData().write(syntheticModel(name, svs, seed));
    if (!c.setModel(model)) std::fprintf(stderr, "classifier_bench: model refused\n");
}

// A textured gray frame with a mask blob of the box's size in the middle.
struct Scene {
    kt_image gray{}, mask{};
    Scene(uint32_t w, uint32_t h) {
        kt_init_image(&gray, w, h, 1);
        kt_init_image(&mask, w, h, 1);
        for (uint32_t i = 0; i < gray.size; ++i) gray.data[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
    }
    ~Scene() {
        kt_free_image(&gray);
        kt_free_image(&mask);
    }
    void blob(int x, int y, int w, int h) {
        for (int r = y; r < y + h; ++r) std::memset(mask.data + r * mask.width + x, 255, w);
    }
    // A street-like image instead of the all-edges pattern: flat grey with +-3 sensor noise and a
    // flat object on it, so most pixels are weak and only the outline votes.
    void flatten(int x, int y, int w, int h) {
        for (uint32_t r = 0; r < gray.height; ++r)
            for (uint32_t c = 0; c < gray.width; ++c) {
                const bool inside = static_cast<int>(c) >= x && static_cast<int>(c) < x + w &&
                                    static_cast<int>(r) >= y && static_cast<int>(r) < y + h;
                const uint32_t i = r * gray.width + c;
                gray.data[i] = static_cast<unsigned char>((inside ? 170 : 90) + ((i * 2654435761u) >> 29) - 3);
            }
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, rss = 0;
    statm >> pages >> rss;
    return rss * (sysconf(_SC_PAGESIZE) / 1024);
}

void perObject(int bw, int bh, int svs, bool flat, std::vector<std::string>& lines) {
    SvmClassifier c;
    install(c, "Human", svs, 1);
    install(c, "Vehicle", svs, 2);
    Scene scene(bw + 40, bh + 40);
    scene.blob(20, 20, bw, bh);
    if (flat) scene.flatten(20, 20, bw, bh);
    Object object;
    object.insert(ktml::BoundingBox<int>(20, 20, bw, bh), ktsl::List<kttl::Integer>(), kttl::TimeStamp(100, 0));
    ObjectFeatures features;
    ObjectInfo info;
    info.classHistogram = {{"Human", 0.0}, {"Vehicle", 0.0}, {"unknown", 0.0}};
    std::vector<double> us, featureUs, predictUs;
    uint64_t ours = 0, predictAllocs = 0;
    for (int i = 0; i < kSamples + 10; ++i) {
        const double t0 = bench::now_ms();
        const uint64_t a0 = bench::alloc_count();
        features.setFeatures(scene.gray, scene.mask, object, kttl::ElapsedTime(1000), false);
        const double tf = bench::now_ms();
        const uint64_t a1 = bench::alloc_count();
        c.classify(features);
        const double tp = bench::now_ms();
        const uint64_t a2 = bench::alloc_count();
        c.updateClassHistogram(info);
        const uint64_t a3 = bench::alloc_count();
        const double t1 = bench::now_ms();
        if (i < 10) continue;  // warm-up: buffers grow to the box once
        us.push_back((t1 - t0) * 1000.0);
        featureUs.push_back((tf - t0) * 1000.0);
        predictUs.push_back((tp - tf) * 1000.0);
        ours += (a1 - a0) + (a3 - a2);
        predictAllocs += a2 - a1;
    }
    bool dense = true;
    for (const auto& entry : c.getSubClassifiers()) dense = dense && entry.second.predictsDensely();
    std::printf("predict box=%dx%d svs=%d allocs_per_object=%.1f dense=%d (two models)\n", bw, bh, svs,
                static_cast<double>(predictAllocs) / kSamples, dense ? 1 : 0);
    const char* texture = flat ? " texture=flat" : "";
    char line[200];
    std::snprintf(line, sizeof line,
                  "classify box=%dx%d svs=%d us=%.1f p99=%.1f features_us=%.1f predict_us=%.1f allocs=%llu%s", bw,
                  bh, svs, bench::median(us), percentile(us, 0.99), bench::median(featureUs), bench::median(predictUs),
                  static_cast<unsigned long long>(ours), texture);
    lines.push_back(line);
}

void perFrame(int objects) {
    SvmClassification process;
    install(process.getClassifier(), "Human", 200, 1);
    install(process.getClassifier(), "Vehicle", 200, 2);
    ClassificationParams none;
    process.setParameters(none);  // names and enables it; the models stay
    install(process.getClassifier(), "Human", 200, 1);
    install(process.getClassifier(), "Vehicle", 200, 2);
    process.setThreshold(SvmClassifier::kNoThreshold);  // every object scored on every frame
    Scene scene(640, 480);
    ProcessFrame frame;
    for (int i = 0; i < objects; ++i) {
        const int x = 20 + (i % 10) * 60, y = 20 + (i / 10) * 90;
        scene.blob(x, y, 24, 48);
        Object o;
        o.setId(static_cast<uint32_t>(i + 1));
        o.insert(ktml::BoundingBox<int>(x, y, 24, 48), ktsl::List<kttl::Integer>(), kttl::TimeStamp(100, 0));
        frame.getObjects()[static_cast<unsigned>(i + 1)] = o;
    }
    frame.setImage("Native Image", scene.gray, 2);
    frame.setImage("Processed Image", scene.mask, 2);
    std::vector<double> ms;
    for (int i = 0; i < kFrameSamples; ++i) {
        const double t0 = bench::now_ms();
        process.processFrame(frame);
        ms.push_back(bench::now_ms() - t0);
    }
    std::printf("stage objects=%d ms=%.3f p99=%.3f\n", objects, bench::median(ms), percentile(ms, 0.99));
}

// Samples of the end-to-end test's data set: two seeds, 40 s each.
std::list<TrainingData> testDataSet() {
    std::map<std::string, TrainingData> samples;
    for (uint32_t seed : {1u, 2u}) {
        kt_classifier::SceneRun run;
        run.seed = seed;
        run.seconds = 40;
        kt_classifier::collect(run, samples);
    }
    std::list<TrainingData> data;
    for (auto& entry : samples) data.push_back(entry.second);
    return data;
}

void longRun(const std::list<ClassificationModel>& models, int frames) {
    const std::string dir = "/tmp/classifier_bench_" + std::to_string(getpid());
    std::string mkdir = "mkdir -p " + dir;
    if (std::system(mkdir.c_str()) != 0) return;
    SimpleTracker::Params params;
    for (const ClassificationModel& m : models) {
        const std::string path = dir + "/" + m.getName() + ".bin";
        m.toFile(path.c_str());
        params.models.insert(path);
    }
    SimpleTracker tracker(nullptr, 0, false);
    if (!tracker.setParameters(params) || !tracker.isClassifying()) {
        std::fprintf(stderr, "classifier_bench: models not loaded\n");
        return;
    }
    csdk_standin::SyntheticScene scene(false, false, 0);
    scene.setSeed(7);
    const uint32_t w = 176, h = 144;
    scene.prepare(w, h);
    std::vector<uint8_t> nv21(w * h * 3 / 2);
    ProcessFrame frame;
    kt_image colour{};
    ktsl::List<Event> events;
    long startKb = 0;
    const double t0 = bench::now_ms();
    for (int i = 0; i < frames; ++i) {
        if (scene.next(nv21.data()) != csdk_standin::FrameSource::Result::Ok) break;
        const int64_t position = static_cast<int64_t>(i) * 40;
        const bool useColour = Coordinator::loadFrame(frame, nv21.data(), w, h, true, colour,
                                                      kttl::TimeStamp(1700000000 + position / 1000, position % 1000),
                                                      kttl::ElapsedTime(position));
        events.clear();
        tracker.process(frame, useColour, events);
        if (i == 1000) startKb = residentKb();  // after warm-up: buffers and maps at their size
    }
    const long endKb = residentKb();
    std::printf("memory frames=%d size=%ux%u rss_start_kb=%ld rss_end_kb=%ld growth_kb=%ld ms_per_frame=%.3f\n", frames,
                w, h, startKb, endKb, endKb - startKb, (bench::now_ms() - t0) / frames);
    kt_free_image(&colour);
    for (const ClassificationModel& m : models) std::remove((dir + "/" + m.getName() + ".bin").c_str());
    rmdir(dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 100000;
    if (argc > 1) frames = std::atoi(argv[1]);
    if (!bench::alloc_counting()) std::printf("(allocation counting is not built in)\n");

    for (int objects : {0, 10, 50}) perFrame(objects);

    std::list<TrainingData> data = testDataSet();
    SvmClassification trainer;
    std::list<ClassificationModel> models;
    const double t0 = bench::now_ms();
    const bool trained = trainer.train(data, models);
    std::printf("training test_set seconds=%.2f ok=%d\n", (bench::now_ms() - t0) / 1000.0, trained ? 1 : 0);
    if (trained && frames > 0) longRun(models, frames);

    std::vector<std::string> lines;
    for (int svs : {200, 1000})
        for (auto box : {std::make_pair(16, 32), std::make_pair(64, 128), std::make_pair(200, 200)})
            perObject(box.first, box.second, svs, false, lines);
    perObject(64, 128, 200, true, lines);  // a street-like patch beside the all-edges worst case
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
}
