// ktsl::NetIOStream: non-blocking gathering of incoming records and the sending thread.
#include "ktsl_NetIOStream.h"

#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include "kt_tick.h"
#include "kttl_Exception.h"
#include "ktsl_EndOfFile.h"
#include "ktsl_Record.h"
#include "ktsl_TypeIds.h"
#include "ktst_Wait.h"

namespace ktsl {

namespace {
// Longest single wait of the sending thread and of waitForRecord(): bounds how long stop() and
// close() take.
constexpr int kSliceMs = 50;

// Peer limits (incomplete record, stalled sending) run on the system tick so that they follow a
// replaced tick source; plain waits run on the real clock so that they always end.
uint32_t elapsedSince(uint32_t start) { return kt_tickcount() - start; }
uint32_t realMs() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}
}  // namespace

NetIOStream::NetIOStream(int socket, unsigned queueLength)
    : m_socket(socket), m_ring(queueLength ? queueLength : 1) {
    std::memset(m_header, 0, sizeof m_header);
}

NetIOStream::~NetIOStream() { close(); }

void NetIOStream::setLimits(unsigned maxRecordBytes, uint32_t incompleteMs, uint32_t stallMs) {
    if (maxRecordBytes) m_maxRecordBytes = maxRecordBytes;
    if (incompleteMs) m_incompleteMs = incompleteMs;
    if (stallMs) m_stallMs = stallMs;
}

int NetIOStream::connectTo(const char* host, unsigned port, uint32_t timeoutMs) {
    if (!host || port == 0 || port > 65535) return -1;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host, service.c_str(), &hints, &found) != 0 || !found) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = fd >= 0;
    if (ok && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
        ok = errno == EINPROGRESS;
        if (ok) {
            pollfd p{fd, POLLOUT, 0};
            int err = 0;
            socklen_t len = sizeof err;
            ok = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX))) == 1 &&
                 getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
    }
    freeaddrinfo(found);
    if (!ok) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool NetIOStream::poll(int socket, bool forRead, int& errorOut) {
    errorOut = 0;
    pollfd p{socket, static_cast<short>(forRead ? POLLIN : POLLOUT), 0};
    const int r = ::poll(&p, 1, 0);
    if (r < 0) {
        errorOut = errno;
        return false;
    }
    if (r == 0) return false;
    if (p.revents & POLLNVAL) {
        errorOut = EBADF;
        return false;
    }
    if (p.revents & POLLERR) {
        socklen_t len = sizeof errorOut;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &errorOut, &len) != 0 || errorOut == 0) errorOut = EIO;
    } else if ((p.revents & POLLHUP) && !forRead) {
        errorOut = EPIPE;
    }
    return true;
}

void NetIOStream::fail(const char* why) {
    bool expected = false;
    if (m_failed.compare_exchange_strong(expected, true)) m_failure.store(why);
    m_error.signal();
}

// ---- reading ----

bool NetIOStream::gather() {
    std::lock_guard<std::mutex> lock(m_readLock);
    return gatherLocked();
}

bool NetIOStream::gatherLocked() {
    if (m_complete) return true;
    const int fd = m_socket.load();
    if (fd < 0 || m_failed.load()) return false;
    for (;;) {
        unsigned char* dest;
        unsigned want;
        if (m_headerGot < record::kHeaderSize) {
            dest = m_header + m_headerGot;
            want = record::kHeaderSize - m_headerGot;
        } else {
            dest = m_payload.get() + m_payloadGot;
            want = m_pendingLength - m_payloadGot;
        }
        const ssize_t n = ::recv(fd, dest, want, MSG_DONTWAIT);
        if (n == 0) {
            m_peerClosed = true;
            fail("the peer closed the connection");
            return false;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                fail("receiving failed");
                return false;
            }
            break;
        }
        if (m_headerGot == 0 && m_payloadGot == 0) m_recordStart = kt_tickcount();
        if (m_headerGot < record::kHeaderSize) {
            m_headerGot += static_cast<unsigned>(n);
            if (m_headerGot < record::kHeaderSize) continue;
            BinReader r(m_header, record::kHeaderSize);
            m_pendingType = r.u16();
            r.u16();
            m_pendingLength = r.u32();
            if (m_pendingLength > m_maxRecordBytes) {
                fail("record longer than allowed");
                return false;
            }
            if (m_pendingLength > m_payloadCapacity) {
                m_payload.reset(new unsigned char[m_pendingLength]);
                m_payloadCapacity = m_pendingLength;
            }
            m_payloadGot = 0;
        } else {
            m_payloadGot += static_cast<unsigned>(n);
        }
        if (m_payloadGot == m_pendingLength) {
            m_complete = true;
            return true;
        }
    }
    if (m_headerGot > 0 && elapsedSince(m_recordStart) >= m_incompleteMs) {
        fail("record left incomplete");
    }
    return false;
}

