// The frame-failure rule on the real program: 50 failed refreshes in a row, 2 seconds each, stop the
// application with status 0. Slow by design (about 100 s).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "process_runner.h"

TEST(VeltranoRun, FiftyFailedRefreshesStopTheApplication) {
    char dir[] = "/tmp/veltrano_fail_XXXXXX";
    const std::string home = mkdtemp(dir);
    mkdir((home + "/html").c_str(), 0755);
    std::ofstream(home + "/html/default_settings_xml.txt") << "<s><video_resolution>QCIF</video_resolution></s>";
    const auto start = std::chrono::steady_clock::now();
    ProcessRunner app(std::string(KT_BINARY_DIR) + "/app/veltrano", {},
                      {{"CS_APP_HOME", home}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_REFRESH_FAIL", "1000"},
                       {"CSDK_INIT_ERROR", ""}, {"CSDK_RESOLUTIONS", ""}});
    const int status = app.waitExit(200000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(status, 0) << app.dump();
    EXPECT_EQ(app.lines("ERR  csdk_refresh_vframe failed.").size(), 50u);
    const std::vector<int> at = app.order({"csdk_refresh_vframe failed.", "Stopping application ...",
                                           "Freeing vframe ...", "Unloading SDK ...", "SDK Unloaded", "Exiting ..."});
    for (size_t i = 1; i < at.size(); ++i) EXPECT_GT(at[i], at[i - 1]) << app.dump();
    // 49 failures cost 2 s each, the 50th 1 s.
    EXPECT_GT(seconds, 95.0);
    EXPECT_LT(seconds, 130.0);
    std::system(("rm -rf " + home).c_str());
}
