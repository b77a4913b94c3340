// Model files: round trips that predict the same, and hostile or truncated input refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "ClassificationModel.h"
#include "SvmClassification.h"
#include "support/svm_samples.h"

namespace {

// One model trained once for the whole file: "Human" against a second cluster.
const SvmModel& trainedModel() {
    static SvmModel model = [] {
        SvmClassification c;
        std::list<TrainingData> data{makeClass("Human", flat(40), 40, 12, 1), makeClass("Vehicle", flat(70), 40, 12, 2)};
        std::list<ClassificationModel> models;
        EXPECT_TRUE(c.train(data, models)) << c.getTrainingReport();
        SvmModel m;
        ktsl::MemIOStream s(models.front().getData());
        s.read(m);
        return m;
    }();
    return model;
}

std::vector<unsigned char> toBytes(const SvmModel& m) {
    std::vector<unsigned char> bin(m.getBinLength());
    EXPECT_EQ(m.toBin(bin.data()), bin.size());
    return bin;
}

template <class T>
void put(std::vector<unsigned char>& bin, size_t offset, T v) {
    std::memcpy(&bin[offset], &v, sizeof v);
}

std::vector<double> predictions(const SvmModel& m) {
    SubClassifier sub("Human");
    sub.setModel(m);
    std::vector<double> out;
    for (int level = 20; level <= 90; level += 5) out.push_back(sub.getClassScore(flatFeatures(level)));
    return out;
}

}  // namespace

TEST(SvmModel, CopiesAndBinaryFormsPredictTheSame) {
    const SvmModel& m = trainedModel();
    ASSERT_TRUE(m.isValid());
    const std::vector<double> expected = predictions(m);
    EXPECT_GT(expected.front(), 0.5);
    EXPECT_LT(expected.back(), 0.5);

    std::vector<unsigned char> bin = toBytes(m);
    SvmModel back;
    ASSERT_EQ(back.fromBin(bin.data(), static_cast<unsigned>(bin.size())), bin.size());
    EXPECT_EQ(predictions(back), expected);
    SvmModel copy;
    copy = back;
    back.deInitModel();
    EXPECT_EQ(predictions(copy), expected);

    // The classification model in its binary, file and base64 XML forms.
    ClassificationModel cm("Human", "SVM");
    cm.getData().write(m);
    ClassificationModel fromXml, fromFile;
    ASSERT_TRUE(fromXml.fromXML(cm.toXML("model").c_str()));
    const std::string path = ::testing::TempDir() + "Human.bin";
    ASSERT_TRUE(cm.toFile(path.c_str()));
    ASSERT_TRUE(fromFile.fromFile(path.c_str()));
    for (const ClassificationModel* read : {&fromXml, &fromFile}) {
        SvmClassifier classifier;
        ASSERT_TRUE(classifier.setModel(*read));
        std::map<kttl::String, double> scores;
        ASSERT_EQ(classifier.getClassScore(flatFeatures(20), scores), 1);
        EXPECT_EQ(scores["Human"], expected.front());
    }
    EXPECT_FALSE(fromXml.fromXML("<model name=\"Human\" type=\"SVM\">AB$=</model>"));
    std::remove(path.c_str());
}

TEST(SvmModel, RefusesHostileAndTruncatedInput) {
    const SvmModel& m = trainedModel();
    const std::vector<unsigned char> good = toBytes(m);
    const unsigned F = static_cast<unsigned>(m.getRanges().size());
    const unsigned l = static_cast<unsigned>(m.getNumSupportVectors());
    const size_t R = 21 + m.getName().getBinLength();  // first range
    const size_t P = R + 12 * F;                       // svm_type
    const size_t S = P + 52 + 24 + 20;                 // first node (the model has two class weights)
    const size_t L = S + size_t(l) * (F + 1) * 12 + l * 8 + 24;  // labels
    ASSERT_EQ(L + 20, good.size());
    const double nan = std::numeric_limits<double>::quiet_NaN();

    struct Case {
        const char* name;
        void (*edit)(std::vector<unsigned char>&, size_t R, size_t P, size_t S, size_t L, unsigned F, double nan);
    } cases[] = {
        {"F beyond the bytes", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 1, 0x7fffffff); }},
        {"negative F", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 1, -1); }},
        {"nr_weight 1", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 5, 1); }},
        {"no probability", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 9, 0); }},
        {"k of 1", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 13, 1); }},
        {"k of 65536", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 13, 65536); }},
        {"l wrapping 32 bits", [](auto& b, size_t, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, 17, 0x15555556); }},
        {"range id 62", [](auto& b, size_t R, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, R, 62); }},
        {"range id 0", [](auto& b, size_t R, size_t, size_t, size_t, unsigned, double) { put<int32_t>(b, R, 0); }},
        {"regression machine", [](auto& b, size_t, size_t P, size_t, size_t, unsigned, double) { put<int32_t>(b, P, 3); }},
        {"precomputed kernel", [](auto& b, size_t, size_t P, size_t, size_t, unsigned, double) { put<int32_t>(b, P + 4, 4); }},
        {"NaN gamma", [](auto& b, size_t, size_t P, size_t, size_t, unsigned, double n) { put<double>(b, P + 12, n); }},
        {"C of 0", [](auto& b, size_t, size_t P, size_t, size_t, unsigned, double) { put<double>(b, P + 44, 0.0); }},
        {"NaN weight", [](auto& b, size_t, size_t P, size_t, size_t, unsigned, double n) { put<double>(b, P + 60, n); }},
        {"vector not ending in -1", [](auto& b, size_t, size_t, size_t S, size_t, unsigned F, double) { put<int32_t>(b, S + 12 * F, 5); }},
        {"vector ending early", [](auto& b, size_t, size_t, size_t S, size_t, unsigned, double) { put<int32_t>(b, S, -1); }},
        {"infinite value", [](auto& b, size_t, size_t, size_t S, size_t, unsigned, double) { put<double>(b, S + 4, HUGE_VAL); }},
        {"label 2", [](auto& b, size_t, size_t, size_t, size_t L, unsigned, double) { put<int32_t>(b, L, 2); }},
        {"equal labels", [](auto& b, size_t, size_t, size_t, size_t L, unsigned, double) { put<int32_t>(b, L + 4, 1); put<int32_t>(b, L, 1); }},
        {"negative nSV", [](auto& b, size_t, size_t, size_t, size_t L, unsigned, double) { put<int32_t>(b, L + 8, -1); }},
        {"nSV not summing to l", [](auto& b, size_t, size_t, size_t, size_t L, unsigned, double) { put<int32_t>(b, L + 8, 0); }},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bad = good;
        c.edit(bad, R, P, S, L, F, nan);
        SvmModel read(m);
        EXPECT_THROW(read.fromBin(bad.data(), static_cast<unsigned>(bad.size())), kttl::Exception) << c.name;
        EXPECT_EQ(predictions(read), predictions(m)) << c.name << ": a refused read leaves the model";
    }
    for (size_t n = 0; n < good.size(); ++n) {
        SvmModel read;
        EXPECT_THROW(read.fromBin(good.data(), static_cast<unsigned>(n)), kttl::Exception) << n << " bytes";
    }
}

TEST(SvmModel, FilesAboveTheCapAreRefusedUnread) {
    const std::string path = ::testing::TempDir() + "big.bin";
    {
        std::ofstream f(path, std::ios::binary);
        f.seekp(static_cast<std::streamoff>(ClassificationModel::kMaxFileBytes));
        f.put('x');
    }
    ClassificationModel m;
    EXPECT_FALSE(m.fromFile(path.c_str()));
    std::remove(path.c_str());
}
