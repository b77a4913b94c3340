// SvmClassifier training: problems from labelled data, the cross-validated grid search, the models.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SvmClassifier.h"

namespace {

constexpr double kDegenerateSpan = 0.000001;
constexpr int kFolds = 5;
constexpr double kGoodEnough = 99.9;   // F1 percent at which the search stops
constexpr double kMinAccuracy = 10.0;  // F1 percent below which a class is not trained
const int kLog2Costs[] = {-3, -1, 1, 3, 5, 7};
const int kLog2Gammas[] = {3, 1, -1, -3};

[[noreturn]] void usage() {
    std::printf(
        "Options:\n"
        "-s svm_type : set type of SVM (default 0)\n"
        "-t kernel_type : set type of kernel function (default 2)\n"
        "-d degree : set degree in kernel function (default 3)\n"
        "-g gamma : set gamma in kernel function (default 0)\n"
        "-r coef0 : set coef0 in kernel function (default 0)\n"
        "-c cost : set the parameter C of C-SVC (default 1)\n"
        "-n nu : set the parameter nu of nu-SVC (default 0.5)\n"
        "-p epsilon : set the epsilon in loss function of epsilon-SVR (default 0.1)\n"
        "-m cachesize : set cache memory size in MB (default 100)\n"
        "-e epsilon : set tolerance of termination criterion (default 0.001)\n"
        "-h shrinking : whether to use the shrinking heuristics, 0 or 1 (default 1)\n"
        "-b probability_estimates : whether to train a model for probability estimates, 0 or 1 (default 0)\n"
        "-w weight : set the parameter C of the positive class to weight*C (default 1)\n"
        "-v n : n-fold cross validation mode\n");
    std::exit(1);
}

void report(TrainingListener* listener, const kttl::String& message, double progress) {
    if (listener) listener->onTrainingProgress(message, progress, 2, 2);
}

}  // namespace

void SvmClassifier::setSvmParams(svm_parameter& p, const char* options, std::vector<int>& labels,
                                 std::vector<double>& weights, int* folds) {
    p = svm_parameter{};
    p.svm_type = C_SVC;
    p.kernel_type = RBF;
    p.degree = 3;
    p.gamma = 0;
    p.coef0 = 0;
    p.cache_size = 100;
    p.eps = 0.001;
    p.C = 1;
    p.nu = 0.5;
    p.p = 0.1;
    p.shrinking = 1;
    p.probability = 0;
    labels.clear();
    weights.clear();
    const char* s = options ? options : "";
    while (*s) {
        while (*s == ' ' || *s == '-') ++s;
        if (!*s) break;
        const char letter = *s++;
        while (*s == ' ') ++s;
        char* end = nullptr;
        const double v = std::strtod(s, &end);
        s = end;
        switch (letter) {
            case 's': p.svm_type = static_cast<int>(v); break;
            case 't': p.kernel_type = static_cast<int>(v); break;
            case 'd': p.degree = static_cast<int>(v); break;
            case 'g': p.gamma = v; break;
            case 'r': p.coef0 = v; break;
            case 'n': p.nu = v; break;
            case 'm': p.cache_size = v; break;
            case 'c': p.C = v; break;
            case 'e': p.eps = v; break;
            case 'p': p.p = v; break;
            case 'h': p.shrinking = static_cast<int>(v); break;
            case 'b': p.probability = static_cast<int>(v); break;
            case 'w':
                labels = {1, -1};
                weights = {v, 1.0};
                break;
            case 'v':
                if (v < 2) {
                    std::printf("n-fold cross validation: n must >= 2\n");
                    usage();
                }
                if (folds) *folds = static_cast<int>(v);
                break;
            default:
                std::printf("unknown option\n");
                usage();
        }
    }
    p.nr_weight = static_cast<int>(weights.size());
    p.weight_label = labels.empty() ? nullptr : labels.data();
    p.weight = weights.empty() ? nullptr : weights.data();
}

