// The stand-in SDK through its C calls, as the application uses them: opening, resolutions, frames,
// end of source, injected faults, day/night schedule, events, and recorded clips.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "clip_writer.h"
#include "csdk.h"

static std::mutex g_modesMutex;
static std::vector<int> g_modes;
static std::atomic<int> g_ircutCalls{0}, g_sigterms{0};

// The day/night callbacks received so far; `clear` forgets them.
static std::vector<int> modes(bool clear = false) {
    std::lock_guard<std::mutex> lock(g_modesMutex);
    return clear ? std::exchange(g_modes, {}) : g_modes;
}

// True once `done` holds, polled for up to five seconds.
template <class Done> static bool eventually(Done done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

struct StandinApi : ::testing::Test {
    void SetUp() override {
        for (const char* name : {"CSDK_SOURCE", "CSDK_RESOLUTIONS", "CSDK_AT_END", "CSDK_DAYNIGHT", "CSDK_IRCUT",
                                 "CSDK_IRLED", "CSDK_INIT_ERROR", "CSDK_REFRESH_FAIL", "CSDK_EVENT_FAIL", "CSDK_EVENT_LOG"})
            unsetenv(name);
        setenv("CSDK_FPS", "0", 1), csdk_settings = csdk_settings_t();
        csdk_settings.app_name = "Veltrano", csdk_settings.vendor_name = "Orvandi";
        csdk_settings.api_version = 2, csdk_settings.app_enabled = 1, csdk_settings.callbacks_enabled = 1;
        csdk_settings.on_daynight = [](csdk_daynight m) {
            std::lock_guard<std::mutex> l(g_modesMutex); g_modes.push_back(m);
        };
        csdk_settings.on_ircut = [](bool) { ++g_ircutCalls; }, csdk_settings.on_irled = [](bool) {}, modes(true);
    }
    void TearDown() override { csdk_deinit(); if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str()); }

    // Opens the SDK at width x height; the frame handle, freed by the test.
    csdk_vframe* open(int width, int height) {
        EXPECT_TRUE(csdk_init() == 0 && csdk_set_resolution(csdk.video, width, height) == 0);
        csdk_vframe* frame = csdk_get_vframe(csdk.video);
        EXPECT_NE(frame, nullptr);
        return frame;
    }
    // 1 for each of `n` refreshes that delivered a frame, 0 for a failed one.
    static std::vector<int> refreshes(csdk_vframe* frame, int n) {
        std::vector<int> results; for (int i = 0; i < n; ++i) results.push_back(csdk_refresh_vframe(frame) == 0);
        return results;
    }
    static std::vector<unsigned char> pixels(csdk_vframe* frame) {
        const unsigned char* p = csdk_vframe_ptr(frame);
        return std::vector<unsigned char>(p, p + csdk_vframe_width(frame) * csdk_vframe_height(frame) * 3 / 2);
    }
    std::string tempPath(const char* name) {
        if (char dir[] = "/tmp/csdk_test_XXXXXX"; dir_.empty() && mkdtemp(dir)) dir_ = dir;
        EXPECT_FALSE(dir_.empty());
        return dir_ + "/" + name;
    }
    // A ramp clip (luminance (x + 3 y + 8 index) mod 256, U 200, V 60) of `frames` pictures.
    std::string rampClip(const char* name, int width, int height, int frames) {
        const std::string path = tempPath(name);
        EXPECT_TRUE(testclip::writeRampClip(path, width, height, frames));
        return path;
    }
    std::string dir_;
};

