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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clip_writer.h"
#include "csdk.h"

namespace {

std::mutex g_modesMutex;
std::vector<int> g_modes;
std::atomic<int> g_ircutCalls{0};
void onDayNight(csdk_daynight mode) {
    std::lock_guard<std::mutex> lock(g_modesMutex);
    g_modes.push_back(mode);
}
void onIRCut(bool) { ++g_ircutCalls; }
void onIRLed(bool) {}

std::atomic<int> g_sigterms{0};
void onSigterm(int) { ++g_sigterms; }

class StandinApi : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"CSDK_SOURCE", "CSDK_RESOLUTIONS", "CSDK_FPS", "CSDK_AT_END", "CSDK_DAYNIGHT",
                                 "CSDK_IRCUT", "CSDK_IRLED", "CSDK_INIT_ERROR", "CSDK_REFRESH_FAIL",
                                 "CSDK_EVENT_FAIL", "CSDK_EVENT_LOG"}) {
            unsetenv(name);
        }
        setenv("CSDK_FPS", "0", 1);
        csdk_settings = csdk_settings_t();
        csdk_settings.app_name = "Veltrano";
        csdk_settings.vendor_name = "Orvandi";
        csdk_settings.api_version = 2;
        csdk_settings.app_enabled = 1;
        csdk_settings.features = CSDK_FEATURE_VIDEO | CSDK_FEATURE_EVENTS;
        csdk_settings.log_path = "/tmp/x.log";
        csdk_settings.error_log_path = "/tmp/x.log";
        csdk_settings.callbacks_enabled = 1;
        csdk_settings.on_daynight = onDayNight;
        csdk_settings.on_ircut = onIRCut;
        csdk_settings.on_irled = onIRLed;
    }
    void TearDown() override { csdk_deinit(); }

    std::string tempPath(const char* name) {
        char dir[] = "/tmp/csdk_test_XXXXXX";
        const char* made = mkdtemp(dir);
        EXPECT_NE(made, nullptr);
        dirs_.push_back(made);
        return std::string(made) + "/" + name;
    }
    ~StandinApi() override {
        for (const std::string& d : dirs_) std::system(("rm -rf " + d).c_str());
    }
    std::vector<std::string> dirs_;
};

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(StandinApi, RecordLayout) {
    // The 64-bit host keeps the camera's field order at natural alignment; the handle record is fixed.
    EXPECT_LT(offsetof(csdk_settings_t, app_name), offsetof(csdk_settings_t, vendor_name));
    EXPECT_LT(offsetof(csdk_settings_t, vendor_name), offsetof(csdk_settings_t, api_version));
    EXPECT_EQ(offsetof(csdk_settings_t, features), offsetof(csdk_settings_t, app_enabled) + 1);
    EXPECT_LT(offsetof(csdk_settings_t, features), offsetof(csdk_settings_t, log_path));
    EXPECT_EQ(offsetof(csdk_settings_t, callbacks_enabled), offsetof(csdk_settings_t, reserved1) + 1);
    EXPECT_LT(offsetof(csdk_settings_t, on_daynight), offsetof(csdk_settings_t, on_irled));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(csdk_settings_t), 40u);
    }
    EXPECT_EQ(sizeof(csdk_t), 20u);
    EXPECT_EQ(offsetof(csdk_t, device), 16u);
}

TEST_F(StandinApi, InitFailuresCarryTheirText) {
    setenv("CSDK_INIT_ERROR", "-77", 1);
    EXPECT_EQ(csdk_init(), -77);
    EXPECT_NE(std::string(csdk_strerr(-77)).find("CSDK_INIT_ERROR"), std::string::npos);
    unsetenv("CSDK_INIT_ERROR");

    csdk_settings.app_name = nullptr;
    EXPECT_LT(csdk_init(), 0);
    csdk_settings.app_name = "Veltrano";
    csdk_settings.api_version = 3;
    const int version = csdk_init();
    EXPECT_LT(version, 0);
    EXPECT_NE(std::string(csdk_strerr(version)).find("api_version 3"), std::string::npos);
    csdk_settings.api_version = 2;

    setenv("CSDK_RESOLUTIONS", "320x241", 1);
    const int config = csdk_init();
    EXPECT_LT(config, 0);
    EXPECT_NE(std::string(csdk_strerr(config)).find("320x241"), std::string::npos);
    unsetenv("CSDK_RESOLUTIONS");

    const std::string missing = "/nonexistent/clip.mkv";
    setenv("CSDK_SOURCE", missing.c_str(), 1);
    const int source = csdk_init();
    EXPECT_LT(source, 0);
    EXPECT_NE(std::string(csdk_strerr(source)).find("cannot open video source '" + missing + "'"), std::string::npos);
    unsetenv("CSDK_SOURCE");

    ASSERT_EQ(csdk_init(), 0);
    EXPECT_NE(csdk.video, 0);
    EXPECT_NE(csdk.device, 0);
    EXPECT_NE(csdk.video, csdk.device);
    EXPECT_LT(csdk_init(), 0) << "a second init without deinit is refused";
    csdk_deinit();
    EXPECT_EQ(csdk.video, 0);
}