bool SvmClassifier::setSVMStruct(const std::list<TrainingData>& data, const std::vector<int>& enabled,
                                 kttl::String& report) {
    m_enabled = enabled;
    m_ranges.clear();
    for (int id : enabled) m_ranges.push_back(FeatureRange{id, INT32_MAX, INT32_MIN});

    // Read every vector once; the record count is checked before each class's vectors are kept.
    std::vector<std::pair<const kttl::String*, ObjectFeatures>> vectors;
    for (const TrainingData& d : data) {
        ktsl::MemIOStream stream(d.features);
        try {
            while (!stream.isEmpty()) {
                if (vectors.size() >= kMaxTrainingVectors) {
                    report += kttl::String::format("Too many training vectors: more than %zu", kMaxTrainingVectors);
                    clearModels();
                    return false;
                }
                ObjectFeatures f;
                stream.read(f);
                vectors.emplace_back(&d.className, f);
            }
        } catch (const std::exception&) {
            report += kttl::String::format("Unreadable training vectors of class %s", d.className.c_str());
            clearModels();
            return false;
        }
    }
    if (vectors.size() < kMinTrainingVectors) {
        report += kttl::String::format("Not enough training vectors: %zu (at least %zu)", vectors.size(),
                                       kMinTrainingVectors);
        clearModels();
        return false;
    }
    for (const auto& v : vectors)
        for (FeatureRange& r : m_ranges) {
            const int32_t value = v.second.getFeature(r.id);
            if (value < r.min) r.min = value;
            if (value > r.max) r.max = value;
        }
    for (size_t i = 0; i < m_ranges.size(); ++i)
        if (static_cast<double>(m_ranges[i].max) - m_ranges[i].min < 1)
            std::printf("Enabled Feature %zu with id %d has max of %f and min of %f\n", i, m_ranges[i].id,
                        static_cast<double>(m_ranges[i].max), static_cast<double>(m_ranges[i].min));

    clearModels();
    for (const auto& v : vectors)
        if (*v.first != kNoiseClass && !m_classes.count(*v.first)) m_classes.emplace(*v.first, SubClassifier(*v.first));

    std::vector<svm_node> nodes(m_ranges.size() + 1);
    for (const auto& v : vectors) {
        for (size_t i = 0; i < m_ranges.size(); ++i) {
            const FeatureRange& r = m_ranges[i];
            const double span = static_cast<double>(r.max) - r.min;
            const double value = span <= kDegenerateSpan ? 0.0 : 2.0 * (v.second.getFeature(r.id) - r.min) / span - 1.0;
            nodes[i] = svm_node{r.id, value};
        }
        nodes[m_ranges.size()] = svm_node{-1, 0.0};
        for (auto& entry : m_classes) entry.second.getProblem().add(nodes, *v.first == entry.first ? 1.0 : -1.0);
    }
    return true;
}

bool SvmClassifier::findOptimalParams(SubClassifier& sub, double& cost, double& gamma, double& weight,
                                      double& accuracy, kttl::String& text) {
    const int positives = sub.getProblem().getNumPositives(), negatives = sub.getProblem().getNumNegatives();
    if (!text.empty()) text += "\n";
    text += kttl::String::format("%s model creation: Positive Samples %d, Negative Samples %d", sub.getName().c_str(),
                                 positives, negatives);
    if (positives == 0 || negatives == 0) {
        text = kttl::String::format(
            "Need at least one training sample of each type for class %s. Positive Samples : %d, Negative Samples : %d",
            sub.getName().c_str(), positives, negatives);
        return false;
    }
    weight = static_cast<double>(negatives) / positives;
    double best = 0.0;
    int bestC = 0, bestG = 0;
    bool stop = false;
    for (int lc : kLog2Costs) {
        for (int lg : kLog2Gammas) {
            const double c = std::pow(2.0, lc), g = std::pow(2.0, lg);
            const kttl::String options = kttl::String::format("-c %f -b 1 -g %f -v %d -w %f", c, g, kFolds, weight);
            svm_parameter params;
            std::vector<int> labels;
            std::vector<double> weights;
            int folds = kFolds;
            setSvmParams(params, options.c_str(), labels, weights, &folds);
            const double score = sub.do_cross_validation(params, folds);
            if (score <= 0.0) {
                text += kttl::String::format(" \n%d fold cross validation failed for class %s. Cost is %f, gamma is %f, w is %f",
                                             kFolds, sub.getName().c_str(), c, g, weight);
            } else if (score > best) {
                best = score;
                bestC = lc;
                bestG = lg;
            }
            if (best > kGoodEnough) {
                stop = true;
                break;
            }
        }
        if (stop) break;
    }
    cost = std::pow(2.0, bestC);
    gamma = std::pow(2.0, bestG);
    accuracy = best;
    return best >= kMinAccuracy;
}

bool SvmClassifier::trainSVM(TrainingListener* listener, kttl::String& text) {
    if (m_classes.empty()) return true;
    m_scores.clear();
    const double step = 1.0 / (2.0 * static_cast<double>(m_classes.size()));
    double progress = 0.0;
    for (auto& entry : m_classes) {
        SubClassifier& sub = entry.second;
        report(listener, kttl::String::format("Training %s model...", entry.first.c_str()), progress);
        double cost = 1, gamma = 1, weight = 1, accuracy = 0;
        if (!findOptimalParams(sub, cost, gamma, weight, accuracy, text)) return false;
        m_scores[entry.first] = accuracy;
        const kttl::String options = kttl::String::format("-c %f -b 1 -g %f -w %f", cost, gamma, weight);
        const kttl::String line = kttl::String::format(
            "Enabled Features: %zu, Max Accuracy: %f best C:%f best G:%f Cost Positives: %f", m_ranges.size(), accuracy,
            cost, gamma, weight);
        text += "\n" + line;
        report(listener, line, progress);
        svm_parameter params;
        std::vector<int> labels;
        std::vector<double> weights;
        setSvmParams(params, options.c_str(), labels, weights);
        progress += step;
        report(listener, kttl::String::format("Training %s model...", entry.first.c_str()), progress);
        if (!sub.trainClass(params, m_ranges)) {
            text += kttl::String::format("\nTraining of class %s failed", entry.first.c_str());
            return false;
        }
        const svm_model* model = sub.getModel().get();
        kttl::String classes;
        for (int k = 0; k < model->nr_class; ++k)
            classes += kttl::String::format("\n  Class %d : sv %d", model->label[k], model->nSV[k]);
        text += classes;
        report(listener, classes, progress);
        progress += step;
    }
    return true;
}