TEST_F(StandinApi, InitFailuresCarryTheirTextAndEventsAreLogged) {
    const auto failsWith = [](const std::string& text, const std::string& var = "", const std::string& val = "") {
        if (!var.empty()) setenv(var.c_str(), val.c_str(), 1);
        const int code = csdk_init();
        if (!var.empty()) unsetenv(var.c_str());
        return code < 0 && std::string(csdk_strerr(code)).find(text) != std::string::npos;
    };
    const std::string junk = tempPath("junk.mkv"); std::ofstream(junk) << "not a video";
    const std::vector<std::vector<std::string>> failures = {  // variable, value, text of the failure
        {"CSDK_INIT_ERROR", "-77", "injected failure (CSDK_INIT_ERROR=-77)"}, {"CSDK_RESOLUTIONS", "320x241", "320x241"},
        {"CSDK_SOURCE", "/nonexistent/clip.mkv", "cannot open video source '/nonexistent/clip.mkv'"},
        {"CSDK_SOURCE", junk, junk}};
    for (const auto& f : failures) EXPECT_TRUE(failsWith(f[2], f[0], f[1])) << f[0] << "=" << f[1];
    EXPECT_TRUE((csdk_settings.api_version = 3, failsWith("api_version 3")));
    EXPECT_LT((csdk_settings.api_version = 2, csdk_settings.app_name = nullptr, csdk_init()), 0) << "no app name";
    csdk_settings.app_name = "Veltrano";
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_TRUE(csdk.video != 0 && csdk.device != 0 && csdk.video != csdk.device);
    EXPECT_LT(csdk_init(), 0) << "a second init without deinit is refused";
    EXPECT_EQ((csdk_deinit(), csdk.video), 0);

    // Events are logged as JSON lines.
    const std::string log = tempPath("events.jsonl");
    setenv("CSDK_EVENT_LOG", log.c_str(), 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_EQ(csdk_event_send("<a>\"x\"\n</a>IGNORED", 0, 11), 0);
    csdk_deinit(), setenv("CSDK_EVENT_FAIL", "5", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_TRUE(csdk_event_send("ab", 0, 2) == 5 && csdk_event_send(nullptr, 0, 3) != 0);
    std::vector<std::string> lines; std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_TRUE(lines.size() == 2u && lines[0].compare(0, 9, "{\"time\":\"") == 0);
    EXPECT_NE(lines[0].find("\"length\":11,\"result\":0,\"payload\":\"<a>\\\"x\\\"\\n</a>\"}"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"result\":5,\"payload\":\"ab\""), std::string::npos) << lines[1];
}

TEST_F(StandinApi, ResolutionsAndFrames) {
    setenv("CSDK_RESOLUTIONS", "320x240,176x144", 1);
    ASSERT_EQ(csdk_init(), 0);
    int32_t w = 0, h = 0;
    for (int round = 0; round < 2; ++round) {  // the list starts again after its end
        std::vector<std::pair<int, int>> listed;
        while (csdk_next_resolution(csdk.video, &w, &h) == 0) listed.emplace_back(w, h);
        EXPECT_EQ(listed, (std::vector<std::pair<int, int>>{{320, 240}, {176, 144}}));
    }
    EXPECT_TRUE(csdk_next_resolution(csdk.device, &w, &h) != 0 && csdk_get_vframe(csdk.video) == nullptr)
        << "wrong handle; no frame before a resolution is set";
    EXPECT_TRUE(csdk_set_resolution(csdk.video, 640, 480) < 0 &&  // not listed; wrong handle
                csdk_set_resolution(csdk.device, 176, 144) < 0);
    ASSERT_TRUE(csdk_set_resolution(csdk.video, 176, 144) >= 0 && csdk_get_vframe(csdk.device) == nullptr);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    ASSERT_TRUE(frame != nullptr && csdk_vframe_width(frame) == 176u && csdk_vframe_height(frame) == 144u);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    const std::vector<unsigned char> first = pixels(frame);
    EXPECT_TRUE(csdk_refresh_vframe(frame) == 0 && pixels(frame) != first);
    csdk_free_vframe(frame);
    EXPECT_EQ(csdk_refresh_vframe(nullptr), -10);
}

TEST_F(StandinApi, InjectedRefreshFailuresAndEndOfSource) {
    setenv("CSDK_RESOLUTIONS", "176x144", 1), setenv("CSDK_SOURCE", "synthetic:frames=2", 1);
    setenv("CSDK_REFRESH_FAIL", "3", 1), setenv("CSDK_AT_END", "fail", 1);
    csdk_vframe* frame = open(176, 144);
    EXPECT_EQ(refreshes(frame, 7), (std::vector<int>{0, 0, 0, 1, 1, 0, 0}));
    csdk_free_vframe(frame), csdk_deinit();

    // Each init starts the injected failures again; "stop" raises SIGTERM once at the end.
    setenv("CSDK_REFRESH_FAIL", "1", 1), setenv("CSDK_AT_END", "stop", 1);
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) { ++g_sigterms; };
    sigaction(SIGTERM, &action, &previous);
    frame = open(176, 144);
    EXPECT_TRUE(refreshes(frame, 5) == std::vector<int>({0, 1, 1, 0, 0}) && g_sigterms == 1) << g_sigterms;
    sigaction(SIGTERM, &previous, nullptr), csdk_free_vframe(frame), csdk_deinit();

    // "loop" plays the scene again from its first frame.
    unsetenv("CSDK_REFRESH_FAIL"), setenv("CSDK_AT_END", "loop", 1);
    frame = open(176, 144);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    const std::vector<unsigned char> first = pixels(frame);
    EXPECT_TRUE(refreshes(frame, 2) == std::vector<int>({1, 1}) && pixels(frame) == first);
    csdk_free_vframe(frame);
}

TEST_F(StandinApi, DayNightScheduleAndInfrared) {
    setenv("CSDK_DAYNIGHT", "day,night@150ms,day@300ms", 1);
    ASSERT_EQ(csdk_init(), 0);
    // The video handle is the wrong one for the mode.
    EXPECT_TRUE(csdk_get_daynight_mode(csdk.device) == CSDK_DAYNIGHT_DAY &&
                csdk_get_daynight_mode(csdk.video) == CSDK_DAYNIGHT_UNKNOWN);
    EXPECT_TRUE(csdk_is_ircut_supported(csdk.device) && csdk_is_ircut_on(csdk.device) &&
                csdk_is_irled_enabled(csdk.device) && !csdk_is_irled_on(csdk.device));
    EXPECT_TRUE(eventually([] { return modes().size() >= 2; }) &&
                modes() == std::vector<int>({CSDK_DAYNIGHT_NIGHT, CSDK_DAYNIGHT_DAY}) && g_ircutCalls == 2);
    csdk_deinit();

    // Night from the start; fixed and missing infrared hardware.
    setenv("CSDK_DAYNIGHT", "night", 1), setenv("CSDK_IRCUT", "unsupported", 1), setenv("CSDK_IRLED", "disabled", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_TRUE(csdk_get_daynight_mode(csdk.device) == CSDK_DAYNIGHT_NIGHT && !csdk_is_ircut_supported(csdk.device) &&
                !csdk_is_ircut_on(csdk.device) && csdk_is_irled_supported(csdk.device) &&
                !csdk_is_irled_enabled(csdk.device) && !csdk_is_irled_on(csdk.device));
    csdk_deinit();

    // Callbacks switched off: the mode changes without a call.
    modes(true), csdk_settings.callbacks_enabled = 0, setenv("CSDK_DAYNIGHT", "day,night@50ms", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_TRUE(eventually([] { return csdk_get_daynight_mode(csdk.device) == CSDK_DAYNIGHT_NIGHT; }) &&
                modes().empty());
}

TEST_F(StandinApi, RecordedClipIsDecodedScaledAndLooped) {
    const int W = 320, H = 240, kFrames = 6;
    setenv("CSDK_SOURCE", rampClip("ramp.mkv", W, H, kFrames).c_str(), 1);
    setenv("CSDK_RESOLUTIONS", "320x240,160x120", 1);
    csdk_vframe* frame = open(W, H);
    for (int i = 0; i < kFrames + 2; ++i) {
        ASSERT_EQ(csdk_refresh_vframe(frame), 0) << i;
        const unsigned char* p = csdk_vframe_ptr(frame); int wrong = 0;
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) wrong += p[r * W + c] != ((c + 3 * r + 8 * (i % kFrames)) & 255);
        EXPECT_EQ(wrong, 0) << "frame " << i << " (the clip plays again from its start)";
        EXPECT_TRUE(p[W * H] == 60 && p[W * H + 1] == 200) << "NV21: V before U in every pair";
    }
    csdk_free_vframe(frame);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 160, 120), 0);
    ASSERT_TRUE((frame = csdk_get_vframe(csdk.video)) != nullptr && csdk_refresh_vframe(frame) == 0);
    EXPECT_NEAR(csdk_vframe_ptr(frame)[160 * 120 + 80], 60, 2);
    EXPECT_NEAR(csdk_vframe_ptr(frame)[160 * 120 + 81], 200, 2);
    csdk_free_vframe(frame);
}

