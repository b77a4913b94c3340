// ClassifierRuns: labelled samples from the synthetic scene (or a clip with its truth), model training
// and scoring on held-out runs.
#include "ClassifierRuns.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include "Coordinator.h"
#include "ObjectFeatures.h"
#include "SimpleTracker.h"
#include "SvmClassification.h"
#include "csdk_media.h"
#include "csdk_synthetic.h"
#include "csdk_truth.h"

namespace kt_classifier {

namespace {

using csdk_standin::SyntheticScene;

double iou(const ktml::BoundingBox<int>& b, const SyntheticScene::MoverBox& m) {
    // Object extents are inclusive, mover extents exclusive.
    const double l = b.x, t = b.y, r = static_cast<double>(b.x) + b.width + 1, d = static_cast<double>(b.y) + b.height + 1;
    const double iw = std::min(r, m.right) - std::max(l, m.left), ih = std::min(d, m.bottom) - std::max(t, m.top);
    if (iw <= 0 || ih <= 0) return 0.0;
    const double inter = iw * ih;
    return inter / ((r - l) * (d - t) + (m.right - m.left) * (m.bottom - m.top) - inter);
}

// Share of the object's box inside the mover's.
double inside(const ktml::BoundingBox<int>& b, const SyntheticScene::MoverBox& m) {
    const double l = b.x, t = b.y, r = static_cast<double>(b.x) + b.width + 1, d = static_cast<double>(b.y) + b.height + 1;
    const double iw = std::min(r, m.right) - std::max(l, m.left), ih = std::min(d, m.bottom) - std::max(t, m.top);
    if (iw <= 0 || ih <= 0) return 0.0;
    return iw * ih / ((r - l) * (d - t));
}

// Runs the scene; for each frame after the warm-up and each living object, calls
// visit(frame, object, matched mover or null, whether it overlaps any mover at all, the mover that
// holds most of the object or null).
using Visit = std::function<void(ProcessFrame&, Object&, const SyntheticScene::MoverBox*, bool,
                                 const SyntheticScene::MoverBox*)>;
bool runScene(const SceneRun& run, const SimpleTracker::Params& params, const Visit& visit,
              kttl::Logger* logger = nullptr) {
    std::unique_ptr<csdk_standin::FrameSource> source;
    SyntheticScene* scene = nullptr;
    TruthFrames truth;
    if (!run.clip.empty()) {
        auto media = std::make_unique<csdk_standin::MediaSource>(run.clip);
        std::string error;
        if (!media->open(error) || !readTruth(run.truth, truth, error)) {
            std::fprintf(stderr, "kt_classifier: %s\n", error.c_str());
            return false;
        }
        source = std::move(media);
    } else {
        auto synthetic = std::make_unique<SyntheticScene>(run.night, false, 0);
        synthetic->setSeed(run.seed);
        scene = synthetic.get();
        source = std::move(synthetic);
    }
    if (run.width < 16 || run.height < 16 || run.width % 2 || run.height % 2 || !source->prepare(run.width, run.height)) {
        std::fprintf(stderr, "kt_classifier: the frames cannot be delivered at %dx%d\n", run.width, run.height);
        return false;
    }
    SimpleTracker tracker(logger, 0, false);
    if (!tracker.setParameters(params)) {
        std::fprintf(stderr, "kt_classifier: %s\n", tracker.getLastError().c_str());
        return false;
    }
    const uint32_t width = static_cast<uint32_t>(run.width), height = static_cast<uint32_t>(run.height);
    std::vector<uint8_t> nv21(width * height * 3 / 2);
    ProcessFrame frame;
    kt_image colour{};
    ktsl::List<Event> events;
    std::vector<SyntheticScene::MoverBox> boxes, visible;
    const double fps = source->nominalFps() > 0 ? source->nominalFps() : SyntheticScene::kSceneFps;
    const int64_t frameMs = static_cast<int64_t>(1000.0 / fps);
    const int64_t frames = static_cast<int64_t>(run.seconds * fps);
    for (int64_t i = 0; i < frames; ++i) {
        if (scene) {
            scene->moverBoxes(static_cast<double>(i) / SyntheticScene::kSceneFps, boxes);
            csdk_standin::visibleMovers(boxes, run.width, run.height, visible);
        } else {
            // The truth names only the visible movers, already clipped.
            const auto found = truth.find(i);
            visible = found != truth.end() ? found->second : std::vector<SyntheticScene::MoverBox>();
            boxes = visible;
        }
        if (source->next(nv21.data()) != csdk_standin::FrameSource::Result::Ok) break;
        const int64_t position = i * frameMs;
        const bool useColour = Coordinator::loadFrame(frame, nv21.data(), width, height, !run.night, colour,
                                                      kttl::TimeStamp(1700000000 + position / 1000, position % 1000),
                                                      kttl::ElapsedTime(position));
        events.clear();
        if (!tracker.process(frame, useColour, events)) continue;
        if (position < static_cast<int64_t>(run.warmupSeconds * 1000)) continue;
        kttl::TimeStamp now;
        now.fromElapsedTime(frame.getPosition());
        for (auto& entry : frame.getObjects()) {
            Object& o = entry.second;
            ktml::BoundingBox<int> b;
            kttl::TimeStamp newest;
            if (!o.newest(b) || !o.newestTime(newest) || newest != now) continue;
            const SyntheticScene::MoverBox* best = nullptr;
            const SyntheticScene::MoverBox* container = nullptr;
            double bestIou = kMinIoU;
            bool overlaps = false;
            for (const auto& m : boxes) {
                overlaps = overlaps || iou(b, m) > 0.0;
                // Movers still mostly outside the frame count: their visible part is a fragment.
                if (inside(b, m) >= kPartOf) container = &m;
            }
            for (const auto& m : visible) {
                const double v = iou(b, m);
                if (v >= bestIou) {
                    bestIou = v;
                    best = &m;
                }
            }
            visit(frame, o, best, overlaps, container);
        }
    }
    kt_free_image(&colour);
    return true;
}

bool confirmed(const Object& o) { return o.getTrackStatus() == 1 || o.getTrackStatus() >= 3; }

}  // namespace

bool collect(const SceneRun& run, std::map<std::string, TrainingData>& samples) {
    std::map<uint32_t, int> seen;  // object id -> frames visited
    const std::string source = (run.clip.empty() ? "synthetic:seed=" + std::to_string(run.seed) : "clip:" + run.clip) +
                               " " + std::to_string(run.width) + "x" + std::to_string(run.height) +
                               (run.night ? " night" : " day");
    auto visit = [&](ProcessFrame& frame, Object& o, const SyntheticScene::MoverBox* mover, bool overlaps,
                     const SyntheticScene::MoverBox* container) {
        // A fragment of a mover (a car's roof before its body is found) is that mover's class: the
        // pipeline scores such fragments too, and calling them noise teaches it "unknown" for the
        // first second of every car. Other objects over part of a mover are left out.
        if (!mover && container) mover = container;
        if (!mover && (overlaps || !confirmed(o))) return;
        if (seen[o.getId()]++ % kKeepEvery != 0) return;
        const kt_image* gray = frame.getSetImage("Native Image", 2);
        const kt_image* mask = frame.getSetImage("Processed Image", 2);
        if (!gray || !mask || o.getState() != Object::kMovingState) return;
        ObjectFeatures f;
        if (!f.setFeatures(*gray, *mask, o, o.age(), false)) return;
        const char* name = !mover ? kNoise : mover->person ? kHuman : kVehicle;
        TrainingData& d = samples[name];
        d.className = name;
        d.type = SvmClassification::kType;
        d.source = source;
        d.timeStamp = frame.getTimeStamp();
        d.features.write(f);
    };
    return runScene(run, SimpleTracker::Params(), visit);
}

bool readTruth(const std::string& path, TruthFrames& out, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot read the truth file " + path;
        return false;
    }
    if (static_cast<long>(in.tellg()) > kMaxTruthBytes) {
        error = "truth file " + path + " is larger than " + std::to_string(kMaxTruthBytes) + " bytes";
        return false;
    }
    in.seekg(0);
    TruthFrames frames;
    std::string line;
    std::vector<SyntheticScene::MoverBox> movers;
    for (long n = 1; std::getline(in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        int64_t frame = 0;
        if (!csdk_standin::parseTruthLine(line, frame, movers, kMaxTruthMovers)) {
            error = "truth file " + path + " line " + std::to_string(n) + " does not parse";
            return false;
        }
        frames[frame] = movers;
    }
    out.swap(frames);
    return true;
}

bool writeSamples(const std::string& path, const std::map<std::string, TrainingData>& samples) {
    ktsl::MemIOStream stream;
    for (const auto& entry : samples) stream.write(entry.second);
    return stream.toFile(path.c_str());
}

bool readSamples(const std::string& path, std::list<TrainingData>& out) {
    ktsl::MemIOStream stream;
    if (!stream.fromFile(path.c_str())) return false;
    try {
        while (!stream.isEmpty()) {
            TrainingData d;
            stream.read(d);
            out.push_back(std::move(d));
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

TrainResult train(const std::list<TrainingData>& data, const std::string& modelDir) {
    TrainResult result;
    for (const TrainingData& d : data) {
        ktsl::MemIOStream s(d.features);
        while (!s.isEmpty()) {
            s.skip();
            ++result.vectors;
        }
    }
    SvmClassification process;
    std::list<ClassificationModel> models;
    const auto start = std::chrono::steady_clock::now();
    result.ok = process.train(data, models);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.report = process.getTrainingReport();
    for (const auto& entry : process.getClassifier().getTrainingScores()) result.f1[entry.first] = entry.second;
    if (!result.ok) return result;
    for (const ClassificationModel& m : models) {
        const std::string path = modelDir + "/" + m.getName() + ".bin";
        if (!m.toFile(path.c_str())) {
            result.ok = false;
            result.report += "\nCannot write " + path;
            return result;
        }
        result.written.push_back(path);
    }
    return result;
}

double EvalResult::balanced() const {
    if (confusion.empty()) return 0.0;
    double sum = 0.0;
    for (const auto& row : confusion) {
        int total = 0;
        for (const auto& cell : row.second) total += cell.second;
        auto hit = row.second.find(row.first);
        sum += total && hit != row.second.end() ? static_cast<double>(hit->second) / total : 0.0;
    }
    return sum / static_cast<double>(confusion.size());
}

bool evaluate(const SceneRun& run, const std::vector<std::string>& modelFiles, EvalResult& result) {
    SimpleTracker::Params params;
    params.minConfidence = run.minConfidence;
    for (const std::string& f : modelFiles) params.models.insert(f);
    struct Track {
        int human = 0, vehicle = 0;
        std::string decided = "none";
    };
    std::map<uint32_t, Track> tracks;
    auto visit = [&](ProcessFrame&, Object& o, const SyntheticScene::MoverBox* mover, bool,
                     const SyntheticScene::MoverBox*) {
        Track& t = tracks[o.getId()];
        if (mover) (mover->person ? t.human : t.vehicle) += 1;
        // The classifier writes its decision as the object's lower-case class label.
        t.decided = "none";
        for (const kttl::String& label : o.getClasses()) {
            if (label == "human") t.decided = kHuman;
            else if (label == "vehicle") t.decided = kVehicle;
            else if (label == "unknown") t.decided = "unknown";
        }
    };
    if (!runScene(run, params, visit)) return false;
    for (const auto& entry : tracks) {
        const Track& t = entry.second;
        const int matched = t.human + t.vehicle;
        if (matched < kMinMatchedFrames || std::max(t.human, t.vehicle) < kMinMajority * matched) continue;
        const std::string truth = t.human > t.vehicle ? kHuman : kVehicle;
        ++result.confusion[truth][t.decided];
        ++result.objects;
        if (t.decided == truth) ++result.correct;
        if (t.decided == "none") ++result.none;
    }
    return true;
}

}  // namespace kt_classifier