bool NetIOStream::isEmpty() {
    if (m_socket.load() < 0) KT_THROW("ktsl::NetIOStream", "isEmpty( ) - failed");
    return !gather();
}

bool NetIOStream::waitForRecord(uint32_t ms) {
    const uint32_t start = realMs();
    for (;;) {
        std::lock_guard<std::mutex> lock(m_readLock);
        if (gatherLocked()) return true;
        const int fd = m_socket.load();
        if (fd < 0 || m_failed.load()) return false;
        const uint32_t spent = realMs() - start;
        if (spent >= ms) return false;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(ms - spent, kSliceMs)));
    }
}

unsigned short NetIOStream::getNextType() {
    if (waitForRecord(m_readWaitMs)) {
        std::lock_guard<std::mutex> lock(m_readLock);
        return m_pendingType;
    }
    if (m_failed.load() || m_socket.load() < 0) {
        m_error.signal();
        return TypeId::EndOfFile;
    }
    KT_THROW("ktsl::NetIOStream", "getNextType( ) - failed");
}

unsigned NetIOStream::readObject() {
    if (m_socket.load() < 0) KT_THROW("ktsl::NetIOStream", "readObject( ) - invalid socket");
    if (getNextType() == TypeId::EndOfFile) KT_THROW("ktsl::NetIOStream", "readObject( ) - trying to read EOF");
    std::lock_guard<std::mutex> lock(m_readLock);
    if (!m_complete) KT_THROW("ktsl::NetIOStream", "readObject( ) - failed");
    m_lastType = m_pendingType;
    m_lastLength = m_pendingLength;
    m_complete = false;
    m_headerGot = 0;
    m_payloadGot = 0;
    return m_lastLength + record::kHeaderSize;
}

unsigned NetIOStream::read(Serializable& value) {
    const unsigned size = readObject();
    if (m_lastType != value.getTypeId()) {
        throw kttl::Exception(__FILE__, __LINE__, "ktsl::NetIOStream",
                              kttl::String::format("read() - The read object id does not match the Serializable's "
                                                   "object id:  %d != %d",
                                                   m_lastType, value.getTypeId()));
    }
    value.fromBin(m_payload.get(), m_lastLength);
    return size;
}

unsigned NetIOStream::skip() { return readObject(); }

// ---- writing ----

unsigned NetIOStream::write(const Serializable& value) {
    if (m_socket.load() < 0) KT_THROW("ktsl::NetIOStream", "write() - Trying to write to an invalid socket.");
    kttl::SmartPtr<StreamData> record(new StreamData);
    record->assign(value);
    enqueue(record);
    return record->size();
}

void NetIOStream::writeData(const kttl::SmartPtr<StreamData>& record) {
    if (m_socket.load() < 0) KT_THROW("ktsl::NetIOStream", "write() - Trying to write to an invalid socket.");
    if (!record || record->size() < record::kHeaderSize) KT_THROW("ktsl::NetIOStream", "write() - not a record");
    enqueue(record);
}

void NetIOStream::enqueue(const kttl::SmartPtr<StreamData>& record) {
    if (m_failed.load()) KT_THROW("ktsl::NetIOStream", "write() - The stream has failed.");
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        const unsigned n = static_cast<unsigned>(m_ring.size());
        if (m_count < n) {
            m_ring[(m_head + m_count) % n] = record;
            ++m_count;
            m_queueCond.notify_one();
            return;
        }
    }
    // A peer that lets the queue fill is not reading: keeping it would only hold memory.
    fail("outgoing queue full");
    KT_THROW("ktsl::NetIOStream", "write() - The outgoing queue is full.");
}

