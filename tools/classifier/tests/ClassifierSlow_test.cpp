// kt_classifier end to end: samples collected from two seeds of the synthetic scene train models that
// label the movers of a held-out seed well above chance, and the models install in the pipeline.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
    for (const char* f : {"samples.bin", "Human.bin", "Vehicle.bin"}) std::remove((dir + "/" + f).c_str());
    rmdir(dir.c_str());
}
