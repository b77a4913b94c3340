// SubClassifier: one class's this-class-against-all-others support-vector machine and its last result.
#pragma once

#include <vector>

#include "DenseSvm.h"
#include "ObjectFeatures.h"
#include "SvmModel.h"
#include "SvmProblem.h"
#include "kttl_String.h"

class SubClassifier {
  public:
    explicit SubClassifier(const kttl::String& name = kttl::String());

    const kttl::String& getName() const { return m_name; }
    // Installs a copy of the model and sizes the node buffer (F + 1) once. A range whose maximum does
    // not exceed its minimum scales to 0; it is reported once here rather than on every object.
    void setModel(const SvmModel& model);
    const SvmModel& getModel() const { return m_model; }
    bool hasModel() const { return m_model.isValid(); }
    void clearModel();

    // Predicts on the features: label and the two probabilities; without a model label -1 and 0, 0.
    // Results are bit-identical to svm_predict_probability; a model the dense copy can reproduce
    // (every model this program trains, and loaded ones whose indices ascend) allocates nothing here.
    void setResults(const ObjectFeatures& features);
    double getLabel() const { return m_label; }
    // True when predictions run on the dense copy rather than through libsvm.
    bool predictsDensely() const { return m_dense.ready(); }
    // Probability of this class / of the rest from the last result; 0 without a two-class model.
    double getPositiveConfidence() const;
    double getNegativeConfidence() const;
    double getWeightedConfidence() const { return getPositiveConfidence() - getNegativeConfidence(); }
    // Positive probability of a fresh prediction; 0 without a model.
    double getClassScore(const ObjectFeatures& features);

    // Training: the vectors and, once trained, the model that replaced the old one.
    SvmProblem& getProblem() { return m_problem; }
    // Trains on the problem with the parameters; the model (copied with `ranges`) is kept only when
    // it has a support vector. False (model cleared) otherwise; a parameter error is printed to
    // standard error as "Error: %s".
    bool trainClass(const svm_parameter& params, const std::vector<FeatureRange>& ranges);
    // F1 score in percent of an n-fold cross-validation on the problem; 0 when it cannot be run.
    double do_cross_validation(const svm_parameter& params, int folds);

  private:
    // Scales the features into the node buffer, one node per range plus the terminator.
    void scaleFeatures(const ObjectFeatures& features);

    kttl::String m_name;
    SvmModel m_model;
    DenseSvm m_dense;  // rebuilt whenever m_model changes
    std::vector<svm_node> m_nodes;
    double m_label = -1.0;
    double m_prob[2] = {0.0, 0.0};
    SvmProblem m_problem;
    std::vector<double> m_target;  // cross-validation predictions
};
