// A viewer's connection as the frame server sees it: the input is the byte stream a peer sends,
// gathered by a socket stream (record framing, length cap) and answered by the output proxy
// (commands with their argument streams, frame requests, pings), with frames pushed to whatever
// the requests asked for. The wanted images must stay within the names the proxy lists.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "FuzzValues.h"
#include "OutputProxy.h"
#include "kt_image.h"
#include "ktsl_NetIOStream.h"
#include "ktsl_Record.h"

namespace {

// Bytes handed to the socket per round, so that records arrive split at arbitrary points.
constexpr size_t kChunkBytes = 1500;
// Rounds after the last byte: each round reads at most kRecordsPerRound records of at least a header.
constexpr size_t kSpareRounds = 2;
constexpr uint32_t kFrameWidth = 8, kFrameHeight = 6;

// The proxy without its server: the fuzzer drives the reading rounds itself.
class DrivenProxy : public OutputProxy {
public:
    DrivenProxy() : OutputProxy(0, nullptr) {}
    using CameraInterface::readListeners;
};

// Reads whatever the proxy sent back so that its sending thread never stalls.
void drain(int fd) {
    unsigned char sink[4096];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

Frame& sampleFrame() {
    static Frame* frame = [] {
        Frame* f = new Frame;
        kt_image gray = {};
        kt_init_image(&gray, kFrameWidth, kFrameHeight, 1);
        for (uint32_t i = 0; i < gray.size; ++i) gray.data[i] = static_cast<unsigned char>(i * 5);
        f->setImage("Native Image", gray, 2);
        f->setImage("Processed Image", gray, 2);
        kt_free_image(&gray);
        return f;
    }();
    return *frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
    const int peer = fds[1];
    fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);
    {
        DrivenProxy proxy;
        proxy.setHeartbeatInterval(-1);
        ktsl::NetIOStream* net = new ktsl::NetIOStream(fds[0], OutputProxy::kQueueLength);
        kttl::SmartPtr<ktsl::IOStream> stream(net);
        net->start();
        fuzz::check(proxy.addStream(stream));

        Frame& frame = sampleFrame();
        ktsl::Set<kttl::String> wanted;
        ktvl::Resolution resolution;
        size_t sent = 0;
        const size_t rounds = size / kChunkBytes + size / (ktsl::record::kHeaderSize * CameraInterface::kRecordsPerRound) +
                              kSpareRounds + 1;
        for (size_t round = 0; round < rounds && proxy.listenerCount() > 0; ++round) {
            if (sent < size) {
                const ssize_t k = ::send(peer, data + sent, std::min(kChunkBytes, size - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (k > 0) sent += static_cast<size_t>(k);
            }
            proxy.readListeners();
            if (proxy.getRequestedImages(wanted, resolution)) {
                for (const kttl::String& name : wanted) fuzz::check(OutputProxy::supportedImages().count(name) == 1);
            }
            proxy.updateFrameListeners(frame);
            drain(peer);
        }
        // The peer leaves: its listener must go.
        ::shutdown(peer, SHUT_WR);
        proxy.readListeners();
        drain(peer);
    }
    ::close(peer);
    return 0;
}
