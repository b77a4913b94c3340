// SignalRelay: carries stop and configuration-change signals from the handler to the frame loop.
#include "SignalRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace SignalRelay {

namespace {

// Lock-free on every target this runs on, which is what makes them usable from a handler.
std::atomic<int> g_stop{0};
std::atomic<int> g_config{0};
std::atomic<int> g_pipeRead{-1};
std::atomic<int> g_pipeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "signal flags must be lock-free");

void wake() {
    const int fd = g_pipeWrite.load();
    if (fd < 0) return;
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; the failure is of no interest.
    ssize_t ignored = write(fd, &byte, 1);
    (void)ignored;
    errno = saved;
}

void drain() {
    const int fd = g_pipeRead.load();
    if (fd < 0) return;
    char buffer[64];
    while (read(fd, buffer, sizeof(buffer)) > 0) {
    }
}

int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

bool open() {
    if (g_pipeRead.load() >= 0) return true;
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    g_pipeWrite.store(fds[1]);
    g_pipeRead.store(fds[0]);
    return true;
}

void notifyStop() {
    g_stop.store(1);
    wake();
}

void notifyConfig() {
    g_config.store(1);
    wake();
}

bool takeStop() { return g_stop.exchange(0) != 0; }

bool takeConfig() { return g_config.exchange(0) != 0; }

bool sleepMs(uint32_t ms) {
    const int fd = g_pipeRead.load();
    const int64_t deadline = nowMs() + ms;
    for (;;) {
        if (g_stop.load() != 0 || g_config.load() != 0) {
            drain();
            return true;
        }
        const int64_t left = deadline - nowMs();
        if (left <= 0) return false;
        if (fd < 0) {
            timespec pause{static_cast<time_t>(left / 1000), static_cast<long>((left % 1000) * 1000000)};
            nanosleep(&pause, nullptr);
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) > 0) drain();
    }
}

}  // namespace SignalRelay
