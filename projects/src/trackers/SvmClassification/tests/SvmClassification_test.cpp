// The classification process: its interface ids, its parameters and how it loads model files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "SvmClassification.h"
#include "capture_logger.h"
#include "support/svm_samples.h"

namespace {

std::list<ClassificationModel> trainTwo() {
    SvmClassification c;
    std::list<TrainingData> data{makeClass("Human", flat(20), 40, 8, 1), makeClass("Vehicle", flat(60), 40, 8, 2)};
    std::list<ClassificationModel> models;
    EXPECT_TRUE(c.train(data, models)) << c.getTrainingReport();
    return models;
}

bool logged(CaptureLogger& logger, const std::string& text) {
    for (const std::string& line : logger.lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(SvmClassification, AnswersItsFiveInterfaces) {
    SvmClassification c;
    for (const char* iid : {"{ED512152-DA9E-43b6-A7FE-352243634713}", "{7207013e-24a7-4ac3-a04b-17623102f82d}",
                            "{F7382F53-454C-4f39-A255-4DF7DF5B5EE1}", "{D59FED8D-450F-41f4-8B0E-DF1989AF5FA9}",
                            "{FC85E573-5EF9-4d3c-8C07-D9068EE85954}"}) {
        ktpl::Plugin* part = nullptr;
        EXPECT_TRUE(c.supports(iid, &part) && part != nullptr) << iid;
    }
    EXPECT_FALSE(c.supports("{2568ADEE-B4F4-4db1-9282-9823C1CC390C}", nullptr));
    EXPECT_EQ(c.getProcessType(), "SvmClassification");
    EXPECT_EQ(c.getModelType(), "SVM");
}

// Embedded models survive the XML body and the binary payload; one unreadable file among good ones
// is logged and skipped, the rest classify, and the parameters still report the failure.
TEST(SvmClassification, LoadsEmbeddedModelsAndSkipsUnreadableFiles) {
    const std::list<ClassificationModel> models = trainTwo();
    ClassificationParams params;
    for (const ClassificationModel& m : models) params.models[m.getName()] = m;
    params.requiredClasses.insert("Human");

    ProcessParams viaXml, viaBin;
    ASSERT_TRUE(viaXml.fromXML(params.toXML("SvmClassification").c_str()));
    std::vector<unsigned char> bin(params.getBinLength());
    params.toBin(bin.data());
    ASSERT_EQ(viaBin.fromBin(bin.data(), static_cast<unsigned>(bin.size())), bin.size());
    for (ProcessParams* p : {&viaXml, &viaBin}) {
        SvmClassification c;
        ASSERT_TRUE(c.setParameters(*p));
        EXPECT_EQ(c.getClassNames(), (ktsl::Set<kttl::String>{"Human", "Vehicle"}));
    }

    const std::string dir = ::testing::TempDir();
    const std::string good = dir + "Human.bin", stray = dir + "notes.bin.txt";
    ASSERT_TRUE(models.front().toFile(good.c_str()));
    std::ofstream(stray) << "not a model";
    ClassificationParams files;
    files.modelPaths = {good, stray};
    CaptureLogger logger;
    SvmClassification c;
    c.setLogger(&logger);
    EXPECT_FALSE(c.setParameters(files));
    EXPECT_TRUE(logged(logger, "Loading model:  " + good));
    EXPECT_TRUE(logged(logger, "Unable to load classification model:  " + stray));
    EXPECT_EQ(c.getClassNames(), (ktsl::Set<kttl::String>{"Human"}));
    std::remove(good.c_str());
    std::remove(stray.c_str());
}
