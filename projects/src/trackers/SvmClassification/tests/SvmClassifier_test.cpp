// Class decision from accumulated evidence, and training: weights, the grid search and refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "SvmClassification.h"
#include "support/svm_samples.h"

TEST(SvmClassifier, ClassDecisionFromAccumulatedEvidence) {
    struct Case {
        const char* name;
        std::map<kttl::String, double> histogram;
        const char* expected;
    } cases[] = {
        {"margin below 0.1", {{"Human", 1.50}, {"Vehicle", 1.45}}, "none"},
        {"clear margin", {{"Human", 1.50}, {"Vehicle", 1.30}}, "Human"},
        {"second larger", {{"Human", 1.30}, {"Vehicle", 1.50}}, "Vehicle"},
        {"unknown wins", {{"Human", 0.2}, {"unknown", 2.5}}, "unknown"},
        {"total below 2.0", {{"Human", 1.99}}, "none"},
        {"total of 2.0", {{"Human", 2.0}}, "Human"},
        {"empty", {}, "none"},
    };
    for (const Case& c : cases) {
        ObjectInfo info;
        info.classHistogram = c.histogram;
        for (const auto& e : c.histogram) info.total += e.second;
        info.frames = 4;
        EXPECT_EQ(SvmClassifier::computeClassID(info), c.expected) << c.name;
        info.reportable = true;
        const auto confidences = SvmClassifier::getNormalizedConfidences(info);
        if (info.total < 2.0) {
            EXPECT_TRUE(confidences.empty()) << c.name;
        } else {
            for (const auto& e : c.histogram) EXPECT_DOUBLE_EQ(confidences.at(e.first), std::sqrt(e.second / 4)) << c.name;
        }
    }
}

// Trained on two clusters plus noise, the classifier accumulates evidence per class, and features
// that no class claims go to "unknown".
TEST(SvmClassifier, EvidenceAccumulatesPerClassAndUnknown) {
    SvmClassification c;
    std::list<TrainingData> data{makeClass("Human", flat(20), 40, 8, 1), makeClass("Vehicle", flat(60), 40, 8, 2),
                                 makeClass("kt-noise", flat(100), 40, 8, 3)};
    std::list<ClassificationModel> models;
    ASSERT_TRUE(c.train(data, models)) << c.getTrainingReport();
    ASSERT_EQ(models.size(), 2u);  // no model for the noise
    SvmClassifier& classifier = c.getClassifier();
    struct Case {
        int32_t level;
        const char* expected;
    } cases[] = {{20, "Human"}, {60, "Vehicle"}, {100, "unknown"}};
    for (const Case& k : cases) {
        ObjectInfo info;
        for (int frame = 0; frame < 5; ++frame) {
            classifier.classify(flatFeatures(k.level));
            classifier.updateClassHistogram(info);
        }
        EXPECT_EQ(info.frames, 5);
        EXPECT_EQ(SvmClassifier::computeClassID(info), k.expected) << k.level;
    }
    // A model named "kt-noise" is accepted and ignored.
    EXPECT_TRUE(classifier.setModel(ClassificationModel("kt-noise", "SVM")));
    EXPECT_EQ(classifier.getClassNames().size(), 2u);
}

TEST(SvmClassifier, GridSearchWeightsAndOptions) {
    svm_parameter p;
    std::vector<int> labels;
    std::vector<double> weights;
    int folds = 0;
    SvmClassifier::setSvmParams(p, "-c 0.125000 -b 1 -g 8.000000 -v 5 -w 4.000000", labels, weights, &folds);
    EXPECT_EQ(p.C, 0.125);
    EXPECT_EQ(p.gamma, 8.0);
    EXPECT_EQ(p.probability, 1);
    EXPECT_EQ(folds, 5);
    ASSERT_EQ(p.nr_weight, 2);
    EXPECT_EQ(p.weight_label[0], 1);
    EXPECT_EQ(p.weight[0], 4.0);
    EXPECT_EQ(p.weight[1], 1.0);
    EXPECT_EQ(p.svm_type, C_SVC);
    EXPECT_EQ(p.kernel_type, RBF);

    // 20 positives against 80 negatives, far apart: w = 4 and the first pair already scores 100.
    SvmClassifier classifier;
    std::list<TrainingData> data{makeClass("Human", flat(10), 20, 3, 4), makeClass("Vehicle", flat(90), 80, 3, 5)};
    kttl::String report;
    ASSERT_TRUE(classifier.setSVMStruct(data, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}, report));
    SubClassifier& human = const_cast<SubClassifier&>(classifier.getSubClassifiers().at("Human"));
    double cost = 0, gamma = 0, weight = 0, accuracy = 0;
    ASSERT_TRUE(classifier.findOptimalParams(human, cost, gamma, weight, accuracy, report)) << report;
    EXPECT_EQ(weight, 4.0);
    EXPECT_GT(accuracy, 99.9);
    EXPECT_EQ(cost, 0.125);
    EXPECT_EQ(gamma, 8.0);
    EXPECT_NE(report.find("Human model creation: Positive Samples 20, Negative Samples 80"), std::string::npos);
}

TEST(SvmClassifier, TrainingRefusals) {
    struct Case {
        const char* name;
        std::list<TrainingData> data;
        bool trains;
        size_t classes;
    } cases[] = {
        {"only kt-noise", {makeClass("kt-noise", flat(30), 40, 5, 1)}, true, 0},
        {"under 30 vectors", {makeClass("Human", flat(20), 14, 5, 1), makeClass("Vehicle", flat(60), 15, 5, 2)}, false, 0},
        {"one class only", {makeClass("Human", flat(20), 40, 5, 1)}, false, 1},
    };
    for (const Case& c : cases) {
        SvmClassification process;
        std::list<ClassificationModel> models;
        EXPECT_EQ(process.train(c.data, models), c.trains) << c.name << ": " << process.getTrainingReport();
        EXPECT_EQ(process.getClassifier().getSubClassifiers().size(), c.classes) << c.name;
        EXPECT_FALSE(process.getClassifier().hasModels()) << c.name;
    }
}
