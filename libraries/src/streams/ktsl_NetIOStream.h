// ktsl::NetIOStream: an object stream over one connected TCP socket, with a sending thread.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ktsl_IOStream.h"
#include "ktst_Event.h"

namespace ktsl {

// Incoming bytes are gathered without blocking into the pending record; the stream guards itself
// against hostile peers: a record longer than the record limit, a record left incomplete for the
// incomplete-record limit, a peer that takes no byte for the stall limit, or a full outgoing queue
// fail the stream (hasFailed()), and its owner drops it. Outgoing records wait in a bounded queue
// that the sending thread writes with non-blocking sends (MSG_NOSIGNAL: a peer leaving mid-record
// cannot raise SIGPIPE).
class NetIOStream : public IOStream {
public:
    // Longest payload accepted from the peer by default: requests are far smaller.
    static constexpr unsigned kDefaultMaxRecordBytes = 64 * 1024;
    // A record begun but not completed within this time fails the stream.
    static constexpr uint32_t kDefaultIncompleteMs = 5000;
    // A socket that takes no byte for this long while records wait fails the stream.
    static constexpr uint32_t kDefaultStallMs = 10000;
    // How long getNextType()/readObject() wait for a record before reporting failure.
    static constexpr uint32_t kDefaultReadWaitMs = 15000;
    // Stack of the sending thread: it only moves bytes.
    static constexpr size_t kSendStackBytes = 256 * 1024;
    // How long sendEOF() waits for the end-of-stream record to leave.
    static constexpr uint32_t kEofWaitMs = 15000;

    // Takes ownership of `socket` (closed by close() or the destructor). `queueLength` bounds the
    // outgoing queue (at least 1).
    NetIOStream(int socket, unsigned queueLength);
    ~NetIOStream() override;
    NetIOStream(const NetIOStream&) = delete;
    NetIOStream& operator=(const NetIOStream&) = delete;

    // Connects to host:port (IPv4 numeric or a name) within `timeoutMs`; returns the socket or -1.
    static int connectTo(const char* host, unsigned port, uint32_t timeoutMs);
    // Readiness of `socket` for reading or writing, tested without waiting: true when ready.
    // `errorOut` gets the errno of a failed poll, or the socket's pending error (or EPIPE on a hang
    // up), else 0.
    static bool poll(int socket, bool forRead, int& errorOut);

    // Starts the sending thread; false when it runs already or cannot be created.
    bool start();
    // Stops the sending thread within about `timeoutMs` (it checks every 100 ms); true when it
    // has ended. Queued records stay queued.
    bool stop(uint32_t timeoutMs);

    // Limits; 0 keeps the current value. Set them before the stream is shared.
    void setLimits(unsigned maxRecordBytes, uint32_t incompleteMs, uint32_t stallMs);
    void setReadWait(uint32_t ms) { m_readWaitMs = ms; }

    unsigned write(const Serializable& value) override;
    void writeData(const kttl::SmartPtr<StreamData>& record) override;
    unsigned short getNextType() override;
    bool isEmpty() override;
    bool waitForRecord(uint32_t ms) override;
    unsigned readObject() override;
    unsigned read(Serializable& value) override;
    unsigned skip() override;
    bool sendEOF() override;
    void close() override;
    bool hasFailed() const override { return m_failed.load(); }
    unsigned queuedRecords(unsigned short type) const override;

    unsigned short getLastType() const override { return m_lastType; }
    const unsigned char* getLastPayload() const override { return m_payload.get(); }
    unsigned getLastLength() const override { return m_lastLength; }

    int getSocket() const { return m_socket.load(); }
    // Capacity of the reusable payload buffer (grows only for a longer payload).
    unsigned getPayloadCapacity() const { return m_payloadCapacity; }
    // Why the stream failed (empty while it has not).
    const char* getFailure() const { return m_failure.load(); }
    ktst::Event getErrorEvent() const { return m_error; }

private:
    // Reads what the socket holds without waiting, up to the end of the pending record. Caller
    // holds m_readLock. True when a complete record is pending.
    bool gather();
    bool gatherLocked();
    void fail(const char* why);
    void enqueue(const kttl::SmartPtr<StreamData>& record);
    static void* pumpEntry(void* self);
    void pump();
    // Sends one whole record; false when the stream failed or is stopping.
    bool sendRecord(const StreamData& record);

    std::atomic<int> m_socket;
    std::atomic<bool> m_failed{false};
    std::atomic<const char*> m_failure{""};
    ktst::Event m_error{true, false};
    ktst::Event m_eofSent{true, false};

    // Reading (m_readLock): the pending record and the record last read share the payload buffer.
    std::mutex m_readLock;
    unsigned char m_header[8];
    unsigned m_headerGot = 0;
    unsigned short m_pendingType = 0;
    unsigned m_pendingLength = 0;
    unsigned m_payloadGot = 0;
    bool m_complete = false;
    bool m_peerClosed = false;
    uint32_t m_recordStart = 0;
    std::unique_ptr<unsigned char[]> m_payload;
    unsigned m_payloadCapacity = 0;
    unsigned short m_lastType = 0;
    unsigned m_lastLength = 0;

    unsigned m_maxRecordBytes = kDefaultMaxRecordBytes;
    uint32_t m_incompleteMs = kDefaultIncompleteMs;
    uint32_t m_stallMs = kDefaultStallMs;
    uint32_t m_readWaitMs = kDefaultReadWaitMs;

    // Sending (m_queueLock): a ring of shared records; the head stays queued until it is sent.
    mutable std::mutex m_queueLock;
    std::condition_variable m_queueCond;
    std::vector<kttl::SmartPtr<StreamData>> m_ring;
    unsigned m_head = 0;
    unsigned m_count = 0;
    bool m_stopSending = false;
    bool m_threadRunning = false;
    pthread_t m_thread{};
    std::mutex m_controlLock;  // start/stop/close
};

}  // namespace ktsl
