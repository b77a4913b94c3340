// The Coordinator in this process against the stand-in SDK: resolution choice, the colour rule,
// refused parameters, signals and the day/night callback.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "Coordinator.h"
#include "SignalRelay.h"
#include "capture_logger.h"

namespace {

void standinEnv(const char* resolutions, const char* dayNight, const char* frames) {
    for (const char* name : {"CSDK_INIT_ERROR", "CSDK_REFRESH_FAIL", "CSDK_IRCUT", "CSDK_IRLED", "CS_APP_HOME"}) {
        unsetenv(name);
    }
    setenv("CSDK_RESOLUTIONS", resolutions, 1);
    setenv("CSDK_DAYNIGHT", dayNight, 1);
    setenv("CSDK_SOURCE", (std::string("synthetic:frames=") + frames).c_str(), 1);
    setenv("CSDK_AT_END", "stop", 1);  // the stand-in raises SIGTERM after the last frame
    setenv("CSDK_FPS", "0", 1);
    Coordinator::fillSdkSettings();  // main's part of the record
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines) {
        if (l == line) return true;
    }
    return false;
}

}  // namespace

TEST(Coordinator, ColourOnlyForSmallFramesByDay) {
    struct Case {
        const char* resolutions;
        const char* dayNight;
        bool colour;
    };
    const Case cases[] = {
        {"192x144", "day", true},
        {"176x144", "day", true},
        {"194x144", "day", false},  // the first even width above 192
        {"192x144", "night", false},
        {"192x144", "unknown", true},  // an unknown mode keeps the day set at start-up
    };
    for (const Case& c : cases) {
        standinEnv(c.resolutions, c.dayNight, "6");
        CaptureLogger logger;
        Coordinator coordinator(0, logger, "payload");
        ASSERT_TRUE(coordinator.initialize(ktvl::Resolution(0, 0))) << c.resolutions;
        EXPECT_EQ(coordinator.process(SimpleTracker::Params()), Coordinator::kStopped);
        EXPECT_FALSE(coordinator.isInitialized());
        EXPECT_EQ(coordinator.getTracker().getFramesSeen(), 6u) << c.resolutions << " " << c.dayNight;
        EXPECT_EQ(coordinator.getTracker().getColourFrames(), c.colour ? 6u : 0u) << c.resolutions << " " << c.dayNight;
        const std::vector<std::string> lines = logger.lines();
        EXPECT_TRUE(contains(lines, std::string("INFO Current Day/Night mode is ") + c.dayNight)) << c.dayNight;
        EXPECT_TRUE(contains(lines, "INFO Exiting ..."));
    }
}

TEST(Coordinator, ResolutionChoice) {
    struct Case {
        int w, h;
        const char* chosen;
        bool defaulted;
    };
    const Case cases[] = {
        {320, 240, "320x240", false}, {0, 0, "176x144", true},   {800, 600, "176x144", true},
        {320, 0, "176x144", true},    {-320, 240, "176x144", true}, {640, 480, "640x480", false},
    };
    for (const Case& c : cases) {
        standinEnv("640x480,320x240,176x144,320x240", "day", "1");
        CaptureLogger logger;
        Coordinator coordinator(0, logger, "");
        ASSERT_TRUE(coordinator.initialize(ktvl::Resolution(c.w, c.h)));
        EXPECT_TRUE(coordinator.initialize(ktvl::Resolution(1, 1))) << "initialised already";
        EXPECT_EQ(coordinator.getResolution().toString(), c.chosen);
        const std::vector<std::string> lines = logger.lines();
        EXPECT_EQ(contains(lines, std::string("INFO No resolution specified, using ") + c.chosen), c.defaulted);
        EXPECT_TRUE(contains(lines, std::string("INFO Set resolution to ") + c.chosen));
        EXPECT_EQ(coordinator.process(SimpleTracker::Params()), Coordinator::kStopped);
    }

    // A camera that offers nothing, and a refused SDK.
    standinEnv("640x480", "day", "1");
    setenv("CSDK_INIT_ERROR", "-42", 1);
    CaptureLogger logger;
    Coordinator failing(0, logger, "");
    EXPECT_FALSE(failing.initialize(ktvl::Resolution(0, 0)));
    EXPECT_TRUE(contains(logger.lines(),
                         "ERR  Error initializing video SDK error code = -42: injected failure (CSDK_INIT_ERROR=-42)"));
    EXPECT_EQ(failing.process(SimpleTracker::Params()), Coordinator::kNotRun);
    EXPECT_TRUE(contains(logger.lines(), "ERR  Not initialized"));
    unsetenv("CSDK_INIT_ERROR");
}

