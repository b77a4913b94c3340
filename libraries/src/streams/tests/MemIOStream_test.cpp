#include "ktsl_MemIOStream.h"

#include <gtest/gtest.h>

#include <functional>

#include "StreamTestUtil.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "ktsl_EndOfFile.h"

TEST(MemIOStream, RecordLayoutAndRoundTrip) {
    ktsl::MemIOStream s;
    EXPECT_EQ(s.write(kttl::String("ab")), 15u);
    EXPECT_EQ(s.write(kttl::Integer(-1)), 12u);
    EXPECT_EQ(s.write(ktsl::EndOfFile()), 8u);
    EXPECT_EQ(Bytes(s.unreadData(), s.unreadData() + s.getUnreadLength()),
              (Bytes{0xF5, 0x01, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0,  // String record
                     0xF8, 0x01, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,   // Integer record
                     0x01, 0x00, 0, 0, 0, 0, 0, 0}));                        // end-of-file record

    EXPECT_EQ(s.getNextType(), 501);
    kttl::String str;
    kttl::Integer i;
    EXPECT_EQ(s.peek(str), 15u);
    EXPECT_EQ(str, "ab");
    EXPECT_EQ(s.getUnreadLength(), 35u);
    expectThrowMessage([&] { s.read(i); }, "streams/ktsl_MemIOStream",
                       "ktsl::MemIOStream::read() - type mismatch: 501 != 504");
    EXPECT_EQ(s.read(str), 15u);
    EXPECT_EQ(s.read(i), 12u);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(s.getNextType(), 1);  // an end-of-file record
    EXPECT_EQ(s.skip(), 8u);
    EXPECT_TRUE(s.isEmpty());
    EXPECT_EQ(s.getNextType(), 1);  // nothing left
    expectThrowMessage([&] { s.read(str); }, "streams/ktsl_MemIOStream", "ktsl::MemIOStream::read() - no data");
    expectThrowMessage([&] { s.skip(); }, "streams/ktsl_MemIOStream", "ktsl::MemIOStream::skip() - no data");
}

TEST(MemIOStream, GetNextTypeWithPartialHeaders) {
    for (unsigned n = 0; n <= 8; ++n) {
        ktsl::MemIOStream s;
        Bytes bytes{0xF8, 0x01, 0, 0, 4, 0, 0, 0};
        s.writeBytes(bytes.data(), n);
        if (n == 0) {
            EXPECT_EQ(s.getNextType(), 1);
        } else if (n < 8) {
            expectThrowMessage([&] { s.getNextType(); }, "streams/ktsl_MemIOStream",
                               "ktsl::MemIOStream::getNextType() - no data");
            kttl::Integer i;
            EXPECT_THROW(s.skip(), kttl::Exception);
            EXPECT_THROW(s.peek(i), kttl::Exception);
        } else {
            EXPECT_EQ(s.getNextType(), 504);
            kttl::Integer i(5);
            // A full header whose payload is missing is refused and leaves the stream as it was.
            EXPECT_THROW(s.read(i), kttl::Exception);
            EXPECT_EQ(s.getUnreadLength(), 8u);
            EXPECT_EQ(i, 5);
        }
    }
}

TEST(MemIOStream, GrowsByRecordPlusTwiceCapacityAndCompactsReadBytes) {
    ktsl::MemIOStream s;
    EXPECT_EQ(s.getCapacity(), 0u);
    s.write(kttl::Integer(1));  // 12-byte records
    EXPECT_EQ(s.getCapacity(), 12u);
    s.write(kttl::Integer(2));
    EXPECT_EQ(s.getCapacity(), 12u + 2 * 12);
    kttl::Integer v;
    s.read(v);
    EXPECT_EQ(v, 1);
    s.write(kttl::Integer(3));  // fits behind the write position
    EXPECT_EQ(s.getReadPosition(), 12u);
    EXPECT_EQ(s.getWritePosition(), 36u);
    s.write(kttl::Integer(4));  // tail full, start holds 12 read bytes: moved, not grown
    EXPECT_EQ(s.getCapacity(), 36u);
    EXPECT_EQ(s.getReadPosition(), 0u);
    EXPECT_EQ(s.getWritePosition(), 36u);
    s.read(v);
    s.write(kttl::Double(5));  // 16 bytes, only 12 free: grown with the unread bytes at the start
    EXPECT_EQ(s.getCapacity(), 16u + 2 * 36);
    EXPECT_EQ(s.getReadPosition(), 0u);
    EXPECT_EQ(s.getWritePosition(), 24u + 16);
    for (int expect : {3, 4}) {
        s.read(v);
        EXPECT_EQ(v, expect);
    }
    kttl::Double d;
    s.read(d);
    EXPECT_EQ(d, 5.0);

    // Steady state: equal writes and reads never grow the buffer again.
    const unsigned cap = s.getCapacity();
    for (int k = 0; k < 1000; ++k) {
        s.write(kttl::Integer(k));
        s.write(kttl::String("steady"));
        kttl::String str;
        s.read(v);
        s.read(str);
        EXPECT_EQ(v, k);
    }
    EXPECT_EQ(s.getCapacity(), cap);

    ktsl::MemIOStream pre(64);
    EXPECT_EQ(pre.getCapacity(), 64u);
}

