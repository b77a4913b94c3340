// viewer_client: a test viewer of the output proxy over a real loopback connection.
#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "manual_clock.h"

#include "ConnectionCmd.h"
#include "Frame.h"
#include "Heartbeat.h"
#include "kttl_Exception.h"
#include "ktsl_NetIOStream.h"
#include "ktsl_Result.h"

// A port nobody listens on right now.
inline unsigned freePort() {
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

// Moves a manual clock along with real time while it exists: worker threads whose waits follow the
// tick can run their rounds; the test takes exact control again once it is gone.
class Ticker {
public:
    explicit Ticker(ManualClock& clock) : m_thread([this, &clock] {
        while (!m_stop.load()) {
            ::poll(nullptr, 0, 1);
            clock.advance(1);
        }
    }) {}
    ~Ticker() {
        m_stop.store(true);
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct ViewerClient {
    ktsl::NetIOStream stream;
    int frames = 0;
    int heartbeats = 0;
    Frame lastFrame;
    Heartbeat lastHeartbeat;

    explicit ViewerClient(unsigned port) : stream(ktsl::NetIOStream::connectTo("127.0.0.1", port, 2000), 50) {
        stream.setLimits(256u << 20, 0, 0);
        stream.start();
    }
    // Reads one record if one comes within `ms`; false otherwise.
    bool readOne(uint32_t ms) {
        if (!stream.waitForRecord(ms)) return false;
        const unsigned short type = stream.getNextType();
        if (type == ktsl::TypeId::Frame) {
            stream.read(lastFrame);
            ++frames;
        } else if (type == ktsl::TypeId::Heartbeat) {
            stream.read(lastHeartbeat);
            ++heartbeats;
        } else {
            stream.skip();
        }
        return true;
    }
    // Sends `cmd` and waits for its result, counting frames and heartbeats read meanwhile.
    bool ask(const ktsl::Command& cmd, ktsl::Result& result) {
        stream.write(cmd);
        return ktsl::Result::waitForResult(stream, 5000, cmd, result, [&](ktsl::IOStream&, unsigned short) { readOne(0); });
    }
    bool requestFrames(const std::initializer_list<const char*>& images, uint16_t rate, bool tracks) {
        FrameRequest request;
        for (const char* n : images) request.getImages().insert(n);
        request.setFrameRate(rate);
        request.setTracks(tracks);
        ktsl::Result result;
        return ask(ConnectionCmd::makeFrameRequest("camera://embedded", request), result) && result.getCode() == 0;
    }
};