unsigned NetIOStream::queuedRecords(unsigned short type) const {
    std::lock_guard<std::mutex> lock(m_queueLock);
    unsigned found = 0;
    const unsigned n = static_cast<unsigned>(m_ring.size());
    for (unsigned i = 0; i < m_count; ++i)
        if (m_ring[(m_head + i) % n]->getType() == type) ++found;
    return found;
}

bool NetIOStream::start() {
    std::lock_guard<std::mutex> control(m_controlLock);
    if (m_threadRunning || m_socket.load() < 0) return false;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_stopSending = false;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::max<size_t>(kSendStackBytes, PTHREAD_STACK_MIN));
    const int rc = pthread_create(&m_thread, &attr, &NetIOStream::pumpEntry, this);
    pthread_attr_destroy(&attr);
    m_threadRunning = rc == 0;
    return m_threadRunning;
}

bool NetIOStream::stop(uint32_t timeoutMs) {
    (void)timeoutMs;  // the thread checks the stop flag every slice, so joining is bounded
    std::lock_guard<std::mutex> control(m_controlLock);
    if (!m_threadRunning) return true;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_stopSending = true;
        m_queueCond.notify_all();
    }
    pthread_join(m_thread, nullptr);
    m_threadRunning = false;
    return true;
}

void* NetIOStream::pumpEntry(void* self) {
    static_cast<NetIOStream*>(self)->pump();
    return nullptr;
}

void NetIOStream::pump() {
    const unsigned n = static_cast<unsigned>(m_ring.size());
    for (;;) {
        kttl::SmartPtr<StreamData> record;
        {
            std::unique_lock<std::mutex> lock(m_queueLock);
            m_queueCond.wait(lock, [&] { return m_stopSending || m_count > 0; });
            if (m_stopSending) return;
            record = m_ring[m_head];
        }
        if (m_failed.load() || m_socket.load() < 0) return;
        if (!sendRecord(*record)) return;
        const bool eof = record->getType() == TypeId::EndOfFile;
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            m_ring[m_head].reset();
            m_head = (m_head + 1) % n;
            --m_count;
        }
        if (eof) m_eofSent.signal();
    }
}

bool NetIOStream::sendRecord(const StreamData& record) {
    const unsigned char* data = record.data();
    const unsigned size = record.size();
    unsigned sent = 0;
    uint32_t progress = kt_tickcount();
    while (sent < size) {
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            if (m_stopSending) return false;
        }
        const int fd = m_socket.load();
        if (fd < 0 || m_failed.load()) return false;
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, kSliceMs);
        if (r < 0 && errno != EINTR) {
            fail("waiting to send failed");
            return false;
        }
        if (r > 0) {
            if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
                fail("the peer closed the connection");
                return false;
            }
            const ssize_t k = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (k > 0) {
                sent += static_cast<unsigned>(k);
                progress = kt_tickcount();
                continue;
            }
            if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                fail("sending failed");
                return false;
            }
        }
        if (elapsedSince(progress) >= m_stallMs) {
            fail("the peer takes no data");
            return false;
        }
    }
    return true;
}

bool NetIOStream::sendEOF() {
    m_eofSent.reset();
    write(EndOfFile());
    std::vector<ktst::WaitObject*> events{&m_eofSent, &m_error};
    size_t which = 0;
    return ktst::Wait(events, kEofWaitMs, which) && which == 0;
}

void NetIOStream::close() {
    const int fd = m_socket.load();
    if (fd < 0) return;
    fail("closed");
    // Shut down first: a peer that is frozen or half-open cannot hold the sending thread then.
    ::shutdown(fd, SHUT_RDWR);
    stop(0);
    std::lock_guard<std::mutex> control(m_controlLock);
    std::lock_guard<std::mutex> lock(m_readLock);
    if (m_socket.load() < 0) return;
    m_socket.store(-1);
    ::close(fd);
}

}  // namespace ktsl
