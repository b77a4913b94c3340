// The frame-failure rule on the real program: 50 failed refreshes in a row, 2 seconds each, stop the
// application with status 0. Slow by design (about 100 s).
#include <gtest/gtest.h>

#include <chrono>

#include "process_runner.h"
#include "temp_home.h"

TEST(VeltranoRun, FiftyFailedRefreshesStopTheApplication) {
    TempHome home;
    home.write("default_settings_xml.txt", "<s><video_resolution>QCIF</video_resolution></s>");
    const auto start = std::chrono::steady_clock::now();
    ProcessRunner app(std::string(KT_BINARY_DIR) + "/app/veltrano", {},
                      {{"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_REFRESH_FAIL", "1000"},
                       {"CSDK_INIT_ERROR", ""}, {"CSDK_RESOLUTIONS", ""}});
    EXPECT_EQ(app.waitExit(200000), 0) << app.dump();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(app.count("ERR  csdk_refresh_vframe failed."), 50u);
    EXPECT_TRUE(app.inOrder({"csdk_refresh_vframe failed.", "ERR  Stopping application ...", "Freeing vframe ...",
                             "Unloading SDK ...", "SDK Unloaded", "INFO Exiting ..."}))
        << app.dump();
    // 49 failures cost 2 s each, the 50th 1 s.
    EXPECT_GT(seconds, 95.0);
    EXPECT_LT(seconds, 130.0);
}
