#include <gtest/gtest.h>

#include <limits>

#include "TestBytes.h"
#include "kttl_Buffer.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_UUID.h"

TEST(Integer, BinaryAndXmlForms) {
    EXPECT_EQ(binOf(kttl::Integer(-2)), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(binOf(kttl::Integer(0x01020304)), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(kttl::Integer(-2).toXML(), "<Integer>-2</Integer>");
    EXPECT_EQ(kttl::Integer(-2).toXML(nullptr), "");
    for (int v : {0, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        kttl::Integer a(v), b(7), c(7);
        EXPECT_TRUE(readBin(b, binOf(a)) == 4u && int(b) == v) << v;
        EXPECT_TRUE(c.fromXML(a.toXML("n").c_str()) && c.get() == v) << v;
    }
    kttl::Integer k(5);
    for (const char* bad : {"<n>x</n>", "<n>2147483648</n>", "<n/>", "<n>1.5</n>", "junk"}) EXPECT_FALSE(k.fromXML(bad)) << bad;
    EXPECT_TRUE(fromBinRefused(k, {1, 2, 3}) && k == 5);
}

TEST(Double, BinaryAndBothXmlForms) {
    EXPECT_EQ(binOf(kttl::Double(1.5)), (Bytes{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    struct Case { kttl::String got; const char* xml; };
    for (const Case& c : {Case{kttl::Double(1.0 / 3).toXML("d"), "<d>0.333333</d>"},  // six significant digits
                          Case{kttl::Double(1234567.0).toXML("d"), "<d>1.23457e+06</d>"},
                          Case{kttl::Double(-0.0001).toXML("d"), "<d>-0.0001</d>"},
                          Case{kttl::Double(3.14159).toXML("d", 2), "<d>3.14</d>"},
                          Case{kttl::Double(2).toXML("d", -3), "<d>2</d>"},
                          Case{kttl::Double(1.5).toXML("d", 6), "<d>1.500000</d>"},
                          Case{kttl::Double(1).toXML(nullptr, 3), ""}}) {
        EXPECT_EQ(c.got, c.xml);
    }
    for (double v : {-1e300, 4.9e-324, std::numeric_limits<double>::infinity()}) {
        kttl::Double a(v), b(9);
        EXPECT_TRUE(readBin(b, binOf(a)) == 8u && b.get() == v) << v;
    }
    kttl::Double r(9);
    EXPECT_TRUE(r.fromXML("<d> 2.5e3 </d>"));
    EXPECT_TRUE(!r.fromXML("<d>2.5x</d>") && !r.fromXML("<d/>") && fromBinRefused(r, {1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(r, 2500.0);
}

TEST(UUID, GenerationTextAndBinaryForms) {
    kttl::UUID nil;
    EXPECT_FALSE(nil.isValid());
    EXPECT_EQ(nil.toString(), "00000000-0000-0000-0000-000000000000");
    kttl::UUID a = kttl::UUID::generate(), b = kttl::UUID::generate(), t = kttl::UUID::generateTime();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.bytes()[6] >> 4, 4);  // random version
    EXPECT_EQ(t.bytes()[6] >> 4, 1);  // time-based version

    const unsigned char raw[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                   0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    const kttl::UUID u(raw);
    EXPECT_EQ(u.toXML("id"), "<id>00112233-4455-6677-8899-aabbccddeeff</id>");
    EXPECT_EQ(binOf(u), Bytes(raw, raw + 16));
    kttl::UUID x, y, z;
    EXPECT_TRUE(readBin(x, binOf(u)) == 16u && x == u);
    EXPECT_TRUE(y.fromXML(u.toXML().c_str()) && y == u);
    EXPECT_TRUE(z.fromString(" 00112233-4455-6677-8899-AABBCCDDEEFF\n") && z == u);
    EXPECT_TRUE(fromBinRefused(x, Bytes(15, 0)));
}

TEST(UUID, MalformedTextIsRefusedAndValueKept) {
    const char* bad[] = {
        "00112233-4455-6677-8899-aabbccddeefg",   // non-hex last digit of the last group
        "00112233-4455-6677-8899-aabbccgdeeff",   // non-hex inside the last group
        "00112233-4455-6677-8899-aabbccddeef",    // short
        "00112233-4455-6677-8899-aabbccddeeff0",  // long
        "0011223344556677-8899-aabb-ccddeeff",    // dashes misplaced
        "0x112233-4455-6677-8899-aabbccddeeff",   // scanf would take the 0x prefix
        "",
    };
    const unsigned char raw[16] = {1};
    for (const char* text : bad) {
        kttl::UUID u(raw);
        EXPECT_FALSE(u.fromString(text)) << text;
        EXPECT_FALSE(u.fromXML((std::string("<u>") + text + "</u>").c_str())) << text;
        EXPECT_EQ(u, kttl::UUID(raw)) << text;
    }
    EXPECT_FALSE(kttl::UUID().fromString(nullptr));
}

TEST(Buffer, BinaryAndHexXmlFormsAndHostileLength) {
    const kttl::Buffer b("\x01\xAB", 2);
    EXPECT_EQ(binOf(b), (Bytes{2, 0, 0, 0, 0x01, 0xAB}));
    EXPECT_EQ(b.toXML("b"), "<b>01ab</b>");
    EXPECT_EQ(kttl::Buffer().toXML("b"), "<b/>");
    kttl::Buffer x;
    EXPECT_TRUE(readBin(x, binOf(b)) == 6u && x == b);
    EXPECT_TRUE(x.fromXML("<b/>") && x.empty());
    EXPECT_TRUE(x.fromXML("<b>01AB</b>") && !x.fromXML("<b>0</b>") && !x.fromXML("<b>zz</b>") && x == b);
    for (const Bytes& in : {Bytes{3, 0, 0, 0, 1, 2}, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1}, Bytes{0, 0, 0}})
        EXPECT_TRUE(fromBinRefused(x, in) && x == b) << in.size();
}