TEST(MemIOStream, HostileRecordLengthsAreRefused) {
    struct Case { const char* what; Bytes bytes; };
    Bytes huge, wraps, oneShort;
    putRecordHeader(huge, 501, 0x7FFFFFFF);
    put32(huge, 1);
    putRecordHeader(wraps, 504, 0xFFFFFFFC);  // 8 + length wraps a 32-bit sum to 4
    put32(wraps, 1);
    putRecordHeader(oneShort, 504, 5);
    put32(oneShort, 1);
    for (const Case& c : {Case{"huge", huge}, Case{"wraps", wraps}, Case{"one short", oneShort}}) {
        ktsl::MemIOStream s;
        s.writeBytes(c.bytes.data(), static_cast<unsigned>(c.bytes.size()));
        const unsigned before = s.getUnreadLength();
        kttl::String str("keep");
        kttl::Integer i(7);
        ktsl::Serializable& target = s.getNextType() == 501 ? static_cast<ktsl::Serializable&>(str) : i;
        try {
            s.read(target);
            ADD_FAILURE() << c.what;
        } catch (const kttl::Exception& e) {
            EXPECT_STREQ(e.what(), "ktsl::Serializable::fromBin() - Failed!") << c.what;
        }
        EXPECT_THROW(s.skip(), kttl::Exception) << c.what;
        EXPECT_EQ(s.getUnreadLength(), before) << c.what;
        EXPECT_EQ(str, "keep");
        EXPECT_EQ(i, 7);
    }
    // A string record whose inner length lies is refused by the string itself.
    Bytes lie;
    putRecordHeader(lie, 501, 8);
    put32(lie, 0xFFFFFFF0);
    put32(lie, 0);
    ktsl::MemIOStream s;
    s.writeBytes(lie.data(), static_cast<unsigned>(lie.size()));
    kttl::String str;
    EXPECT_THROW(s.read(str), kttl::Exception);
    EXPECT_EQ(s.skip(), 16u);  // the framing itself is sound, so the record can be dropped
}

TEST(MemIOStream, OwnBinaryFormIsUnreadCountAndBytes) {
    ktsl::MemIOStream s;
    s.write(kttl::Integer(9));
    s.write(kttl::Integer(10));
    kttl::Integer v;
    s.read(v);  // only unread bytes travel
    EXPECT_EQ(s.getTypeId(), 6);
    EXPECT_EQ(s.getTypeName(), "ktsl_MemIOStream");
    Bytes expect;
    put32(expect, 12);
    putIntegerRecord(expect, 10);
    EXPECT_EQ(binOf(s), expect);

    ktsl::MemIOStream t;
    t.write(kttl::String("old"));
    EXPECT_EQ(readBin(t, expect), 16u);
    EXPECT_EQ(t.getNextType(), 504);
    t.read(v);
    EXPECT_EQ(v, 10);

    // Streams nest: a stream written into a stream reads back whole.
    ktsl::MemIOStream outer, inner;
    inner.write(kttl::String("x"));
    outer.write(inner);
    ktsl::MemIOStream got;
    outer.read(got);
    kttl::String x;
    got.read(x);
    EXPECT_EQ(x, "x");

    for (const Bytes& bad : {Bytes{5, 0, 0, 0, 1, 2, 3, 4}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{1, 0}}) {
        ktsl::MemIOStream keep;
        keep.write(kttl::Integer(1));
        EXPECT_TRUE(fromBinRefused(keep, bad));
        EXPECT_EQ(keep.getUnreadLength(), 12u);
    }
    // Reading its own binary form in place.
    ktsl::MemIOStream self;
    self.write(kttl::Integer(3));
    Bytes own = binOf(self);
    self.clear();
    self.writeBytes(own.data(), static_cast<unsigned>(own.size()));
    self.fromBin(self.unreadData(), self.getUnreadLength());
    self.read(v);
    EXPECT_EQ(v, 3);
}

TEST(MemIOStream, CopiesXmlAndFiles) {
    ktsl::MemIOStream a;
    a.write(kttl::Integer(1));
    ktsl::MemIOStream b(a), c;
    c = a;
    kttl::Integer v;
    a.read(v);
    EXPECT_EQ(b.getUnreadLength(), 12u);
    EXPECT_EQ(c.getUnreadLength(), 12u);
    c = c;
    EXPECT_EQ(c.getUnreadLength(), 12u);
    ktsl::MemIOStream m(std::move(c));
    EXPECT_EQ(m.getUnreadLength(), 12u);
    EXPECT_TRUE(c.isEmpty());

    EXPECT_EQ(b.toXML("s"), "<s>f801000004000000" "01000000</s>");
    ktsl::MemIOStream x;
    ASSERT_TRUE(x.fromXML(b.toXML("s").c_str()));
    x.read(v);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(ktsl::MemIOStream().toXML("s"), "<s/>");

    const std::string path = std::string(KT_BINARY_DIR) + "/ktsl_stream_file.bin";
    ASSERT_TRUE(b.toFile(path.c_str()));
    ktsl::MemIOStream f;
    ASSERT_TRUE(f.fromFile(path.c_str()));
    f.read(v);
    EXPECT_EQ(v, 1);
    std::remove(path.c_str());
}
