// Object streams in memory: record layout, hostile headers and lengths, growth, and the stream's own forms.
#include <gtest/gtest.h>

#include "../../misc/tests/TestBytes.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "ktsl_EndOfFile.h"
#include "ktsl_MemIOStream.h"

static const char* const kFile = "streams/ktsl_MemIOStream";

static Bytes unread(const ktsl::MemIOStream& s) {
    return Bytes(s.unreadData(), s.unreadData() + s.getUnreadLength());
}
static ktsl::MemIOStream streamOf(const Bytes& b) {
    ktsl::MemIOStream s;
    s.writeBytes(b.data(), static_cast<unsigned>(b.size()));
    return s;
}

TEST(MemIOStream, RecordLayoutAndRoundTrip) {
    ktsl::MemIOStream s;
    EXPECT_EQ(s.write(kttl::String("ab")) + s.write(kttl::Integer(-1)) + s.write(ktsl::EndOfFile()),
              15u + 12 + 8);
    EXPECT_EQ(unread(s), (Bytes{0xF5, 0x01, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0,  // String record
                                0xF8, 0x01, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,   // Integer record
                                0x01, 0x00, 0, 0, 0, 0, 0, 0}));                        // end-of-file record
    kttl::String str;
    kttl::Integer i;
    EXPECT_EQ(s.getNextType(), 501);
    EXPECT_TRUE(s.peek(str) == 15u && str == "ab" && s.getUnreadLength() == 35u);
    expectThrowMessage([&] { s.read(i); }, kFile, "ktsl::MemIOStream::read() - type mismatch: 501 != 504");
    EXPECT_TRUE(s.read(str) == 15u && s.read(i) == 12u && i == -1);
    EXPECT_TRUE(s.getNextType() == 1 && s.skip() == 8u);  // an end-of-file record
    EXPECT_EQ(s.getNextType(), 1);                        // nothing left
    expectThrowMessage([&] { s.read(str); }, kFile, "ktsl::MemIOStream::read() - no data");
    expectThrowMessage([&] { s.skip(); }, kFile, "ktsl::MemIOStream::skip() - no data");
}

TEST(MemIOStream, PartialHeadersAndLyingRecordLengthsAreRefused) {
    const Bytes header{0xF8, 0x01, 0, 0, 4, 0, 0, 0};
    kttl::Integer i(7);
    for (unsigned n = 1; n < 8; ++n) {
        ktsl::MemIOStream s = streamOf(Bytes(header.begin(), header.begin() + n));
        expectThrowMessage([&] { s.getNextType(); }, kFile, "ktsl::MemIOStream::getNextType() - no data");
        EXPECT_THROW(s.peek(i), kttl::Exception);
        EXPECT_THROW(s.skip(), kttl::Exception);
    }
    // Full headers whose payload runs past the unread bytes: refused, the stream and value unchanged.
    Bytes huge, wraps, oneShort;
    putRecordHeader(huge, 504, 0x7FFFFFFF);
    putRecordHeader(wraps, 504, 0xFFFFFFFC);  // 8 + length wraps a 32-bit sum to 4
    putRecordHeader(oneShort, 504, 5);
    for (Bytes* b : {&huge, &wraps, &oneShort}) put32(*b, 1);
    for (const Bytes& in : {header, huge, wraps, oneShort}) {
        ktsl::MemIOStream s = streamOf(in);
        EXPECT_EQ(thrownMessage([&] { s.read(i); }), "ktsl::Serializable::fromBin() - Failed!") << in.size();
        EXPECT_THROW(s.skip(), kttl::Exception);
        EXPECT_TRUE(unread(s) == in && i == 7) << in.size();
    }
    // Sound framing around a string whose own length lies: the string refuses, the record can
    // still be dropped.
    Bytes lie{0xF5, 0x01, 0, 0, 8, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    ktsl::MemIOStream s = streamOf(lie);
    kttl::String str;
    EXPECT_THROW(s.read(str), kttl::Exception);
    EXPECT_EQ(s.skip(), 16u);
}

TEST(MemIOStream, GrowsByRecordPlusTwiceCapacityAndCompactsReadBytes) {
    ktsl::MemIOStream s;
    kttl::Integer v, w;
    for (int k : {1, 2}) s.write(kttl::Integer(k));  // 12-byte records
    EXPECT_EQ(s.getCapacity(), 12u + 2 * 12);
    s.read(v);
    s.write(kttl::Integer(3));  // fits behind the write position
    s.write(kttl::Integer(4));  // tail full, start holds 12 read bytes: moved, not grown
    EXPECT_TRUE(s.getCapacity() == 36u && s.getReadPosition() == 0u);
    s.read(v);
    s.write(kttl::Double(5));  // 16 bytes, only 12 free: grown with the unread bytes at the start
    EXPECT_TRUE(s.getCapacity() == 16u + 2 * 36 && s.getWritePosition() == 24u + 16);
    kttl::Double d;
    EXPECT_TRUE(s.read(v) && v == 3 && s.read(w) && w == 4 && s.read(d) && d == 5.0);

    const unsigned cap = s.getCapacity();  // steady state: equal writes and reads never grow it again
    kttl::String str;
    for (int k = 0; k < 1000; ++k)
        ASSERT_TRUE(s.write(kttl::Integer(k)) && s.write(kttl::String("go")) && s.read(v) && s.read(str) &&
                    v == k);
    EXPECT_EQ(s.getCapacity(), cap);
}

TEST(MemIOStream, OwnFormsCarryOnlyTheUnreadBytes) {
    ktsl::MemIOStream s;
    for (int k : {9, 1}) s.write(kttl::Integer(k));
    kttl::Integer v;
    s.read(v);
    Bytes expect{12, 0, 0, 0};
    putIntegerRecord(expect, 1);
    EXPECT_EQ(binOf(s), expect);
    EXPECT_EQ(s.toXML("s") + ktsl::MemIOStream().toXML("s"), "<s>f801000004000000" "01000000</s><s/>");

    ktsl::MemIOStream t, x, copy(s);
    t.write(kttl::String("old"));
    EXPECT_EQ(readBin(t, expect), 16u);
    ASSERT_TRUE(x.fromXML(s.toXML("s").c_str()));
    s.read(v);  // a copy keeps its own bytes
    for (ktsl::MemIOStream* r : {&t, &x, &copy}) EXPECT_TRUE(r->read(v) == 12u && v == 1);
    for (const Bytes& bad : {Bytes{5, 0, 0, 0, 1, 2, 3, 4}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{1, 0}}) {
        ktsl::MemIOStream keep = streamOf(expect);
        EXPECT_TRUE(fromBinRefused(keep, bad) && keep.getUnreadLength() == 16u) << bad.size();
    }
    // A stream can read its own binary form in place.
    ktsl::MemIOStream self = streamOf(expect);
    self.fromBin(self.unreadData(), self.getUnreadLength());
    EXPECT_TRUE(self.read(v) == 12u && v == 1);
}
