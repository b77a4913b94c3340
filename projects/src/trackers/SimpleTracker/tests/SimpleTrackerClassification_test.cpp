// The classifier in the pipeline: on only with loaded models, a stray model file skipped, events below
// the minimum confidence dropped while it is on.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "SimpleTracker.h"
#include "SvmClassification.h"
#include "capture_logger.h"
#include "../../SvmClassification/tests/support/svm_samples.h"

namespace {

bool logged(CaptureLogger& logger, const std::string& text) {
    for (const std::string& line : logger.lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(SimpleTrackerClassification, ModelsTurnTheClassifierOn) {
    SvmClassification trainer;
    std::list<ClassificationModel> models;
    ASSERT_TRUE(trainer.train({makeClass("Human", flat(20), 40, 8, 1), makeClass("Vehicle", flat(60), 40, 8, 2)}, models));
    const std::string dir = ::testing::TempDir();
    const std::string human = dir + "Human.bin", stray = dir + "binder.txt";
    ASSERT_TRUE(models.front().toFile(human.c_str()));
    std::ofstream(stray) << "stray";

    struct Case {
        const char* name;
        std::vector<std::string> files;
        bool classifying;
        std::vector<std::string> lines;
    } cases[] = {
        {"no models", {}, false, {}},
        {"one model", {human}, true, {"Setting model " + human}},
        {"a stray file beside it", {human, stray}, true, {"Unable to load classification model:  " + stray}},
        {"only a stray file", {stray}, false, {"classification disabled"}},
    };
    for (const Case& c : cases) {
        CaptureLogger logger;
        SimpleTracker tracker(&logger, 0, false);
        SimpleTracker::Params p;
        p.minConfidence = 0.5f;
        for (const std::string& f : c.files) p.models.insert(f);
        ASSERT_TRUE(tracker.setParameters(p)) << c.name << ": " << tracker.getLastError();
        EXPECT_EQ(tracker.isClassifying(), c.classifying) << c.name;
        EXPECT_EQ(tracker.getClassifier().isEnabled(), c.classifying) << c.name;
        for (const std::string& line : c.lines) EXPECT_TRUE(logged(logger, line)) << c.name << ": " << line;

        ktsl::List<Event> events(2);
        events.front().setConfidence(49);
        events.back().setConfidence(50);
        tracker.filterEvents(events);
        ASSERT_EQ(events.size(), c.classifying ? 1u : 2u) << c.name;
        EXPECT_EQ(events.back().getConfidence(), 50) << c.name;
    }
    std::remove(human.c_str());
    std::remove(stray.c_str());
}
