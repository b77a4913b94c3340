// SubClassifier: one class's this-class-against-all-others support-vector machine and its last result.
#include "SubClassifier.h"

#include <cmath>
#include <cstdio>

namespace {

// The range every feature is scaled into, as in training.
constexpr double kLower = -1.0;
constexpr double kUpper = 1.0;
// Predictions within this distance of a label count as that label.
constexpr double kLabelTolerance = 0.001;

}  // namespace

SubClassifier::SubClassifier(const kttl::String& name) : m_name(name) {}

void SubClassifier::setModel(const SvmModel& model) {
    m_model = model;
    m_nodes.assign(m_model.getRanges().size() + 1, svm_node{-1, 0.0});
    std::vector<int> ids;
    for (const FeatureRange& r : m_model.getRanges()) ids.push_back(r.id);
    if (!m_model.get() || !m_dense.build(*m_model.get(), ids)) m_dense.clear();
    for (const FeatureRange& r : m_model.getRanges())
        if (r.max <= r.min) std::printf("Feature %d max: %d    min:%d\n", r.id, r.max, r.min);
    m_label = -1.0;
    m_prob[0] = m_prob[1] = 0.0;
}

void SubClassifier::clearModel() {
    m_model.deInitModel();
    m_dense.clear();
    m_nodes.clear();
    m_label = -1.0;
    m_prob[0] = m_prob[1] = 0.0;
}

void SubClassifier::scaleFeatures(const ObjectFeatures& features) {
    const std::vector<FeatureRange>& ranges = m_model.getRanges();
    for (size_t i = 0; i < ranges.size(); ++i) {
        const FeatureRange& r = ranges[i];
        double v = 0.0;
        if (r.max > r.min)
            v = kLower + (kUpper - kLower) * (static_cast<double>(features.getFeature(r.id)) - r.min) /
                             (static_cast<double>(r.max) - r.min);
        m_nodes[i] = svm_node{r.id, v};
    }
    m_nodes[ranges.size()] = svm_node{-1, 0.0};
}

void SubClassifier::setResults(const ObjectFeatures& features) {
    const svm_model* model = m_model.get();
    if (!model) {
        m_label = -1.0;
        m_prob[0] = m_prob[1] = 0.0;
        return;
    }
    scaleFeatures(features);
    if (m_dense.ready()) {
        double decision = 0.0;
        m_label = m_dense.predict(m_nodes.data(), decision, m_prob);
        return;
    }
    // Loading guarantees a two-class probability model, so both estimates are always written.
    m_label = svm_predict_probability(model, m_nodes.data(), m_prob);
}

double SubClassifier::getPositiveConfidence() const {
    const svm_model* model = m_model.get();
    if (!model || model->nr_class < 2) return 0.0;
    return model->label[0] < 1 ? m_prob[1] : m_prob[0];
}

double SubClassifier::getNegativeConfidence() const {
    const svm_model* model = m_model.get();
    if (!model || model->nr_class < 2) return 0.0;
    return model->label[0] < 1 ? m_prob[0] : m_prob[1];
}

double SubClassifier::getClassScore(const ObjectFeatures& features) {
    if (!hasModel()) return 0.0;
    setResults(features);
    return getPositiveConfidence();
}

bool SubClassifier::trainClass(const svm_parameter& params, const std::vector<FeatureRange>& ranges) {
    const svm_problem& problem = m_problem.problem();
    if (const char* error = svm_check_parameter(&problem, &params)) {
        std::fprintf(stderr, "Error: %s\n", error);
        clearModel();
        return false;
    }
    svm_model* trained = svm_train(&problem, &params);
    bool kept = false;
    if (trained && trained->l > 0) {
        SvmModel model;
        model.setName(m_name);
        kept = model.SetModel(*trained, ranges);
        if (kept) setModel(model);
    }
    if (trained) svm_free_and_destroy_model(&trained);
    if (!kept) clearModel();
    return kept;
}

double SubClassifier::do_cross_validation(const svm_parameter& params, int folds) {
    if (m_problem.empty() || params.svm_type == EPSILON_SVR || params.svm_type == NU_SVR) return 0.0;
    const svm_problem& problem = m_problem.problem();
    m_target.assign(problem.l, 0.0);
    svm_cross_validation(&problem, &params, folds, m_target.data());
    double tp = 0, fp = 0, fn = 0;
    for (int i = 0; i < problem.l; ++i) {
        const bool predictedPositive = std::fabs(m_target[i] - 1.0) < kLabelTolerance;
        if (std::fabs(problem.y[i] - 1.0) < kLabelTolerance) {
            (predictedPositive ? tp : fn) += 1;
        } else if (std::fabs(m_target[i] - problem.y[i]) >= kLabelTolerance) {
            fp += 1;
        }
    }
    const double precision = tp + fp > 0 ? tp / (tp + fp) : 0.0;
    const double recall = tp + fn > 0 ? tp / (tp + fn) : 0.0;
    if (precision + recall <= 0.001) return 0.0;
    return 200.0 * precision * recall / (precision + recall);
}
