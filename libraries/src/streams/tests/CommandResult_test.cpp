// Commands and results: pinned binary forms, validation, result names and hostile inner lengths.
#include <gtest/gtest.h>

#include <vector>

#include "kttl_Exception.h"
#include "ktsl_Command.h"
#include "ktsl_Ping.h"
#include "ktsl_Result.h"

namespace {

ktsl::Command pinnedCommand() {
    unsigned char id[16];
    for (int i = 0; i < 16; ++i) id[i] = static_cast<unsigned char>(i + 1);
    ktsl::Command c("ab", 3004, 2);
    c.setId(kttl::UUID(id));
    c.setTimeout(kttl::ElapsedTime(1500));
    return c;
}

std::vector<unsigned char> bin(const ktsl::Serializable& v) {
    std::vector<unsigned char> out(v.getBinLength());
    EXPECT_EQ(v.toBin(out.data()), out.size());
    return out;
}

const std::vector<unsigned char> kCommandBytes = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,  // identifier
    2, 0, 0, 0, 'a', 'b', 0,                                // URL
    0xBC, 0x0B, 0, 0,                                       // type 3004
    2, 0, 0, 0,                                             // subtype 2
    0, 0, 0, 0,                                             // empty argument stream
    0xDC, 0x05, 0, 0, 0, 0, 0, 0,                           // time-out 1500 ms
};

TEST(CommandResult, PinnedBytesRoundTrip) {
    const ktsl::Command c = pinnedCommand();
    EXPECT_EQ(bin(c), kCommandBytes);

    ktsl::Result r(c, ktsl::Result::kUnsupported, "no");
    std::vector<unsigned char> expected = kCommandBytes;
    for (int b : {0xFC, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 110, 111, 0, 0, 0, 0, 0}) expected.push_back(static_cast<unsigned char>(b));
    const std::vector<unsigned char> bytes = bin(r);
    EXPECT_EQ(bytes, expected);

    ktsl::Result back;
    EXPECT_EQ(back.fromBin(bytes.data(), static_cast<unsigned>(bytes.size())), bytes.size());
    EXPECT_EQ(back.getCode(), -4);
    EXPECT_EQ(back.getMessage(), "no");
    EXPECT_EQ(back.getCommand().getId(), c.getId());
    EXPECT_EQ(back.getCommand().getType(), 3004);
    EXPECT_EQ(back.getCommand().getTimeout().getMilliseconds(), 1500);
}

TEST(CommandResult, ValidationBeforeWriting) {
    struct Case {
        const char* message;
        void (*spoil)(ktsl::Command&);
    };
    const Case cases[] = {
        {"Invalid Command ID", [](ktsl::Command& c) { c.setId(kttl::UUID()); }},
        {"Invalid URL", [](ktsl::Command& c) { c.setUrl(""); }},
        {"Invalid Command Type", [](ktsl::Command& c) { c.setType(-1); }},
        {"Invalid Command SubType", [](ktsl::Command& c) { c.setSubType(-1); }},
        {"Object stream cannot be NULL.", [](ktsl::Command& c) { c.setArguments(nullptr); }},
    };
    for (const Case& k : cases) {
        ktsl::Command c = pinnedCommand();
        k.spoil(c);
        std::vector<unsigned char> out(c.getBinLength() + 16);
        try {
            c.toBin(out.data());
            ADD_FAILURE() << k.message << " not refused";
        } catch (const kttl::Exception& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("ktsl::Command::") + k.message), std::string::npos) << e.what();
        }
    }
}

TEST(CommandResult, CodeNames) {
    const std::pair<int, const char*> names[] = {{0, "Success"},   {1, "Warning"},      {2, "Asynchronous"},
                                                 {-1, "Failure"},  {-2, "Timeout"},     {-3, "Unknown"},
                                                 {-4, "Unsupported"}, {-5, "Not Authorized"}, {-6, "Canceled"},
                                                 {3, ""},          {-7, ""}};
    for (const auto& n : names) EXPECT_EQ(ktsl::Result::codeToString(n.first), n.second) << n.first;
}

// Every inner length is checked against the bytes present: truncations and lying counts throw the
// plain failure and leave the value as it was.
TEST(CommandResult, HostileInnerLengthsRefused) {
    const std::vector<unsigned char> good = kCommandBytes;
    std::vector<std::vector<unsigned char>> bad;
    for (size_t n : {0u, 10u, 20u, 30u, 38u, 42u}) bad.emplace_back(good.begin(), good.begin() + n);
    std::vector<unsigned char> longUrl = good;
    longUrl[16] = 0xFF, longUrl[17] = 0xFF, longUrl[18] = 0xFF, longUrl[19] = 0xFF;
    bad.push_back(longUrl);
    std::vector<unsigned char> longArgs = good;
    longArgs[31] = 0xF0;  // argument stream announces 240 bytes
    bad.push_back(longArgs);
    for (const auto& b : bad) {
        ktsl::Command c("keep", 1, 1);
        EXPECT_THROW(c.fromBin(b.data(), static_cast<unsigned>(b.size())), kttl::Exception) << b.size();
        EXPECT_EQ(c.getUrl(), "keep");
    }

    ktsl::Ping p;
    p.setVersion(7);
    p.setAttribute("k", "v");
    std::vector<unsigned char> pb = bin(p);
    ktsl::Ping back;
    EXPECT_EQ(back.fromBin(pb.data(), static_cast<unsigned>(pb.size())), pb.size());
    EXPECT_EQ(back.getVersion(), 7);
    EXPECT_EQ(back.getAttribute("k"), "v");
    pb[13] = 0x7F;  // attribute count far beyond the bytes
    EXPECT_THROW(back.fromBin(pb.data(), static_cast<unsigned>(pb.size())), kttl::Exception);
}

}  // namespace
