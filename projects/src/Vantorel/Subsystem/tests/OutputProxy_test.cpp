// The output proxy over real loopback connections: commands, frame pacing, heartbeats, slow peers.
#include <gtest/gtest.h>

#include <set>

#include "CameraMap.h"
#include "OutputProxy.h"
#include "ktsl_Ping.h"
#include "loopback.h"
#include "manual_clock.h"
#include "viewer_client.h"

namespace {

TEST(OutputProxy, CommandsAreAnswered) {
    OutputProxy proxy(freePort(), nullptr);
    ASSERT_TRUE(loopback::waitUntil([&] { return proxy.getListeningPort() != 0; }));
    ViewerClient viewer(proxy.getListeningPort());
    ASSERT_TRUE(viewer.readOne(5000));
    EXPECT_EQ(viewer.heartbeats, 1);
    EXPECT_EQ(viewer.lastHeartbeat.getVersion(), 0x06000100);

    const struct {
        int type, subtype, code;
        const char* message;
        unsigned short objectType;
    } cases[] = {
        {3002, 7, 0, "", ktsl::TypeId::CameraMap},
        {3002, 1, -1, "", ktsl::TypeId::EndOfFile},
        {3004, 0, 0, "", ktsl::TypeId::EndOfFile},
        {3004, 5, -4, "Unsupported ConnectionCmd sub-type", ktsl::TypeId::EndOfFile},
        {3012, 0, 0, "", ktsl::TypeId::SetBase + ktsl::TypeId::String},
        {3012, 3, -1, "", ktsl::TypeId::EndOfFile},
        {0x70000 + 3012, 0, 0, "", ktsl::TypeId::SetBase + ktsl::TypeId::String},  // low 16 bits decide
        {4711, 0, -4, "Unsupported command.", ktsl::TypeId::EndOfFile},
    };
    for (const auto& c : cases) {
        ktsl::Result result;
        ASSERT_TRUE(viewer.ask(ktsl::Command("camera://embedded", c.type, c.subtype), result)) << c.type;
        EXPECT_EQ(result.getCode(), c.code) << c.type << "/" << c.subtype;
        EXPECT_EQ(result.getMessage(), c.message) << c.type << "/" << c.subtype;
        EXPECT_EQ(result.getObjects().getNextType(), c.objectType) << c.type << "/" << c.subtype;
    }

    ktsl::Result result;
    ASSERT_TRUE(viewer.ask(ktsl::Command("camera://embedded", 3012, 0), result));
    ktsl::Set<kttl::String> names;
    result.getObjects().read(names);
    EXPECT_EQ(names, OutputProxy::supportedImages());
    EXPECT_EQ(names.size(), 7u);
    ASSERT_TRUE(viewer.ask(ktsl::Command("camera://embedded", 3002, 7), result));
    CameraMap map;
    result.getObjects().read(map);
    ASSERT_EQ(map.getMachines().size(), 1u);
    EXPECT_EQ(map.getMachines().begin()->second.front(), "Embedded");

    // A ping is answered with a heartbeat.
    const int before = viewer.heartbeats;
    viewer.stream.write(ktsl::Ping());
    while (viewer.heartbeats == before && viewer.readOne(5000)) {
    }
    EXPECT_EQ(viewer.heartbeats, before + 1);

    // Nobody asked for frames yet.
    ktsl::Set<kttl::String> wanted;
    wanted.insert("stale");
    ktvl::Resolution res;
    EXPECT_TRUE(proxy.getRequestedImages(wanted, res));
    EXPECT_TRUE(wanted.empty());
    EXPECT_EQ(res.getWidth(), -1);
    EXPECT_EQ(res.getHeight(), -1);
}

// Feeds `count` frames 10 ms of tick apart, reading after each until the viewer has everything the
// proxy queued; returns the flags of the frames the viewer received.
std::vector<uint32_t> feed(OutputProxy& proxy, ManualClock& clock, ViewerClient& viewer, Frame& frame, int count,
                           const std::function<uint32_t(int)>& flagsOf) {
    std::vector<uint32_t> received;
    const uint64_t base = proxy.framesQueued() - static_cast<uint64_t>(viewer.frames);
    for (int i = 0; i < count; ++i) {
        clock.advance(10);
        frame.setFrameFlags(flagsOf(i));
        proxy.updateFrameListeners(frame);
        while (base + static_cast<uint64_t>(viewer.frames) < proxy.framesQueued()) {
            const int before = viewer.frames;
            if (!viewer.readOne(5000)) return received;
            if (viewer.frames != before) received.push_back(viewer.lastFrame.getFrameFlags());
        }
    }
    return received;
}

TEST(OutputProxy, FramesPacedWithRequestedImagesAndCarriedFlags) {
    ManualClock clock;
    OutputProxy proxy(freePort(), nullptr);
    Frame frame;
    kt_image img{};
    kt_init_image(&img, 8, 6, 1);
    frame.setImage("Native Image", img, Frame::kGray);
    frame.setImage("Processed Image", img, Frame::kGray);
    kt_free_image(&img);

    const struct {
        uint16_t rate;
        int expected;
    } rates[] = {{10, 10}, {0, 100}};
    for (const auto& r : rates) {
        std::unique_ptr<Ticker> ticker(new Ticker(clock));  // the proxy's threads run while set up
        ASSERT_TRUE(loopback::waitUntil([&] { return proxy.getListeningPort() != 0; }));
        ViewerClient viewer(proxy.getListeningPort());
        ASSERT_TRUE(viewer.requestFrames({"Native Image", "Not An Image"}, r.rate, true));
        ticker.reset();
        const uint64_t start = proxy.framesQueued();
        viewer.frames = 0;
        // Frame 3 is skipped at 10 fps: its bits 0xFF00 reach the next frame sent, 0x00FF do not.
        const auto flags = feed(proxy, clock, viewer, frame, 100, [](int i) { return i == 3 ? 0x0101u : 0u; });
        EXPECT_EQ(static_cast<int>(flags.size()), r.expected) << r.rate;
        EXPECT_EQ(proxy.framesQueued() - start, static_cast<uint64_t>(r.expected));
        if (r.rate == 10) {
            ASSERT_GE(flags.size(), 2u);
            EXPECT_EQ(flags[0], 0u);
            EXPECT_EQ(flags[1], 0x0100u);
        }
        EXPECT_TRUE(viewer.lastFrame.getObjectsIncluded());
        EXPECT_TRUE(viewer.lastFrame.isImageSet("Native Image", 0));
        EXPECT_FALSE(viewer.lastFrame.isImageSet("Processed Image", 0));
        ktsl::Set<kttl::String> wanted;
        ktvl::Resolution res;
        EXPECT_TRUE(proxy.getRequestedImages(wanted, res));
        EXPECT_EQ(wanted.size(), 1u);
        EXPECT_EQ(wanted.count("Native Image"), 1u);
        viewer.stream.close();
        Ticker closing(clock);
        EXPECT_TRUE(loopback::waitUntil([&] { return proxy.listenerCount() == 0; }));
    }
}

TEST(OutputProxy, HeartbeatsEveryFifteenSecondsAndSilentPeersDropped) {
    ManualClock clock;
    OutputProxy proxy(freePort(), nullptr);
    std::unique_ptr<Ticker> ticker(new Ticker(clock));
    ASSERT_TRUE(loopback::waitUntil([&] { return proxy.getListeningPort() != 0; }));
    ViewerClient viewer(proxy.getListeningPort());
    const int silent = loopback::connectRaw(proxy.getListeningPort());
    ASSERT_TRUE(loopback::waitUntil([&] { return proxy.listenerCount() == 2; }));
    viewer.stream.write(ktsl::Ping());  // a valid record: this viewer stays

    // Greeting, ping answer and the first round's heartbeat; then nothing until 15 s have passed.
    while (viewer.heartbeats < 3 && viewer.readOne(5000)) {
    }
    ticker.reset();
    while (viewer.readOne(100)) {
    }
    ASSERT_GE(viewer.heartbeats, 2);
    EXPECT_EQ(viewer.lastHeartbeat.getAttribute("video-loss"), "false");
    EXPECT_EQ(viewer.lastHeartbeat.getAttribute("video-finished"), "false");
    EXPECT_EQ(viewer.lastHeartbeat.getAttribute("video-position"), kttl::ElapsedTime().toHumanString(false));
    const int seen = viewer.heartbeats;
    clock.advance(14000);
    EXPECT_FALSE(viewer.readOne(400));
    clock.advance(1000);
    EXPECT_TRUE(viewer.readOne(5000));
    EXPECT_EQ(viewer.heartbeats, seen + 1);

    // The silent connection has sent no valid record in 10 s (15 s by now): it is closed.
    Ticker running(clock);
    EXPECT_TRUE(loopback::waitUntil([&] { return proxy.listenerCount() == 1; }));
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, MSG_PEEK), 1);  // the greeting arrived before the close
    ::close(silent);
}