TEST_F(StandinApi, ResolutionsAndFrames) {
    setenv("CSDK_RESOLUTIONS", "320x240,176x144", 1);
    ASSERT_EQ(csdk_init(), 0);
    int32_t w = 0, h = 0;
    std::vector<std::pair<int, int>> listed;
    while (csdk_next_resolution(csdk.video, &w, &h) == 0) listed.emplace_back(w, h);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], std::make_pair(320, 240));
    EXPECT_EQ(listed[1], std::make_pair(176, 144));
    ASSERT_EQ(csdk_next_resolution(csdk.video, &w, &h), 0) << "the list starts again after its end";
    while (csdk_next_resolution(csdk.video, &w, &h) == 0) {
    }
    EXPECT_NE(csdk_next_resolution(csdk.device, &w, &h), 0) << "wrong handle";

    EXPECT_EQ(csdk_get_vframe(csdk.video), nullptr) << "no resolution set yet";
    EXPECT_LT(csdk_set_resolution(csdk.video, 640, 480), 0);
    EXPECT_LT(csdk_set_resolution(csdk.device, 176, 144), 0);
    ASSERT_GE(csdk_set_resolution(csdk.video, 176, 144), 0);
    EXPECT_EQ(csdk_get_vframe(csdk.device), nullptr);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(csdk_vframe_width(frame), 176u);
    EXPECT_EQ(csdk_vframe_height(frame), 144u);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    const unsigned char* pixels = csdk_vframe_ptr(frame);
    ASSERT_NE(pixels, nullptr);
    std::vector<unsigned char> first(pixels, pixels + 176 * 144 * 3 / 2);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    EXPECT_NE(std::vector<unsigned char>(pixels, pixels + first.size()), first);
    csdk_free_vframe(frame);
    EXPECT_EQ(csdk_refresh_vframe(nullptr), -10);
}

TEST_F(StandinApi, InjectedRefreshFailuresAndEndOfSource) {
    setenv("CSDK_RESOLUTIONS", "176x144", 1);
    setenv("CSDK_REFRESH_FAIL", "3", 1);
    setenv("CSDK_SOURCE", "synthetic:frames=2", 1);
    setenv("CSDK_AT_END", "fail", 1);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 176, 144), 0);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    ASSERT_NE(frame, nullptr);
    std::vector<int> results;
    for (int i = 0; i < 7; ++i) results.push_back(csdk_refresh_vframe(frame) == 0);
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 1, 1, 0, 0}));
    csdk_free_vframe(frame);
    csdk_deinit();

    // Each init starts the injected failures again; "stop" raises SIGTERM once at the end.
    setenv("CSDK_REFRESH_FAIL", "1", 1);
    setenv("CSDK_AT_END", "stop", 1);
    struct sigaction action {}, previous{};
    action.sa_handler = onSigterm;
    sigaction(SIGTERM, &action, &previous);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 176, 144), 0);
    frame = csdk_get_vframe(csdk.video);
    results.clear();
    for (int i = 0; i < 5; ++i) results.push_back(csdk_refresh_vframe(frame) == 0);
    EXPECT_EQ(results, (std::vector<int>{0, 1, 1, 0, 0}));
    EXPECT_EQ(g_sigterms.load(), 1);
    sigaction(SIGTERM, &previous, nullptr);
    csdk_free_vframe(frame);
    csdk_deinit();

    // "loop" plays the scene again from its first frame.
    unsetenv("CSDK_REFRESH_FAIL");
    setenv("CSDK_AT_END", "loop", 1);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, 176, 144), 0);
    frame = csdk_get_vframe(csdk.video);
    const size_t bytes = 176 * 144 * 3 / 2;
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    std::vector<unsigned char> first(csdk_vframe_ptr(frame), csdk_vframe_ptr(frame) + bytes);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    EXPECT_EQ(std::vector<unsigned char>(csdk_vframe_ptr(frame), csdk_vframe_ptr(frame) + bytes), first);
    csdk_free_vframe(frame);
}

