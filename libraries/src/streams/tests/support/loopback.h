// loopback: connected socket pairs over 127.0.0.1 and raw peers for stream tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "ktsl_NetIOStream.h"

namespace loopback {

// Real time since `start`, in milliseconds.
inline long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Polls `done` (with short blocking waits on nothing) until it holds or `ms` pass; true when it held.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (msSince(start) > ms) return false;
        ::poll(nullptr, 0, 2);
    }
    return true;
}

// A raw client socket connected to 127.0.0.1:port, or -1.
inline int connectRaw(unsigned port) { return ktsl::NetIOStream::connectTo("127.0.0.1", port, 2000); }

// Sends all bytes (blocking); false when the peer is gone.
inline bool sendAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

// Two raw sockets connected to each other over loopback TCP.
struct RawPair {
    int a = -1;
    int b = -1;
    RawPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
            a = connectRaw(ntohs(addr.sin_port));
            b = ::accept(listener, nullptr, nullptr);
        }
        ::close(listener);
    }
    ~RawPair() {
        if (a >= 0) ::close(a);
        if (b >= 0) ::close(b);
    }
    // Hands side a or b over (the caller owns it then).
    int takeA() { int fd = a; a = -1; return fd; }
    int takeB() { int fd = b; b = -1; return fd; }
};

}  // namespace loopback
