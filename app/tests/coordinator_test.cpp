// The Coordinator in this process against the stand-in SDK: resolution choice, the colour rule,
// signals, the day/night callback and the SDK settings record.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "Coordinator.h"
#include "SignalRelay.h"
#include "capture_logger.h"

TEST(Coordinator, ResolutionChoiceAndColourRule) {
    struct Case {
        const char* offered;
        const char* dayNight;
        int w, h;
        const char* chosen;
        bool defaulted, colour;
    };
    const char* const kMany = "640x480,320x240,176x144,320x240";
    const Case cases[] = {
        {kMany, "day", 320, 240, "320x240", false, false},  {kMany, "day", 0, 0, "176x144", true, true},
        {kMany, "day", 800, 600, "176x144", true, true},    {kMany, "day", 320, 0, "176x144", true, true},
        {kMany, "day", -320, 240, "176x144", true, true},   {kMany, "night", 640, 480, "640x480", false, false},
        {"192x144", "day", 0, 0, "192x144", true, true},    {"194x144", "day", 0, 0, "194x144", true, false},
        {"192x144", "night", 0, 0, "192x144", true, false},
        {"192x144", "unknown", 0, 0, "192x144", true, true},  // an unknown mode keeps the day set at start-up
    };
    for (const Case& c : cases) {
        for (const char* name : {"CSDK_INIT_ERROR", "CSDK_REFRESH_FAIL", "CSDK_IRCUT", "CSDK_IRLED"}) unsetenv(name);
        setenv("CSDK_RESOLUTIONS", c.offered, 1);
        setenv("CSDK_DAYNIGHT", c.dayNight, 1);
        setenv("CSDK_SOURCE", "synthetic:frames=6", 1);
        setenv("CSDK_AT_END", "stop", 1);  // the stand-in raises SIGTERM after the last frame
        setenv("CSDK_FPS", "0", 1);
        Coordinator::fillSdkSettings();
        CaptureLogger logger;
        Coordinator coordinator(0, logger, "");
        const std::string what = std::string(c.offered) + " " + c.dayNight + " " + std::to_string(c.w);
        ASSERT_TRUE(coordinator.initialize(ktvl::Resolution(c.w, c.h))) << what;
        EXPECT_TRUE(coordinator.initialize(ktvl::Resolution(1, 1))) << "initialised already";
        EXPECT_EQ(coordinator.getResolution().toString(), c.chosen) << what;
        EXPECT_EQ(coordinator.process(SimpleTracker::Params()), Coordinator::kStopped);
        EXPECT_FALSE(coordinator.isInitialized());
        EXPECT_EQ(coordinator.getTracker().getFramesSeen(), 6u) << what;
        EXPECT_EQ(coordinator.getTracker().getColourFrames(), c.colour ? 6u : 0u) << what;
        EXPECT_EQ(logger.has(std::string("INFO No resolution specified, using ") + c.chosen), c.defaulted) << what;
        EXPECT_TRUE(logger.has(std::string("INFO Set resolution to ") + c.chosen)) << what;
        EXPECT_TRUE(logger.has(std::string("INFO Current Day/Night mode is ") + c.dayNight)) << what;
        EXPECT_TRUE(logger.has("INFO Exiting ...")) << what;
    }
}

TEST(Coordinator, SignalsAndDayNight) {
    SignalRelay::open();
    for (int sig : {SIGUSR1, SIGTERM}) {
        Coordinator::mStopEvent.reset();
        Coordinator::mConfigEvent.reset();
        Coordinator::signalHandler(sig, nullptr, nullptr);
        EXPECT_FALSE(Coordinator::mStopEvent.wait(0)) << "the handler itself touches no event";
        Coordinator::pollSignals();
        EXPECT_EQ(Coordinator::mConfigEvent.wait(0), sig == SIGUSR1);
        EXPECT_TRUE(Coordinator::mStopEvent.wait(0));
    }
    Coordinator::mStopEvent.reset();

    // A wait ends early when a signal reaches another thread of the process.
    struct sigaction action {}, previous{};
    action.sa_sigaction = &Coordinator::signalHandler;
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
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    other.join();
    pthread_sigmask(SIG_UNBLOCK, &block, nullptr);
    sigaction(SIGINT, &previous, nullptr);
    EXPECT_TRUE(SignalRelay::takeStop());
    EXPECT_FALSE(SignalRelay::takeStop());
    EXPECT_FALSE(SignalRelay::sleepMs(10)) << "no request pending";

    Coordinator::mDayMode.signal();
    Coordinator::onDayNight(CSDK_DAYNIGHT_NIGHT);
    Coordinator::onDayNight(static_cast<csdk_daynight>(7));
    EXPECT_FALSE(Coordinator::mDayMode.wait(0));
    Coordinator::onDayNight(CSDK_DAYNIGHT_DAY);
    EXPECT_TRUE(Coordinator::mDayMode.wait(0));
    EXPECT_EQ(Coordinator::getDayNightMode(static_cast<csdk_daynight>(3)), "unknown");
}

TEST(Coordinator, SdkSettingsRecord) {
    csdk_settings = csdk_settings_t();
    for (uint8_t features : {0xFF, 0x15}) {
        csdk_settings.features = features;  // bits 5 to 7 belong to the SDK
        Coordinator::fillSdkSettings();
        EXPECT_EQ(csdk_settings.features, (features & 0xE0) | 0x0A);
    }
}
