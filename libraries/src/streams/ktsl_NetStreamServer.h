// ktsl::NetStreamServer: the TCP server of remote viewers.
#pragma once

#include <atomic>
#include <cstdint>

#include "ktsl_StreamServer.h"

namespace ktsl {

// Listens on an IPv4 port on every local address. Each worker time-out waits up to the poll time
// for connections and accepts every pending one, wraps it in a started NetIOStream and hands it
// to the listener. A port that cannot be bound is retried every second, logging once per change
// between failing and listening.
class NetStreamServer : public StreamServer {
public:
    static constexpr int kBacklog = 128;
    static constexpr uint32_t kRetryMs = 1000;
    // The worker's own wait between accept rounds; the accept round itself waits for connections.
    static constexpr uint32_t kWorkerWaitMs = 1;

    // `maxRecordBytes`: longest record accepted from a peer (0xFFFFFFFF: the stream default of
    // 64 KB); `queueLength`: outgoing records per connection; `pollMs`: how long one accept round
    // waits for a connection (also the longest stop() waits for the round). A port above 65535 is
    // refused: isListening() stays false and nothing is retried.
    NetStreamServer(unsigned port, uint32_t maxRecordBytes = 0xFFFFFFFF, unsigned queueLength = 50,
                    uint32_t pollMs = 100);
    ~NetStreamServer() override;

    bool listen() override;
    void stopListening() override;
    bool isListening() const override { return m_socket.load() >= 0; }
    // The bound port (useful with port 0, which lets the system choose).
    unsigned getPort() const { return m_boundPort.load(); }
    // Limits handed to every accepted stream (0 keeps the stream default); set before start().
    void setStreamLimits(uint32_t incompleteMs, uint32_t stallMs) {
        m_incompleteMs = incompleteMs;
        m_stallMs = stallMs;
    }

    void onInitialize() override;
    void onTimeOut() override;
    void onDeinitialize() override;

private:
    void acceptPending();

    const unsigned m_port;
    const unsigned m_maxRecordBytes;
    const unsigned m_queueLength;
    const uint32_t m_pollMs;
    std::atomic<uint32_t> m_incompleteMs{0};
    std::atomic<uint32_t> m_stallMs{0};
    std::atomic<int> m_socket{-1};
    std::atomic<unsigned> m_boundPort{0};
    uint32_t m_lastTry = 0;
    int m_lastState = 0;  // 0 unknown, 1 listening, -1 failing: what was logged last
};

}  // namespace ktsl