TEST_F(StandinApi, DayNightScheduleAndInfrared) {
    {
        std::lock_guard<std::mutex> lock(g_modesMutex);
        g_modes.clear();
    }
    setenv("CSDK_DAYNIGHT", "day,night@150ms,day@300ms", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_EQ(csdk_get_daynight_mode(csdk.device), CSDK_DAYNIGHT_DAY);
    EXPECT_EQ(csdk_get_daynight_mode(csdk.video), CSDK_DAYNIGHT_UNKNOWN) << "wrong handle";
    EXPECT_TRUE(csdk_is_ircut_supported(csdk.device));
    EXPECT_TRUE(csdk_is_ircut_on(csdk.device));
    EXPECT_TRUE(csdk_is_irled_enabled(csdk.device));
    EXPECT_FALSE(csdk_is_irled_on(csdk.device));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(g_modesMutex);
            if (g_modes.size() >= 2 || std::chrono::steady_clock::now() > deadline) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        std::lock_guard<std::mutex> lock(g_modesMutex);
        EXPECT_EQ(g_modes, (std::vector<int>{CSDK_DAYNIGHT_NIGHT, CSDK_DAYNIGHT_DAY}));
    }
    EXPECT_EQ(g_ircutCalls.load(), 2);
    csdk_deinit();

    // Night from the start; fixed and missing infrared hardware; callbacks switched off.
    setenv("CSDK_DAYNIGHT", "night", 1);
    setenv("CSDK_IRCUT", "unsupported", 1);
    setenv("CSDK_IRLED", "disabled", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_EQ(csdk_get_daynight_mode(csdk.device), CSDK_DAYNIGHT_NIGHT);
    EXPECT_FALSE(csdk_is_ircut_supported(csdk.device));
    EXPECT_FALSE(csdk_is_ircut_on(csdk.device));
    EXPECT_TRUE(csdk_is_irled_supported(csdk.device));
    EXPECT_FALSE(csdk_is_irled_enabled(csdk.device));
    EXPECT_FALSE(csdk_is_irled_on(csdk.device));
    csdk_deinit();

    {
        std::lock_guard<std::mutex> lock(g_modesMutex);
        g_modes.clear();
    }
    csdk_settings.callbacks_enabled = 0;
    setenv("CSDK_DAYNIGHT", "day,night@50ms", 1);
    ASSERT_EQ(csdk_init(), 0);
    for (int i = 0; i < 100 && csdk_get_daynight_mode(csdk.device) != CSDK_DAYNIGHT_NIGHT; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(csdk_get_daynight_mode(csdk.device), CSDK_DAYNIGHT_NIGHT);
    std::lock_guard<std::mutex> lock(g_modesMutex);
    EXPECT_TRUE(g_modes.empty());
}

TEST_F(StandinApi, EventsAreLoggedAsJsonLines) {
    const std::string log = tempPath("events.jsonl");
    setenv("CSDK_EVENT_LOG", log.c_str(), 1);
    ASSERT_EQ(csdk_init(), 0);
    const char payload[] = "<a>\"x\"\n</a>IGNORED";
    EXPECT_EQ(csdk_event_send(payload, 0, 11), 0);
    csdk_deinit();
    setenv("CSDK_EVENT_FAIL", "5", 1);
    ASSERT_EQ(csdk_init(), 0);
    EXPECT_EQ(csdk_event_send("ab", 0, 2), 5);
    EXPECT_NE(csdk_event_send(nullptr, 0, 3), 0);
    const std::vector<std::string> lines = readLines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"length\":11,\"result\":0,\"payload\":\"<a>\\\"x\\\"\\n</a>\"}"), std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[0].compare(0, 9, "{\"time\":\""), 0);
    EXPECT_NE(lines[1].find("\"result\":5,\"payload\":\"ab\""), std::string::npos) << lines[1];
}

