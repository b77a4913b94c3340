// kt_classifier end to end: samples collected from two seeds of the synthetic scene train models that
// label the movers of a held-out seed well above chance, and the application, given those models in
// its home, classifies the movers and drops the alarms below its minimum class confidence.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../../../app/tests/process_runner.h"
#include "../../../app/tests/temp_home.h"
#include "../../../sdk/tests/clip_writer.h"
#include "csdk_synthetic.h"
#include "csdk_truth.h"

namespace {

// Runs the tool; its standard output, and whether it exited 0.
bool run(const std::string& args, std::string& out) {
    const std::string command = std::string(KT_TEST_EMULATOR " ") + KT_BINARY_DIR + "/tools/kt_classifier " + args;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    char buf[4096];
    out.clear();
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return pclose(p) == 0;
}

double field(const std::string& text, const std::string& name) {
    const size_t at = text.rfind(" " + name + "=");
    return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + name.size() + 2);
}

const int kAppWaitMs = 60000;  // start-up, or alarms of a 2x scene, however loaded or emulated

// The confidences of the application's alarms so far ("Sending Event N (Confidence C) ...").
std::vector<int> alarmConfidences(const ProcessRunner& app) {
    std::vector<int> out;
    for (const std::string& line : app.out()) {
        const size_t at = line.find("(Confidence ");
        if (line.find("Sending Event ") != std::string::npos && at != std::string::npos)
            out.push_back(std::atoi(line.c_str() + at + 12));
    }
    return out;
}

// Runs the application on the synthetic scene with the models in `models` copied into a fresh home
// and the given minimum class confidence (percent), until `enough` says the alarms so far suffice or
// the wait ends; returns the alarms' confidences.
std::vector<int> runApplication(const std::string& models, int minPercent, std::string& log,
                                bool (*enough)(const std::vector<int>&)) {
    TempHome home;
    for (const char* cls : {"Human", "Vehicle"}) {
        std::ifstream in(models + "/" + cls + ".bin", std::ios::binary);
        std::ofstream(home.path() + "/html/" + cls + ".bin", std::ios::binary) << in.rdbuf();
    }
    home.write("default_settings_xml.txt",
               "<settings><video_resolution>320 x 240</video_resolution><zone_type>exclusion</zone_type>"
               "<min_distance>20</min_distance><min_age>2</min_age><min_age_unit>seconds</min_age_unit>"
               "<min_width>5</min_width><min_height>11</min_height><sensitivity>50</sensitivity>"
               "<classification>on</classification><min_classification>" +
                   std::to_string(minPercent) + "</min_classification></settings>");
    ProcessRunner app(std::string(KT_BINARY_DIR) + "/app/veltrano", {"-port", "0"},
                      {{"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_FPS", "50"},
                       {"CSDK_RESOLUTIONS", ""}, {"CSDK_DAYNIGHT", ""}, {"CSDK_AT_END", ""}, {"CSDK_INIT_ERROR", ""},
                       {"CSDK_REFRESH_FAIL", ""}, {"CSDK_EVENT_LOG", ""}});
    // Pumps the output for half a second at a time (no line holds this text).
    for (int waited = 0; waited < kAppWaitMs && !enough(alarmConfidences(app)); waited += 500)
        app.waitForLine("\x01", 500);
    app.sendSignal(SIGTERM);
    app.waitExit(15000);
    log = app.dump();
    return alarmConfidences(app);
}

bool belowNinety(const std::vector<int>& c) {
    for (int v : c)
        if (v < 90) return true;
    return c.size() >= 12;
}
bool fiveAlarms(const std::vector<int>& c) { return c.size() >= 5; }

}  // namespace