TEST(OutputProxy, FrozenViewerDroppedWhileAnotherKeepsItsRate) {
    OutputProxy proxy(freePort(), nullptr);
    proxy.setStreamLimits(0, 300);
    ASSERT_TRUE(loopback::waitUntil([&] { return proxy.getListeningPort() != 0; }));
    ViewerClient frozen(proxy.getListeningPort());
    ViewerClient good(proxy.getListeningPort());
    ASSERT_TRUE(frozen.requestFrames({"Native Image"}, 0, false));
    ASSERT_TRUE(good.requestFrames({"Native Image"}, 0, false));
    // The frozen viewer never reads again: its socket buffers fill.

    Frame frame;
    kt_image img{};
    kt_init_image(&img, 640, 480, 1);
    frame.setImage("Native Image", img, Frame::kGray);
    kt_free_image(&img);
    int fed = 0;
    const auto start = std::chrono::steady_clock::now();
    while (proxy.listenerCount() > 1 && loopback::msSince(start) < 20000) {
        const int before = good.frames;
        // Asking for 0 fps means every frame, but at most one per millisecond tick.
        const uint32_t tick = kt_tickcount();
        loopback::waitUntil([&] { return kt_tickcount() != tick; });
        proxy.updateFrameListeners(frame);
        ++fed;
        while (good.frames == before && good.readOne(5000)) {
        }
        ASSERT_EQ(good.frames, before + 1) << "the good viewer lost a frame";
    }
    EXPECT_EQ(proxy.listenerCount(), 1u);
    EXPECT_EQ(good.frames, fed);
}

}  // namespace
