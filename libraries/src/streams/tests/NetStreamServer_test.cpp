// The TCP server: accepting into a listener, refusing ports, stopping and listening again.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "ktsl_NetStreamServer.h"
#include "loopback.h"

namespace {

class Collector : public ktsl::StreamListener {
public:
    bool refuse = false;
    bool addStream(kttl::SmartPtr<ktsl::IOStream>& stream) override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (refuse) return false;
        m_streams.push_back(stream);
        return true;
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_streams.size();
    }
    kttl::SmartPtr<ktsl::IOStream> at(size_t i) {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_streams.at(i);
    }

private:
    std::mutex m_lock;
    std::vector<kttl::SmartPtr<ktsl::IOStream>> m_streams;
};

TEST(NetStreamServer, AcceptsEveryPendingConnection) {
    Collector collector;
    ktsl::NetStreamServer server(0);
    server.setListener(&collector);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(loopback::waitUntil([&] { return server.isListening(); }));
    std::vector<int> clients;
    for (int i = 0; i < 20; ++i) clients.push_back(loopback::connectRaw(server.getPort()));
    EXPECT_TRUE(loopback::waitUntil([&] { return collector.count() == 20; }));

    // The streams carry records from their clients.
    kttl::String hello("hello");
    std::vector<unsigned char> rec(8 + hello.getBinLength());
    rec[0] = 0xF5, rec[1] = 0x01, rec[4] = static_cast<unsigned char>(hello.getBinLength());
    hello.toBin(rec.data() + 8);
    ASSERT_TRUE(loopback::sendAll(clients[0], rec.data(), rec.size()));
    kttl::String got;
    collector.at(0)->read(got);
    EXPECT_EQ(got, "hello");

    // A refused connection is closed by the server.
    collector.refuse = true;
    const int refused = loopback::connectRaw(server.getPort());
    char byte;
    EXPECT_EQ(::recv(refused, &byte, 1, 0), 0);
    ::close(refused);
    for (int fd : clients) ::close(fd);

    const unsigned port = server.getPort();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(server.stop(kttl::ElapsedTime(1000)));
    EXPECT_LT(loopback::msSince(start), 1000);
    EXPECT_FALSE(server.isListening());

    // A new server listens on the same port again.
    ktsl::NetStreamServer again(port);
    ASSERT_TRUE(again.start());
    EXPECT_TRUE(loopback::waitUntil([&] { return again.isListening(); }));
}

TEST(NetStreamServer, PortAboveRangeIsRefusedNotWrapped) {
    ktsl::NetStreamServer server(65536 + 8080);
    EXPECT_FALSE(server.listen());
    EXPECT_FALSE(server.isListening());
}

}  // namespace