TEST(Coordinator, RefusedParametersEndTheLoop) {
    standinEnv("176x144", "day", "100");
    CaptureLogger logger;
    Coordinator coordinator(0, logger, "");
    ASSERT_TRUE(coordinator.initialize(ktvl::Resolution(0, 0)));
    SimpleTracker::Params params;
    params.sensitivity = 1.01f;
    EXPECT_EQ(coordinator.process(params), Coordinator::kNotRun);
    const std::vector<std::string> lines = logger.lines();
    EXPECT_TRUE(contains(lines, "ERR  Unable to set parameters:  Invalid Sensitivity: SimpleTracker (474)"));
    EXPECT_TRUE(contains(lines, "INFO Freeing vframe ..."));
    EXPECT_TRUE(contains(lines, "INFO SDK Unloaded"));
    EXPECT_FALSE(contains(lines, "INFO Exiting ..."));
    EXPECT_EQ(coordinator.getTracker().getFramesSeen(), 0u);
}

TEST(Coordinator, SignalsAndDayNight) {
    SignalRelay::open();
    Coordinator::mStopEvent.reset();
    Coordinator::mConfigEvent.reset();
    Coordinator::signalHandler(SIGUSR1, nullptr, nullptr);
    EXPECT_FALSE(Coordinator::mStopEvent.wait(0)) << "the handler itself touches no event";
    Coordinator::pollSignals();
    EXPECT_TRUE(Coordinator::mConfigEvent.wait(0));
    EXPECT_TRUE(Coordinator::mStopEvent.wait(0));
    Coordinator::mStopEvent.reset();
    Coordinator::mConfigEvent.reset();
    Coordinator::signalHandler(SIGTERM, nullptr, nullptr);
    Coordinator::pollSignals();
    EXPECT_FALSE(Coordinator::mConfigEvent.wait(0));
    EXPECT_TRUE(Coordinator::mStopEvent.wait(0));
    Coordinator::mStopEvent.reset();

    // A wait ends early when a signal reaches another thread of the process.
    struct sigaction action {}, previous{};
    action.sa_sigaction = &Coordinator::signalHandler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    std::thread other([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(getpid(), SIGINT);
    });
    pthread_sigmask(SIG_BLOCK, &block, nullptr);  // so the signal lands on the other thread
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(SignalRelay::sleepMs(20000));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    other.join();
    pthread_sigmask(SIG_UNBLOCK, &block, nullptr);
    sigaction(SIGINT, &previous, nullptr);
    EXPECT_LT(waited, 10.0);
    EXPECT_TRUE(SignalRelay::takeStop());
    EXPECT_FALSE(SignalRelay::takeStop());
    EXPECT_FALSE(SignalRelay::sleepMs(10)) << "no request pending";

    Coordinator::mDayMode.signal();
    Coordinator::onDayNight(CSDK_DAYNIGHT_NIGHT);
    EXPECT_FALSE(Coordinator::mDayMode.wait(0));
    Coordinator::onDayNight(static_cast<csdk_daynight>(7));
    EXPECT_FALSE(Coordinator::mDayMode.wait(0));
    Coordinator::onDayNight(CSDK_DAYNIGHT_DAY);
    EXPECT_TRUE(Coordinator::mDayMode.wait(0));
    EXPECT_EQ(Coordinator::getDayNightMode(CSDK_DAYNIGHT_DAY), "day");
    EXPECT_EQ(Coordinator::getDayNightMode(CSDK_DAYNIGHT_NIGHT), "night");
    EXPECT_EQ(Coordinator::getDayNightMode(static_cast<csdk_daynight>(3)), "unknown");
}

TEST(Coordinator, SdkSettingsRecord) {
    csdk_settings = csdk_settings_t();
    csdk_settings.features = 0xFF;  // bits 5 to 7 belong to the SDK
    Coordinator::fillSdkSettings();
    EXPECT_STREQ(csdk_settings.app_name, "Veltrano");
    EXPECT_STREQ(csdk_settings.vendor_name, "Orvandi");
    EXPECT_EQ(csdk_settings.api_version, 2);
    EXPECT_EQ(csdk_settings.app_enabled, 1);
    EXPECT_EQ(csdk_settings.features, 0xEA);
    EXPECT_STREQ(csdk_settings.log_path, "/var/log/Veltrano.log");
    EXPECT_STREQ(csdk_settings.error_log_path, "/var/log/Veltrano.log");
    csdk_settings.features = 0x15;
    Coordinator::fillSdkSettings();
    EXPECT_EQ(csdk_settings.features, 0x0A);
}
