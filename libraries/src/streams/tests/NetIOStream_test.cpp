// Socket streams over real loopback connections: records both ways, peer loss, hostile peers.
#include <gtest/gtest.h>

#include <string>

#include "kttl_Exception.h"
#include "kttl_String.h"
#include "ktsl_Command.h"
#include "ktsl_NetIOStream.h"
#include "ktsl_Ping.h"
#include "ktsl_Result.h"
#include "loopback.h"

namespace {

using ktsl::NetIOStream;

// A started stream on each end of one loopback connection.
struct StreamPair {
    loopback::RawPair raw;
    NetIOStream server{raw.takeB(), 50};
    NetIOStream client{raw.takeA(), 50};
    StreamPair() {
        server.start();
        client.start();
    }
};

TEST(NetIOStream, CommandAnsweredThroughWaitForResult) {
    StreamPair p;
    ktsl::Command cmd("camera://local", 3012, 0);
    cmd.addArgument(kttl::String("arg"));
    p.client.write(cmd);

    ASSERT_EQ(p.server.getNextType(), ktsl::TypeId::Command);
    ktsl::Command got;
    p.server.read(got);
    EXPECT_EQ(got.getId(), cmd.getId());
    EXPECT_EQ(got.getArguments()->getNextType(), ktsl::TypeId::String);

    p.server.write(ktsl::Ping());                    // something else first
    p.server.write(ktsl::Result(ktsl::Command("x://y", 1, 1), 0));  // another command's result
    p.server.write(ktsl::Result(got, ktsl::Result::kWarning, "careful"));
    int others = 0;
    ktsl::Result result;
    ASSERT_TRUE(ktsl::Result::waitForResult(p.client, 5000, cmd, result, [&](ktsl::IOStream& s, unsigned short) {
        ++others;
        s.skip();
    }));
    EXPECT_EQ(others, 1);
    EXPECT_EQ(result.getCode(), ktsl::Result::kWarning);
    EXPECT_EQ(result.getMessage(), "careful");
    // No further answer comes: the wait ends at its time-out.
    EXPECT_FALSE(ktsl::Result::waitForResult(p.client, 100, cmd, result));
}

TEST(NetIOStream, PeerCloseAndClosedStream) {
    StreamPair p;
    p.client.close();
    EXPECT_EQ(p.server.getNextType(), ktsl::TypeId::EndOfFile);
    EXPECT_TRUE(p.server.hasFailed());
    EXPECT_THROW(p.server.write(kttl::String("late")), kttl::Exception);

    // Writing to a closed stream throws at once and queues nothing.
    try {
        p.client.write(kttl::String("x"));
        ADD_FAILURE() << "write to a closed stream accepted";
    } catch (const kttl::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Trying to write to an invalid socket."), std::string::npos);
    }
    EXPECT_EQ(p.client.queuedRecords(ktsl::TypeId::String), 0u);
    EXPECT_THROW(p.client.readObject(), kttl::Exception);
}

TEST(NetIOStream, ReadBufferGrowsOnlyForLongerPayloads) {
    StreamPair p;
    const struct {
        size_t chars;
        unsigned capacity;
        bool sameBuffer;
    } steps[] = {{100, 105, false}, {1000, 1005, false}, {500, 1005, true}, {1000, 1005, true}};
    const unsigned char* previous = nullptr;
    for (const auto& s : steps) {
        p.client.write(kttl::String(std::string(s.chars, 'x').c_str()));
        kttl::String got;
        p.server.read(got);
        EXPECT_EQ(got.size(), s.chars);
        EXPECT_EQ(p.server.getPayloadCapacity(), s.capacity);
        if (s.sameBuffer) {
            EXPECT_EQ(p.server.getLastPayload(), previous);
        }
        previous = p.server.getLastPayload();
    }
}

TEST(NetIOStream, SendEOFReachesThePeer) {
    StreamPair p;
    EXPECT_TRUE(p.client.sendEOF());
    EXPECT_EQ(p.server.getNextType(), ktsl::TypeId::EndOfFile);
    EXPECT_THROW(p.server.readObject(), kttl::Exception);
}

// Each malformed peer alone fails the stream (its owner then drops it) within the limits.
TEST(NetIOStream, HostilePeersFailTheStream) {
    const unsigned char hugeHeader[8] = {13, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    const unsigned char halfHeader[4] = {13, 0, 0, 0};
    const unsigned char shortPayload[18] = {13, 0, 0, 0, 100, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const unsigned char overCap[8] = {35, 0, 0, 0, 0x01, 0x00, 0x01, 0x00};  // 65537 bytes
    const struct {
        const char* name;
        const unsigned char* bytes;
        size_t n;
        bool closeAfter;
        const char* failure;
    } cases[] = {
        {"connect and close", nullptr, 0, true, "the peer closed the connection"},
        {"length 0xFFFFFFFF", hugeHeader, sizeof hugeHeader, false, "record longer than allowed"},
        {"just over 64 KB", overCap, sizeof overCap, false, "record longer than allowed"},
        {"half a header, then silence", halfHeader, sizeof halfHeader, false, "record left incomplete"},
        {"short payload, then silence", shortPayload, sizeof shortPayload, false, "record left incomplete"},
    };
    for (const auto& c : cases) {
        loopback::RawPair raw;
        NetIOStream server(raw.takeB(), 50);
        server.setLimits(0, 200, 0);
        if (c.n) {
            ASSERT_TRUE(loopback::sendAll(raw.a, c.bytes, c.n));
        }
        if (c.closeAfter) {
            ::close(raw.takeA());
        }
        EXPECT_FALSE(server.waitForRecord(3000)) << c.name;
        EXPECT_TRUE(server.hasFailed()) << c.name;
        EXPECT_STREQ(server.getFailure(), c.failure) << c.name;
        EXPECT_LE(server.getPayloadCapacity(), NetIOStream::kDefaultMaxRecordBytes) << c.name;
    }
}

// A peer that never reads: the queue stays bounded, a full queue fails the stream, and a socket
// that takes no byte for the stall limit fails it too; writes never wait.
TEST(NetIOStream, FrozenPeerNeverBlocksWriters) {
    kttl::SmartPtr<ktsl::StreamData> big(new ktsl::StreamData);
    big->assign(kttl::String(std::string(8 << 20, 'f').c_str()));
    {
        loopback::RawPair raw;
        NetIOStream server(raw.takeB(), 4);
        server.start();
        for (int i = 0; i < 4; ++i) server.writeData(big);
        EXPECT_THROW(server.writeData(big), kttl::Exception);
        EXPECT_TRUE(server.hasFailed());
        EXPECT_STREQ(server.getFailure(), "outgoing queue full");
    }
    {
        loopback::RawPair raw;
        NetIOStream server(raw.takeB(), 4);
        server.setLimits(0, 0, 300);
        server.start();
        server.writeData(big);
        EXPECT_TRUE(loopback::waitUntil([&] { return server.hasFailed(); }, 5000));
        EXPECT_STREQ(server.getFailure(), "the peer takes no data");
    }
}

}  // namespace