TEST_F(StandinApi, NetworkStreamIsReadAndReopenedAtItsEnd) {
    const int W = 160, H = 120, kFrames = 4;
    std::ifstream clip(rampClip("net.mkv", W, H, kFrames), std::ios::binary);
    const std::string body{std::istreambuf_iterator<char>(clip), {}};
    // Serves the clip over HTTP/1.0 on loopback to two clients, one after another.
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{}; socklen_t len = sizeof(addr);
    addr.sin_family = AF_INET, addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_TRUE(bind(server, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(server, 4) == 0);
    getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    std::atomic<int> served{0};
    std::thread sender([&] {
        for (int client; served < 2 && (client = accept(server, nullptr, nullptr)) >= 0; close(client)) {
            char request[4096]; ++served;
            if (recv(client, request, sizeof(request), 0) < 0) continue;
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/x-matroska\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body;
            send(client, head.data(), head.size(), MSG_NOSIGNAL);
        }
    });
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/cam.mkv";
    // A network source is paced by its sender.
    setenv("CSDK_SOURCE", url.c_str(), 1), setenv("CSDK_RESOLUTIONS", "160x120", 1), unsetenv("CSDK_FPS");
    csdk_vframe* frame = open(W, H);
    for (int i = 0; frame != nullptr && i < kFrames + 1; ++i) {  // no early return: the sender is joined below
        EXPECT_EQ(csdk_refresh_vframe(frame), 0) << i;
        EXPECT_EQ(csdk_vframe_ptr(frame)[5], (5 + 8 * (i % kFrames)) & 255) << i;
    }
    EXPECT_EQ(served.load(), 2) << "the ended stream was opened again";
    csdk_free_vframe(frame), shutdown(server, SHUT_RDWR), close(server);
    sender.join();
}
