// The real application serving frames on a port, and kt_viewer saving them with the tracks drawn;
// a settings reload with a viewer connected, after which the new cycle serves on the same port.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "../../app/tests/process_runner.h"
#include "../../app/tests/temp_home.h"
#include "TrackOverlay.h"
#include "ktil_ImageJPEG.h"

namespace {

const std::string kApp = std::string(KT_BINARY_DIR) + "/app/veltrano";
const std::string kViewer = std::string(KT_BINARY_DIR) + "/tools/kt_viewer";
const int kWaitMs = 15000;
const unsigned kCifWidth = 352, kCifHeight = 288;

// A loopback port nobody listens on right now.
unsigned freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::map<std::string, std::string> appEnv(const TempHome& home) {
    return {{"CS_APP_HOME", home.path()}, {"CSDK_SOURCE", "synthetic"}, {"CSDK_FPS", "50"}, {"CSDK_RESOLUTIONS", ""},
            {"CSDK_DAYNIGHT", ""},         {"CSDK_AT_END", ""},         {"CSDK_INIT_ERROR", ""},
            {"CSDK_REFRESH_FAIL", ""},     {"CSDK_EVENT_LOG", ""}};
}

struct Decoded {
    bool ok = false;
    unsigned width = 0, height = 0;
    long boxPixels = 0;  // pixels of the box colour: the scene itself is gray
};

Decoded decodeFile(const std::string& path) {
    Decoded d;
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    ktil::ImageJPEG jpeg;
    kt_image picture = {};
    if (!jpeg.setData(bytes.data(), bytes.size()) || !jpeg.decode(picture, 3)) return d;
    d.ok = true;
    d.width = picture.width;
    d.height = picture.height;
    for (uint32_t i = 0; i + 2 < picture.size; i += 3) {
        const unsigned char* p = picture.data + i;
        d.boxPixels += p[1] > 150 && p[0] < 100 && p[2] < 100;
    }
    kt_free_image(&picture);
    return d;
}

// The object count of each "frame <n> objects=<k> ..." line.
std::vector<int> objectCounts(const std::vector<std::string>& lines) {
    std::vector<int> counts;
    for (const std::string& l : lines) {
        int n = 0, k = 0;
        if (std::sscanf(l.c_str(), "frame %d objects=%d", &n, &k) == 2) counts.push_back(k);
    }
    return counts;
}

}  // namespace

TEST(ViewerSlow, SavesTrackedFramesAndSurvivesReload) {
    TempHome home;
    home.write("default_settings_xml.txt",
               "<settings><video_resolution>CIF</video_resolution><zone_type>exclusion</zone_type>"
               "<min_distance>20</min_distance><min_age>2</min_age><min_age_unit>seconds</min_age_unit>"
               "<min_width>5</min_width><min_height>11</min_height><sensitivity>50</sensitivity></settings>");
    const std::string port = std::to_string(freePort());
    ProcessRunner app(kApp, {"-port", port}, appEnv(home));
    const std::string listening = "Listening on port " + port;
    const int first = app.waitForLine(listening, kWaitMs);
    ASSERT_GE(first, 0) << app.dump();

    // 20 frames at 5 per second: long enough for the movers to be tracked.
    const std::string out = home.path() + "/viewer-out";
    {
        ProcessRunner viewer(kViewer,
                             {"127.0.0.1", port, "--out", out, "--frames", "20", "--seconds", "40", "--rate", "5",
                              "--images", "Native Image,Processed Image"},
                             {});
        ASSERT_EQ(viewer.waitExit(50000), 0) << viewer.dump() << app.dump();
        ASSERT_FALSE(viewer.out().empty());
        EXPECT_EQ(viewer.out().back().rfind("viewer frames=20 fps=", 0), 0u) << viewer.dump();
        EXPECT_NE(viewer.out().back().find(" heartbeats="), std::string::npos);
        const std::vector<int> counts = objectCounts(viewer.out());
        ASSERT_EQ(counts.size(), 20u) << viewer.dump();
        int tracked = 0;
        for (int i = 0; i < 20; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/frame_%05d_", i + 1);
            const Decoded native = decodeFile(out + name + "Native_Image.jpg");
            const Decoded processed = decodeFile(out + name + "Processed_Image.jpg");
            ASSERT_TRUE(native.ok && processed.ok) << "frame " << i + 1;
            EXPECT_EQ(native.width, kCifWidth);
            EXPECT_EQ(native.height, kCifHeight);
            EXPECT_EQ(processed.width, kCifWidth);
            EXPECT_EQ(processed.height, kCifHeight);
            EXPECT_EQ(processed.boxPixels, 0) << "tracks are drawn on the native image only";
            if (counts[i] > 0) {
                ++tracked;
                EXPECT_GT(native.boxPixels, 20) << "frame " << i + 1 << " has objects but no box";
            } else {
                EXPECT_EQ(native.boxPixels, 0) << "frame " << i + 1;
            }
        }
        EXPECT_GT(tracked, 0) << viewer.dump();
    }

    // A reload with a viewer connected: its connection ends, the next cycle listens on the same port.
    {
        ProcessRunner viewer(kViewer, {"127.0.0.1", port, "--out", out + "2", "--seconds", "60", "--rate", "5"}, {});
        ASSERT_GE(viewer.waitForLine("frame 1 ", kWaitMs), 0) << viewer.dump();
        app.sendSignal(SIGUSR1);
        EXPECT_EQ(viewer.waitExit(kWaitMs), 1) << viewer.dump();
        EXPECT_GE(app.waitForLine(listening, kWaitMs, first + 1), 0) << app.dump();
    }
    ProcessRunner again(kViewer, {"127.0.0.1", port, "--out", out + "3", "--frames", "3", "--seconds", "30"}, {});
    EXPECT_EQ(again.waitExit(40000), 0) << again.dump() << app.dump();
    app.sendSignal(SIGTERM);
    EXPECT_EQ(app.waitExit(kWaitMs), 0) << app.dump();
}
