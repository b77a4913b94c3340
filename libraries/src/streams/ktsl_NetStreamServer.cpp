// ktsl::NetStreamServer: listening, accepting and handing over connections.
#include "ktsl_NetStreamServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kt_tick.h"
#include "ktsl_NetIOStream.h"

namespace ktsl {

NetStreamServer::NetStreamServer(unsigned port, uint32_t maxRecordBytes, unsigned queueLength, uint32_t pollMs)
    : StreamServer(kWorkerWaitMs),
      m_port(port),
      m_maxRecordBytes(maxRecordBytes == 0xFFFFFFFF ? NetIOStream::kDefaultMaxRecordBytes : maxRecordBytes),
      m_queueLength(queueLength),
      m_pollMs(pollMs) {}

NetStreamServer::~NetStreamServer() {
    if (isRunning()) stop(ktst::fromWaitMs(5000));
    stopListening();
}

bool NetStreamServer::listen() {
    if (m_port > 65535) return false;
    if (isListening()) return true;
    m_lastTry = kt_tickcount();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(m_port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, kBacklog) != 0) {
        const int err = errno;
        ::close(fd);
        if (m_lastState != -1) log(kttl::LogType::WARN, kttl::String::format("Unable to listen on port %u: %s", m_port, std::strerror(err)));
        m_lastState = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) m_boundPort.store(ntohs(addr.sin_port));
    if (m_lastState == -1) log(kttl::LogType::INFO, kttl::String::format("Now listening on port %u", m_boundPort.load()));
    m_lastState = 1;
    m_socket.store(fd);
    return true;
}

void NetStreamServer::stopListening() {
    const int fd = m_socket.exchange(-1);
    if (fd >= 0) ::close(fd);
}

void NetStreamServer::onInitialize() { listen(); }

void NetStreamServer::onDeinitialize() { stopListening(); }

void NetStreamServer::onTimeOut() {
    if (!isListening()) {
        if (m_port <= 65535 && kt_tickcount() - m_lastTry >= kRetryMs) listen();
        if (!isListening()) {
            // Nothing to accept: wait as an accept round would, unless asked to stop.
            getStopEvent().wait(m_pollMs);
            return;
        }
    }
    if (isStopping()) return;
    pollfd p{m_socket.load(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(m_pollMs)) <= 0 || isStopping()) return;
    acceptPending();
}

void NetStreamServer::acceptPending() {
    for (;;) {
        const int fd = ::accept4(m_socket.load(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // EAGAIN: all taken; other errors (EMFILE...) are retried next round
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        NetIOStream* net = new NetIOStream(fd, m_queueLength);
        net->setLimits(m_maxRecordBytes, m_incompleteMs, m_stallMs);
        kttl::SmartPtr<IOStream> stream(net);
        if (!net->start()) {
            net->close();
            continue;
        }
        handOver(stream);
    }
}

}  // namespace ktsl
