// Dense prediction against libsvm: the same label, decision value and probabilities to the last bit.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "DenseSvm.h"
#include "SvmClassification.h"
#include "support/svm_samples.h"

namespace {

constexpr int kFirstId = 10;
constexpr int kDims = 12;
constexpr int kQueries = 300;

void silent(const char*) {}

std::vector<int> queryIds() {
    std::vector<int> ids;
    for (int i = 0; i < kDims; ++i) ids.push_back(kFirstId + i);
    return ids;
}

// Query values as scaling produces them: mostly inside -1..1, some exact zeros, some far outside.
std::vector<svm_node> randomQuery(std::mt19937& rng) {
    std::uniform_real_distribution<double> inside(-1.0, 1.0), outside(-40.0, 40.0);
    std::vector<svm_node> q;
    for (int i = 0; i < kDims; ++i) {
        const unsigned pick = rng() % 10;
        q.push_back(svm_node{kFirstId + i, pick == 0 ? 0.0 : pick == 1 ? outside(rng) : inside(rng)});
    }
    q.push_back(svm_node{-1, 0.0});
    return q;
}

struct TrainCase {
    const char* name;
    int svmType, kernel, degree;
    double gamma, coef0;
    double dropRate;     // share of nodes left out of the training vectors (and so of the SVs)
    bool extraIndex;     // vectors also carry an index the query never has
    bool negativeFirst;  // labels -1, 1 in the model (libsvm itself always puts 1 first; a file need not)
};

// A noisy two-class problem, trained by libsvm with probability estimates.
struct Trained {
    std::vector<std::vector<svm_node>> rows;
    std::vector<svm_node*> x;
    std::vector<double> y;
    svm_problem problem{};
    svm_parameter param{};
    svm_model* model = nullptr;
    ~Trained() {
        if (model) svm_free_and_destroy_model(&model);
    }
};

void train(const TrainCase& c, uint32_t seed, Trained& t) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n = 0; n < 120; ++n) {
        std::vector<svm_node> row;
        double s = 0;
        for (int i = 0; i < kDims; ++i) {
            const double v = u(rng);
            s += i < 3 ? v : 0.0;
            if (static_cast<double>(rng() % 1000) / 1000.0 >= c.dropRate) row.push_back(svm_node{kFirstId + i, v});
        }
        if (c.extraIndex && n % 3 == 0) row.push_back(svm_node{40, u(rng)});
        row.push_back(svm_node{-1, 0.0});
        t.rows.push_back(row);
        t.y.push_back(s + 0.4 * u(rng) > 0 ? 1 : -1);
    }
    for (auto& row : t.rows) t.x.push_back(row.data());
    t.problem.l = static_cast<int>(t.rows.size());
    t.problem.x = t.x.data();
    t.problem.y = t.y.data();
    svm_parameter& p = t.param;
    p.svm_type = c.svmType;
    p.kernel_type = c.kernel;
    p.degree = c.degree;
    p.gamma = c.gamma;
    p.coef0 = c.coef0;
    p.cache_size = 20;
    p.eps = 0.001;
    p.C = 1;
    p.nu = 0.5;
    p.shrinking = 1;
    p.probability = 1;
    ASSERT_EQ(svm_check_parameter(&t.problem, &p), nullptr) << c.name;
    t.model = svm_train(&t.problem, &p);
    ASSERT_NE(t.model, nullptr);
}

// Every query through both: EXPECT_EQ on the doubles, not a tolerance.
void expectIdentical(const svm_model& model, const char* name, uint32_t seed) {
    DenseSvm dense;
    ASSERT_TRUE(dense.build(model, queryIds())) << name;
    std::mt19937 rng(seed);
    for (int n = 0; n < kQueries; ++n) {
        const std::vector<svm_node> q = randomQuery(rng);
        double libProb[2] = {-1, -1}, libDecision = 0, prob[2] = {-2, -2}, decision = 1;
        const double libLabel = svm_predict_probability(&model, q.data(), libProb);
        svm_predict_values(&model, q.data(), &libDecision);
        const double label = dense.predict(q.data(), decision, prob);
        EXPECT_EQ(label, libLabel) << name << " query " << n;
        EXPECT_EQ(decision, libDecision) << name << " query " << n;
        EXPECT_EQ(prob[0], libProb[0]) << name << " query " << n;
        EXPECT_EQ(prob[1], libProb[1]) << name << " query " << n;
    }
}

}  // namespace

