// ClassifierRuns: labelled samples from the synthetic scene, model training and scoring on held-out runs.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "TrainingData.h"
#include "csdk_synthetic.h"

namespace kt_classifier {

// One run of the stand-in's synthetic scene through the pipeline, frames converted as the
// application converts them.
struct SceneRun {
    uint32_t seed = 1;
    int width = 320;
    int height = 240;
    bool night = false;
    double seconds = 60;
    double warmupSeconds = 6;  // the background model is compared with frames from 5 s on
    // A recorded clip with its truth file instead of the scene (seed ignored); frames are scaled to
    // width x height, in which the truth's boxes are given.
    std::string clip, truth;
    // The pipeline's minimum class confidence (the application's min_classification / 100): also the
    // classifier's early-stop threshold.
    float minConfidence = 0.5f;
};

// The movers of each frame of a truth file, by frame index: JSON lines as the stand-in writes them
// with CSDK_TRUTH_LOG, {"frame":N,"movers":[{"id":0,"class":"person","box":[l,t,r,b]},...]}, boxes in
// pixels with right and bottom exclusive; "person" is a person, any other class a vehicle. Files
// above kMaxTruthBytes, lines that do not parse and more than kMaxTruthMovers movers in a frame are
// refused: false, with the line named in `error`.
typedef std::map<int64_t, std::vector<csdk_standin::SyntheticScene::MoverBox>> TruthFrames;
constexpr long kMaxTruthBytes = 256L << 20;
constexpr size_t kMaxTruthMovers = 1000;
bool readTruth(const std::string& path, TruthFrames& out, std::string& error);

// Objects match movers whose boxes they overlap by at least this IoU.
constexpr double kMinIoU = 0.5;
// An object below that IoU but with this share of its box inside one mover is a fragment of it.
constexpr double kPartOf = 0.8;
// Of an object's frames, every this-many-th becomes a training vector.
constexpr int kKeepEvery = 5;
constexpr const char* kHuman = "Human";
constexpr const char* kVehicle = "Vehicle";
constexpr const char* kNoise = "kt-noise";

// Appends the run's vectors to `samples` (class name -> data): objects matched to a person are
// "Human", to a vehicle "Vehicle", confirmed objects matching no mover "kt-noise". False (with a
// message on standard error) when the scene or the pipeline cannot run.
bool collect(const SceneRun& run, std::map<std::string, TrainingData>& samples);

// Sample files: a memory stream of TrainingData records in the file form of values.
bool writeSamples(const std::string& path, const std::map<std::string, TrainingData>& samples);
bool readSamples(const std::string& path, std::list<TrainingData>& out);

struct TrainResult {
    bool ok = false;
    std::string report;
    size_t vectors = 0;
    double seconds = 0;
    std::map<std::string, double> f1;  // per class, percent
    std::vector<std::string> written;  // model files
};
// Trains on the data and writes "<dir>/<class>.bin" per class.
TrainResult train(const std::list<TrainingData>& data, const std::string& modelDir);

// Objects are scored once matched to movers in at least this many frames (a second of the scene)...
constexpr int kMinMatchedFrames = 25;
// ... with one class in at least this share of them (an object that swapped between a walker and a
// car has no single truth).
constexpr double kMinMajority = 2.0 / 3.0;

// Per-object scores of the models in `modelFiles` over held-out runs: each object matched clearly
// enough (above) is scored by its last class decision.
struct EvalResult {
    std::map<std::string, std::map<std::string, int>> confusion;  // truth -> decided -> objects
    int objects = 0;
    int correct = 0;
    int none = 0;
    double accuracy() const { return objects ? static_cast<double>(correct) / objects : 0.0; }
    double balanced() const;
    double noneShare() const { return objects ? static_cast<double>(none) / objects : 0.0; }
    double chance() const { return confusion.empty() ? 0.0 : 1.0 / static_cast<double>(confusion.size()); }
};
bool evaluate(const SceneRun& run, const std::vector<std::string>& modelFiles, EvalResult& result);

}  // namespace kt_classifier
