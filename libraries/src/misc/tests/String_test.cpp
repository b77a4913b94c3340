#include "kttl_String.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "TestBytes.h"

TEST(String, BinaryFormIsLengthCharsAndZero) {
    EXPECT_EQ(binOf(kttl::String("abc")), (Bytes{3, 0, 0, 0, 'a', 'b', 'c', 0}));
    EXPECT_EQ(binOf(kttl::String()), (Bytes{0, 0, 0, 0, 0}));

    // Embedded zero bytes and trailing data: only the recorded length is taken.
    kttl::String r;
    EXPECT_TRUE(readBin(r, {2, 0, 0, 0, 'x', 0, 0, 0xAA, 0xBB}) == 7u && r == std::string("x\0", 2));
    const kttl::String longer(300, 'q');
    EXPECT_TRUE(readBin(r, binOf(longer)) == 305u && r == longer);
}

TEST(String, HostileBinaryInputIsRefusedAndLeavesValueUnchanged) {
    const Bytes bad[] = {
        {},                                // nothing
        {3, 0, 0},                         // short length field
        {3, 0, 0, 0, 'a', 'b', 'c'},       // terminator missing
        {4, 0, 0, 0, 'a', 'b', 'c', 0},    // length one past the end
        {0, 0, 0, 0},                      // empty string without its terminator
        {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0},  // length that would wrap pos + len + 1
        {0xFB, 0xFF, 0xFF, 0xFF, 'a', 0},  // 2^32 - 5
        {0x00, 0x00, 0x00, 0x80, 'a', 0},  // 2 GiB
    };
    kttl::String s("keep");
    for (const Bytes& in : bad) EXPECT_TRUE(fromBinRefused(s, in) && s == "keep") << in.size();
    EXPECT_THROW(s.fromBin(nullptr, 100), kttl::Exception);
}

TEST(String, XmlFormEscapesAndReadsBack) {
    const kttl::String s("a&b<c>'d\"");
    EXPECT_EQ(s.toXML(), "<kttl_String>a&amp;b&lt;c&gt;&apos;d&quot;</kttl_String>");
    EXPECT_EQ(s.toXML(nullptr), "");
    EXPECT_EQ(kttl::String().toXML("t"), "<t/>");
    for (const kttl::String v : {"", " ", "  padded  ", "a&b<c>'d\"", "line1\nline2", "ünï"}) {
        kttl::String r("x");
        EXPECT_TRUE(r.fromXML(v.toXML("v").c_str()) && r == v) << v;
    }
    kttl::String r("keep");
    for (const char* bad : {"<a>unclosed", "", static_cast<const char*>(nullptr)}) EXPECT_FALSE(r.fromXML(bad));
    EXPECT_EQ(r, "keep");
}

TEST(String, FormattingComparisonTrimTokenize) {
    EXPECT_EQ(kttl::String::format("%d-%s-%.2f", 7, "x", 1.5), "7-x-1.50");
    EXPECT_EQ(kttl::String::format(nullptr), "");
    const kttl::String big = kttl::String::format("%s%0300d", "z", 5);  // beyond the small buffer
    EXPECT_TRUE(big.size() == 301u && big.back() == '5');
    kttl::String a("v=");
    EXPECT_EQ(a.appendFormat("%u", 42u), "v=42");
    EXPECT_EQ(a.assignFormat("%c", 'q'), "q");

    struct Cmp { const char* a; const char* b; int sign; };
    for (const Cmp& c : {Cmp{"Hour", "hour", 0}, Cmp{"abc", "ABD", -1}, Cmp{"abcd", "ABC", 1}, Cmp{"a", "", 1}}) {
        const int got = kttl::String(c.a).compareNoCase(c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    }
    EXPECT_TRUE(kttl::String("").equalsNoCase(static_cast<const char*>(nullptr)));
    EXPECT_EQ(kttl::String("MiXeD1").toLower(), "mixed1");
    EXPECT_EQ(kttl::String("MiXeD1").toUpper(), "MIXED1");
    std::map<kttl::String, int, kttl::String::NoCaseLess> units{{"Minute", 1}};
    EXPECT_TRUE(units.count("MINUTE") == 1u && units.count("minutes") == 0u);

    EXPECT_EQ(kttl::String(" \t x y \r\n").trimmed(), "x y");
    EXPECT_EQ(kttl::String("   ").trimmed(), "");
    EXPECT_EQ(kttl::String("--a--").trimLeft("-"), "a--");
    EXPECT_EQ(kttl::String("--a--").trimRight("-"), "--a");

    using V = std::vector<kttl::String>;
    EXPECT_EQ(kttl::String("  a b\tc  ").tokenize(), (V{"a", "b", "c"}));
    EXPECT_EQ(kttl::String("a,,b,").tokenize(",", true), (V{"a", "", "b", ""}));
    EXPECT_EQ(kttl::String("a,,b,").tokenize(","), (V{"a", "b"}));
    EXPECT_EQ(kttl::String("").tokenize(","), V{});
    EXPECT_EQ(kttl::String("").tokenize(",", true), V{""});

    kttl::String r("aXbXXc");
    EXPECT_EQ(r.replaceAll("X", "XY"), 3u);  // the replacement is not searched again
    EXPECT_EQ(r, "aXYbXYXYc");
    EXPECT_TRUE(kttl::String("a.bin").endsWith(".bin") && !kttl::String("n").endsWith("bin"));
    EXPECT_TRUE(kttl::String("kttl_String").startsWith("kttl_"));
}

TEST(String, StrictNumberParsing) {
    struct Case { const char* text; bool ok; int value; };
    for (const Case& c : {Case{"42", true, 42}, Case{" -7 ", true, -7}, Case{"2147483647", true, 2147483647},
                          Case{"2147483648", false, 0}, Case{"-2147483649", false, 0}, Case{"12x", false, 0},
                          Case{"", false, 0}, Case{"0x10", false, 0}}) {
        int v = -99;
        EXPECT_EQ(kttl::String(c.text).parseInt(v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : -99) << c.text;
    }
    double d = 0;
    EXPECT_TRUE(kttl::String(" 1.25 ").parseDouble(d) && !kttl::String("1.2.3").parseDouble(d) && d == 1.25);
}