TEST(DenseSvm, TrainedModelsPredictBitIdenticallyToLibsvm) {
    svm_set_print_string_function(&silent);
    const TrainCase cases[] = {
        {"rbf", C_SVC, RBF, 3, 0.5, 0, 0.0, false, false},
        {"rbf wide, labels -1 first", C_SVC, RBF, 3, 8.0, 0, 0.0, false, true},
        {"rbf, missing indices", C_SVC, RBF, 3, 0.25, 0, 0.3, false, false},
        {"rbf, missing and extra indices, labels -1 first", C_SVC, RBF, 3, 1.0, 0, 0.4, true, true},
        {"linear", C_SVC, LINEAR, 3, 0, 0, 0.0, false, false},
        {"linear, missing indices, labels -1 first", C_SVC, LINEAR, 3, 0, 0, 0.3, true, true},
        {"poly degree 3", C_SVC, POLY, 3, 0.5, 1.0, 0.0, false, false},
        {"poly degree 2, missing indices", C_SVC, POLY, 2, 0.3, -0.5, 0.3, false, true},
        {"sigmoid", C_SVC, SIGMOID, 3, 0.05, -0.2, 0.0, false, false},
        {"sigmoid, missing and extra indices", C_SVC, SIGMOID, 3, 0.1, 0.3, 0.3, true, true},
        {"nu-svc rbf", NU_SVC, RBF, 3, 0.5, 0, 0.2, false, false},
    };
    uint32_t seed = 1;
    for (const TrainCase& c : cases) {
        Trained t;
        train(c, seed, t);
        ASSERT_NE(t.model, nullptr);
        EXPECT_GT(t.model->l, 10) << c.name;
        if (c.negativeFirst) {
            std::swap(t.model->label[0], t.model->label[1]);
            std::swap(t.model->nSV[0], t.model->nSV[1]);
        }
        expectIdentical(*t.model, c.name, seed + 100);
        ++seed;
    }
}

TEST(DenseSvm, OneVectorModelsAndRefusals) {
    std::vector<svm_node> sv{{10, 0.5}, {13, -0.25}, {21, 1.0}, {-1, 0.0}};
    svm_node* svs[] = {sv.data()};
    double coef[] = {0.75};
    double* coefRows[] = {coef};
    double rho[] = {0.1}, probA[] = {-3.0}, probB[] = {0.2};
    int labels[] = {1, -1}, nSV[] = {1, 0};
    svm_model m{};
    m.param.svm_type = C_SVC;
    m.param.gamma = 0.5;
    m.param.coef0 = 0.5;
    m.param.degree = 3;
    m.param.probability = 1;
    m.nr_class = 2;
    m.l = 1;
    m.SV = svs;
    m.sv_coef = coefRows;
    m.rho = rho;
    m.probA = probA;
    m.probB = probB;
    m.label = labels;
    m.nSV = nSV;
    for (int kernel : {LINEAR, POLY, RBF, SIGMOID}) {
        m.param.kernel_type = kernel;
        expectIdentical(m, "one vector", 7 + kernel);
        labels[0] = -1;
        labels[1] = 1;
        std::swap(nSV[0], nSV[1]);
        expectIdentical(m, "one vector, labels -1 first", 11 + kernel);
        labels[0] = 1;
        labels[1] = -1;
        std::swap(nSV[0], nSV[1]);
    }

    // What the dense copy cannot reproduce is left to libsvm.
    DenseSvm dense;
    m.param.kernel_type = PRECOMPUTED;
    EXPECT_FALSE(dense.build(m, queryIds())) << "precomputed kernel";
    m.param.kernel_type = RBF;
    EXPECT_FALSE(dense.build(m, {10, 12, 11})) << "query ids out of order";
    sv[1].index = 9;
    EXPECT_FALSE(dense.build(m, queryIds())) << "vector indices out of order";
    sv[1].index = 13;
    nSV[0] = 2;
    EXPECT_FALSE(dense.build(m, queryIds())) << "nSV not summing to l";
    nSV[0] = 1;
    m.probA = nullptr;
    EXPECT_FALSE(dense.build(m, queryIds())) << "no probability pair";
    m.probA = probA;
    std::vector<int> wide;
    for (int id = 100; id < 100 + DenseSvm::kMaxColumns; ++id) wide.push_back(id);
    EXPECT_FALSE(dense.build(m, wide)) << "more distinct indices than columns";
    EXPECT_FALSE(dense.ready());
    EXPECT_TRUE(dense.build(m, queryIds()));
}

// The sub-classifier predicts densely on a trained model and agrees with libsvm on the scaled nodes.
TEST(DenseSvm, SubClassifierMatchesLibsvm) {
    SvmClassification c;
    std::list<TrainingData> data{makeClass("Human", flat(40), 40, 12, 1), makeClass("Vehicle", flat(70), 40, 12, 2)};
    std::list<ClassificationModel> models;
    ASSERT_TRUE(c.train(data, models)) << c.getTrainingReport();
    SubClassifier sub("Human");
    sub.setModel(c.getClassifier().getSubClassifiers().at("Human").getModel());
    ASSERT_TRUE(sub.predictsDensely());
    const svm_model* model = sub.getModel().get();
    for (int level = 0; level <= 120; level += 3) {
        const ObjectFeatures f = flatFeatures(level);
        std::vector<svm_node> nodes;
        for (const FeatureRange& r : sub.getModel().getRanges())
            nodes.push_back(svm_node{r.id, -1.0 + 2.0 * (static_cast<double>(f.getFeature(r.id)) - r.min) /
                                                    (static_cast<double>(r.max) - r.min)});
        nodes.push_back(svm_node{-1, 0.0});
        double prob[2];
        const double label = svm_predict_probability(model, nodes.data(), prob);
        sub.setResults(f);
        EXPECT_EQ(sub.getLabel(), label) << level;
        EXPECT_EQ(sub.getPositiveConfidence(), model->label[0] < 1 ? prob[1] : prob[0]) << level;
        EXPECT_EQ(sub.getNegativeConfidence(), model->label[0] < 1 ? prob[0] : prob[1]) << level;
    }
}