TEST_F(StandinApi, RecordedClipIsDecodedScaledAndLooped) {
    const std::string clip = tempPath("ramp.mkv");
    const int W = 320, H = 240, kFrames = 6;
    ASSERT_TRUE(testclip::writeClip(clip, W, H, kFrames, 25, [&](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        testclip::rampPainter(i, y, ys, u, v, cs, W, H);
    }));
    setenv("CSDK_SOURCE", clip.c_str(), 1);
    setenv("CSDK_RESOLUTIONS", "320x240,160x120", 1);
    ASSERT_EQ(csdk_init(), 0);
    ASSERT_EQ(csdk_set_resolution(csdk.video, W, H), 0);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    ASSERT_NE(frame, nullptr);
    for (int i = 0; i < kFrames + 2; ++i) {
        ASSERT_EQ(csdk_refresh_vframe(frame), 0) << i;
        const unsigned char* p = csdk_vframe_ptr(frame);
        const int index = i % kFrames;  // the clip plays again from its start
        int wrong = 0;
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) wrong += p[r * W + c] != ((c + 3 * r + 8 * index) & 255);
        EXPECT_EQ(wrong, 0) << "frame " << i;
        // NV21: V before U in every pair.
        EXPECT_EQ(p[W * H], 60);
        EXPECT_EQ(p[W * H + 1], 200);
    }
    csdk_free_vframe(frame);

    ASSERT_EQ(csdk_set_resolution(csdk.video, 160, 120), 0);
    frame = csdk_get_vframe(csdk.video);
    ASSERT_EQ(csdk_refresh_vframe(frame), 0);
    const unsigned char* p = csdk_vframe_ptr(frame);
    EXPECT_NEAR(p[160 * 120 + 2 * 40 + 0], 60, 2);
    EXPECT_NEAR(p[160 * 120 + 2 * 40 + 1], 200, 2);
    csdk_free_vframe(frame);
    csdk_deinit();

    // A file that is not video fails at init, with the reason.
    const std::string junk = tempPath("junk.mkv");
    std::ofstream(junk) << "not a video";
    setenv("CSDK_SOURCE", junk.c_str(), 1);
    const int code = csdk_init();
    EXPECT_LT(code, 0);
    EXPECT_NE(std::string(csdk_strerr(code)).find(junk), std::string::npos);
}

namespace {

// Serves one file over HTTP/1.0 on loopback to up to `connections` clients, one after another.
class LoopbackHttp {
public:
    LoopbackHttp(const std::string& body, int connections) : body_(body) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        listen(fd_, 4);
        socklen_t len = sizeof(addr);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, connections] {
            for (int i = 0; i < connections; ++i) {
                const int client = accept(fd_, nullptr, nullptr);
                if (client < 0) return;
                ++served_;
                char request[4096];
                ssize_t got = recv(client, request, sizeof(request), 0);
                (void)got;
                const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/x-matroska\r\nContent-Length: " +
                                         std::to_string(body_.size()) + "\r\n\r\n";
                send(client, head.data(), head.size(), MSG_NOSIGNAL);
                send(client, body_.data(), body_.size(), MSG_NOSIGNAL);
                close(client);
            }
        });
    }
    ~LoopbackHttp() {
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    int served() const { return served_.load(); }

private:
    std::string body_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> served_{0};
    std::thread thread_;
};

}  // namespace

TEST_F(StandinApi, NetworkStreamIsReadAndReopenedAtItsEnd) {
    const std::string clip = tempPath("net.mkv");
    const int W = 160, H = 120, kFrames = 4;
    ASSERT_TRUE(testclip::writeClip(clip, W, H, kFrames, 25, [&](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        testclip::rampPainter(i, y, ys, u, v, cs, W, H);
    }));
    std::ifstream in(clip, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    LoopbackHttp server(bytes.str(), 2);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/cam.mkv";
    setenv("CSDK_SOURCE", url.c_str(), 1);
    setenv("CSDK_RESOLUTIONS", "160x120", 1);
    unsetenv("CSDK_FPS");  // a network source is paced by its sender
    ASSERT_EQ(csdk_init(), 0) << csdk_strerr(-4);
    ASSERT_EQ(csdk_set_resolution(csdk.video, W, H), 0);
    csdk_vframe* frame = csdk_get_vframe(csdk.video);
    for (int i = 0; i < kFrames + 1; ++i) {
        ASSERT_EQ(csdk_refresh_vframe(frame), 0) << i;
        EXPECT_EQ(csdk_vframe_ptr(frame)[5], (5 + 8 * (i % kFrames)) & 255) << i;
    }
    EXPECT_EQ(server.served(), 2) << "the ended stream was opened again";
    csdk_free_vframe(frame);
}