TEST(ClassifierSlow, TrainsOnTwoSeedsAndLabelsAHeldOutOne) {
    const std::string dir = ::testing::TempDir() + "kt_classifier_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    std::string out;
    ASSERT_TRUE(run("collect --out " + dir + "/samples.bin --seeds 1-2 --seconds 40", out)) << out;
    EXPECT_GT(field(out, "Human"), 100);
    EXPECT_GT(field(out, "Vehicle"), 50);

    ASSERT_TRUE(run("train --out " + dir + " " + dir + "/samples.bin", out)) << out;
    EXPECT_NE(out.find("\ntrain classes=2 vectors="), std::string::npos) << out;
    EXPECT_NE(out.find("Human model creation: Positive Samples"), std::string::npos);
    struct stat st;
    for (const char* cls : {"Human", "Vehicle"}) EXPECT_EQ(stat((dir + "/" + cls + ".bin").c_str(), &st), 0) << cls;

    ASSERT_TRUE(run("eval --models " + dir + " --seeds 104 --seconds 40", out)) << out;
    SCOPED_TRACE(out);
    EXPECT_GE(field(out, "objects"), 10);
    EXPECT_GE(field(out, "balanced"), 0.75);
    EXPECT_LE(field(out, "none"), 0.2);
    EXPECT_DOUBLE_EQ(field(out, "chance"), 0.5);

    {
        // Every alarm passes at 0 %; the classifier's confidences show (an unclassified alarm says 100),
        // and some first alarms of a track are below 90 %.
        std::string log;
        const std::vector<int> all = runApplication(dir, 0, log, belowNinety);
        SCOPED_TRACE(log);
        for (const char* cls : {"Human", "Vehicle"})
            EXPECT_NE(log.find(std::string("/html/") + cls + ".bin\n"), std::string::npos) << cls;
        EXPECT_NE(log.find("Setting model "), std::string::npos);
        EXPECT_NE(log.find("Min Class Confidence     : 0.000000"), std::string::npos);
        ASSERT_FALSE(all.empty());
        EXPECT_LT(*std::min_element(all.begin(), all.end()), 90);
        // At 90 % only the confident ones are sent.
        const std::vector<int> confident = runApplication(dir, 90, log, fiveAlarms);
        EXPECT_NE(log.find("Min Class Confidence     : 0.900000"), std::string::npos);
        ASSERT_FALSE(confident.empty());
        for (int c : confident) EXPECT_GE(c, 90);
    }
    for (const char* f : {"samples.bin", "Human.bin", "Vehicle.bin"}) std::remove((dir + "/" + f).c_str());
    rmdir(dir.c_str());
}

// A clip of the scene with the truth log the stand-in would write for it collects the samples the
// scene itself gives: the clip is lossless, so the pipeline sees the very same frames.
TEST(ClassifierSlow, ClipWithItsTruthCollectsAsTheSceneDoes) {
    const int w = 320, h = 240, frames = 20 * 25;
    const std::string dir = ::testing::TempDir() + "kt_classifier_clip_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string clip = dir + "/scene.mkv", truth = dir + "/truth.jsonl", broken = dir + "/broken.jsonl";
    {
        csdk_standin::SyntheticScene scene(false, false, 0);
        scene.setSeed(3);
        ASSERT_TRUE(scene.prepare(w, h));
        std::ofstream log(truth);
        std::vector<uint8_t> nv21(w * h * 3 / 2);
        std::vector<csdk_standin::SyntheticScene::MoverBox> boxes, visible;
        ASSERT_TRUE(testclip::writeClip(clip, w, h, frames, [&](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
            scene.moverBoxes(i / csdk_standin::SyntheticScene::kSceneFps, boxes);
            csdk_standin::visibleMovers(boxes, w, h, visible);
            log << csdk_standin::truthLine(uint64_t(i), visible) << "\n";
            if (scene.next(nv21.data()) != csdk_standin::FrameSource::Result::Ok) return false;
            for (int r = 0; r < h; ++r) std::copy(&nv21[size_t(r) * w], &nv21[size_t(r) * w] + w, y + r * ys);
            const uint8_t* vu = nv21.data() + size_t(w) * h;
            for (int r = 0; r < h / 2; ++r)
                for (int c = 0; c < w / 2; ++c) {
                    v[r * cs + c] = vu[size_t(r) * w + 2 * c];
                    u[r * cs + c] = vu[size_t(r) * w + 2 * c + 1];
                }
            return true;
        }));
    }
    std::string fromScene, fromClip;
    ASSERT_TRUE(run("collect --out " + dir + "/a.bin --seeds 3 --seconds 20", fromScene)) << fromScene;
    ASSERT_TRUE(run("collect --out " + dir + "/b.bin --clip " + clip + " --truth " + truth + " --seconds 20", fromClip))
        << fromClip;
    // The truth file names only the movers at least half in view, clipped to the frame and rounded to
    // a tenth of a pixel, so objects at the frame's edges may match differently.
    for (const char* cls : {"Human", "Vehicle", "kt-noise"})
        EXPECT_NEAR(field(fromScene, cls), field(fromClip, cls), 3 + 0.1 * field(fromScene, cls)) << cls;
    EXPECT_GT(field(fromClip, "Human"), 10) << fromClip;
    EXPECT_NE(fromClip.find("collect clip="), std::string::npos);

    // A truth file that does not parse, or a clip without its truth, is refused.
    std::ofstream(broken) << "{\"frame\":0,\"movers\":[{\"id\":0,\"class\":\"person\",\"box\":[1,2,3]}]}\n";
    EXPECT_FALSE(run("collect --out " + dir + "/c.bin --clip " + clip + " --truth " + broken + " --seconds 20", fromClip));
    EXPECT_FALSE(run("collect --out " + dir + "/c.bin --clip " + clip + " --seconds 20", fromClip));
    for (const std::string& f : {clip, truth, broken, dir + "/a.bin", dir + "/b.bin"}) std::remove(f.c_str());
    rmdir(dir.c_str());
}
