// SvmClassifier: per-class support-vector sub-classifiers, the per-object evidence and its training.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include "ClassificationModel.h"
#include "ObjectFeatures.h"
#include "ObjectInfo.h"
#include "ObjectMap.h"
#include "ProcessFrame.h"
#include "SubClassifier.h"
#include "Training.h"
#include "TrainingData.h"
#include "ktsl_Set.h"

// Classes are the names of the installed models. For each eligible object of a frame it computes the
// features, asks every sub-classifier, accumulates the positive probabilities in the object's
// ObjectInfo and writes back the winning class and the confidences.
//
// Names: models keep their own spelling ("Human"), which is also what the pipeline hands the spies as
// their class lists. Objects get the lower-case forms ("human" as a class label and as a confidence
// key), which is how objects store classes; the spies compare labels without regard to case and look
// confidences up by lower-cased name, so the two meet whatever case the model names use.
class SvmClassifier {
  public:
    using ClassMap = std::map<kttl::String, SubClassifier>;
    static constexpr const char* kNoiseClass = "kt-noise";
    static constexpr const char* kUnknownClass = "unknown";
    static constexpr const char* kNoClass = "none";
    static constexpr double kNoThreshold = -1.0;
    // Evidence an object needs before its class may stop being re-scored by the threshold.
    static constexpr double kSettledTotal = 12.0;
    static constexpr double kMinTotal = 2.0;
    static constexpr double kMinMargin = 0.1;
    // Training refuses larger data sets: libsvm's kernel cache and the grid search grow with the
    // square of the vector count.
    static constexpr size_t kMaxTrainingVectors = 50000;
    static constexpr size_t kMinTrainingVectors = 30;

    SvmClassifier();

    // The per-frame step: features and evidence for the frame's objects, then infos of objects that
    // left the map are dropped. 0 when the frame lacks the gray image it needs.
    int process(ProcessFrame& frame, bool collecting);

    // Installs the model under its name ("kt-noise" is accepted and ignored). False when its data is
    // not a readable SvmModel.
    bool setModel(const ClassificationModel& model);
    // A model of type "SVM" with the named sub-classifier's model; empty when there is none.
    ClassificationModel getModel(const kttl::String& name) const;
    ktsl::Set<kttl::String> getClassNames() const;
    void clearModels();
    const ClassMap& getSubClassifiers() const { return m_classes; }
    bool hasModels() const;

    void setEnabledFeatures(const std::vector<int>& ids) { m_enabled = ids; }
    const std::vector<int>& getEnabledFeatures() const { return m_enabled; }
    // -1 (kNoThreshold) re-scores objects on every frame.
    void setThreshold(double threshold) { m_threshold = threshold; }
    double getThreshold() const { return m_threshold; }

    // setResults on every sub-classifier.
    void classify(const ObjectFeatures& features);
    // Class name -> positive probability for every sub-classifier with a model; 1 when any was made.
    int getClassScore(const ObjectFeatures& features, std::map<kttl::String, double>& scores);
    // 2 (v - min) / (max - min) - 1 with the classifier's range for the id; 0 when the range is
    // degenerate (it is printed) or unknown.
    double getScaledFeatureVal(int id, const ObjectFeatures& features) const;

    // Adds the last results to the info (see the class comment); nothing without models.
    void updateClassHistogram(ObjectInfo& info) const;
    // "none" without enough evidence (total under 2) or without a margin of 0.1 between the two
    // largest sums; else the largest (first in name order on ties).
    static kttl::String computeClassID(const ObjectInfo& info);
    // Class -> sqrt(sum / frames) once the info is reportable with a total of 2; else empty.
    static std::map<kttl::String, double> getNormalizedConfidences(const ObjectInfo& info);

    // Infos of the objects no longer in the map are dropped. Nothing else is: an object's counters
    // (its track status dips below 3 while it is unconfirmed or coasting) say nothing about its
    // class, and dropping its info there would throw away its evidence on every lapse.
    void cleanObjects(const ObjectMap& objects);
    void resetObjects() { m_infos.clear(); }
    const std::map<uint32_t, ObjectInfo>& getObjectInfos() const { return m_infos; }

    // Training. The report collects the lines the steps append.
    bool setSVMStruct(const std::list<TrainingData>& data, const std::vector<int>& enabled, kttl::String& report);
    bool findOptimalParams(SubClassifier& sub, double& cost, double& gamma, double& weight, double& accuracy,
                           kttl::String& report);
    bool trainSVM(TrainingListener* listener, kttl::String& report);
    // Parses a fixed option text ("-c 1 -g 0.5 -b 1 ...") over the defaults. The class weights are
    // stored in `weights` (label 1, then -1), which must outlive the parameters.
    static void setSvmParams(svm_parameter& params, const char* options, std::vector<int>& labels,
                             std::vector<double>& weights, int* folds = nullptr);
    const std::vector<FeatureRange>& getRanges() const { return m_ranges; }
    // The best cross-validation F1 (percent) of every class trained by the last trainSVM.
    const std::map<kttl::String, double>& getTrainingScores() const { return m_scores; }

  private:
    void createObjFeatureMap(ProcessFrame& frame, const kt_image& gray, bool collecting);
    // Writes the info's class and confidences into the object.
    void labelObject(Object& object, const ObjectInfo& info) const;
    const FeatureRange* findRange(int id) const;

    ClassMap m_classes;
    std::vector<int> m_enabled;
    std::vector<FeatureRange> m_ranges;
    double m_threshold = kNoThreshold;
    std::map<kttl::String, double> m_scores;
    std::map<uint32_t, ObjectInfo> m_infos;
    ObjectFeatures m_features;
};
