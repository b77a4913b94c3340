#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "TestBytes.h"
#include "kttl_Buffer.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_UUID.h"

TEST(Integer, BinaryAndXmlForms) {
    EXPECT_EQ(binOf(kttl::Integer(0x01020304)), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(kttl::Integer(-2).toXML(), "<Integer>-2</Integer>");
    EXPECT_EQ(kttl::Integer(-2).toXML(nullptr), "");
    for (int v : {0, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        kttl::Integer a(v), b(7), c(7);
        EXPECT_TRUE(readBin(b, binOf(a)) == 4u && int(b) == v) << v;
        EXPECT_TRUE(c.fromXML(a.toXML("n").c_str()) && c.get() == v) << v;
    }
    kttl::Integer k(5);
    for (const char* bad : {"<n>x</n>", "<n>2147483648</n>", "<n/>", "<n>1.5</n>", "junk"})
        EXPECT_FALSE(k.fromXML(bad)) << bad;
    EXPECT_TRUE(fromBinRefused(k, {1, 2, 3}) && k == 5);
}

TEST(Double, BinaryAndBothXmlForms) {
    EXPECT_EQ(binOf(kttl::Double(1.5)), (Bytes{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    // Six significant digits, or a fixed count of decimals when one is given.
    const struct { double v; std::optional<int> decimals; const char* xml; } cases[] = {
        {1.0 / 3, {}, "<d>0.333333</d>"}, {1234567.0, {}, "<d>1.23457e+06</d>"},
        {-0.0001, {}, "<d>-0.0001</d>"}, {3.14159, 2, "<d>3.14</d>"}, {2, -3, "<d>2</d>"}, {1.5, 6, "<d>1.500000</d>"}};
    for (const auto& c : cases) {
        const kttl::Double d(c.v);
        EXPECT_EQ(c.decimals ? d.toXML("d", *c.decimals) : d.toXML("d"), c.xml) << c.v;
    }
    EXPECT_EQ(kttl::Double(1).toXML(nullptr, 3), "");
    for (double v : {-1e300, 4.9e-324, std::numeric_limits<double>::infinity()}) {
        kttl::Double b(9);
        EXPECT_TRUE(readBin(b, binOf(kttl::Double(v))) == 8u && b.get() == v) << v;
    }
    kttl::Double r(9);
    EXPECT_TRUE(r.fromXML("<d> 2.5e3 </d>"));
    EXPECT_TRUE(!r.fromXML("<d>2.5x</d>") && !r.fromXML("<d/>") && fromBinRefused(r, {1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(r, 2500.0);
}

TEST(UUID, GenerationTextAndBinaryForms) {
    EXPECT_FALSE(kttl::UUID().isValid());
    EXPECT_EQ(kttl::UUID().toString(), "00000000-0000-0000-0000-000000000000");
    const kttl::UUID a = kttl::UUID::generate(), b = kttl::UUID::generate(), t = kttl::UUID::generateTime();
    EXPECT_TRUE(a != b && a.bytes()[6] >> 4 == 4 && t.bytes()[6] >> 4 == 1);  // random and time versions

    const unsigned char raw[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                   0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    const kttl::UUID u(raw);
    EXPECT_EQ(u.toXML("id"), "<id>00112233-4455-6677-8899-aabbccddeeff</id>");
    EXPECT_EQ(binOf(u), Bytes(raw, raw + 16));
    kttl::UUID x, y, z;
    EXPECT_TRUE(readBin(x, binOf(u)) == 16u && x == u && y.fromXML(u.toXML().c_str()) && y == u);
    EXPECT_TRUE(z.fromString(" 00112233-4455-6677-8899-AABBCCDDEEFF\n") && z == u);
    EXPECT_TRUE(fromBinRefused(x, Bytes(15, 0)));
}

TEST(UUID, MalformedTextIsRefusedAndValueKept) {
    // Non-hex at the end of the last group and inside it; short, long; dashes misplaced; a 0x prefix
    // that scanf would take; empty.
    const char* bad[] = {"00112233-4455-6677-8899-aabbccddeefg", "00112233-4455-6677-8899-aabbccgdeeff",
                         "00112233-4455-6677-8899-aabbccddeef", "00112233-4455-6677-8899-aabbccddeeff0",
                         "0011223344556677-8899-aabb-ccddeeff", "0x112233-4455-6677-8899-aabbccddeeff", ""};
    const unsigned char raw[16] = {1};
    for (const char* text : bad) {
        kttl::UUID u(raw);
        EXPECT_FALSE(u.fromString(text) || u.fromXML((std::string("<u>") + text + "</u>").c_str())) << text;
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
