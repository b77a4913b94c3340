#include "kttl_String.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <unordered_map>
#include <vector>

#include "kttl_Exception.h"

namespace {

std::vector<unsigned char> bin(const ktsl::Serializable& v) {
    std::vector<unsigned char> out(v.getBinLength());
    EXPECT_EQ(v.toBin(out.data()), out.size());
    return out;
}

void expectFromBinFails(ktsl::Serializable& v, const std::vector<unsigned char>& in) {
    try {
        v.fromBin(in.data(), static_cast<unsigned>(in.size()));
        ADD_FAILURE() << "no throw for " << in.size() << " bytes";
    } catch (const kttl::Exception& e) {
        EXPECT_STREQ(e.what(), "ktsl::Serializable::fromBin() - Failed!");
    }
}

}  // namespace

TEST(String, BinaryFormIsLengthCharsAndZero) {
    kttl::String s("abc");
    EXPECT_EQ(s.getTypeId(), 501);
    EXPECT_EQ(s.getTypeName(), "kttl_String");
    EXPECT_EQ(bin(s), (std::vector<unsigned char>{3, 0, 0, 0, 'a', 'b', 'c', 0}));
    EXPECT_EQ(bin(kttl::String()), (std::vector<unsigned char>{0, 0, 0, 0, 0}));

    // Embedded zero bytes and trailing data: only the recorded length is taken.
    std::vector<unsigned char> in{2, 0, 0, 0, 'x', 0, 0, 0xAA, 0xBB};
    kttl::String r;
    EXPECT_EQ(r.fromBin(in.data(), static_cast<unsigned>(in.size())), 7u);
    EXPECT_EQ(r, std::string("x\0", 2));

    kttl::String long1(300, 'q');
    kttl::String back;
    auto b = bin(long1);
    EXPECT_EQ(back.fromBin(b.data(), static_cast<unsigned>(b.size())), 305u);
    EXPECT_EQ(back, long1);
}

TEST(String, HostileBinaryInputIsRefusedAndLeavesValueUnchanged) {
    const std::vector<std::vector<unsigned char>> bad{
        {},                                  // nothing
        {3, 0, 0},                           // short length field
        {3, 0, 0, 0, 'a', 'b', 'c'},         // terminator missing
        {4, 0, 0, 0, 'a', 'b', 'c', 0},      // length one past the end
        {0, 0, 0, 0},                        // empty string without its terminator
        {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0},    // length that would wrap pos + len + 1
        {0xFB, 0xFF, 0xFF, 0xFF, 'a', 0},    // 2^32 - 5
        {0x00, 0x00, 0x00, 0x80, 'a', 0},    // 2 GiB
    };
    for (const auto& in : bad) {
        kttl::String s("keep");
        expectFromBinFails(s, in);
        EXPECT_EQ(s, "keep");
    }
    kttl::String s("keep");
    EXPECT_THROW(s.fromBin(nullptr, 100), kttl::Exception);
}

TEST(String, XmlFormEscapesAndReadsBack) {
    kttl::String s("a&b<c>'d\"");
    EXPECT_EQ(s.toXML("t"), "<t>a&amp;b&lt;c&gt;&apos;d&quot;</t>");
    EXPECT_EQ(s.toXML(), "<kttl_String>a&amp;b&lt;c&gt;&apos;d&quot;</kttl_String>");
    EXPECT_EQ(s.toXML(nullptr), "");
    EXPECT_EQ(kttl::String().toXML("t"), "<t/>");

    const std::vector<kttl::String> values{"", " ", "  padded  ", "a&b<c>'d\"", "line1\nline2", "ünï"};
    for (const auto& v : values) {
        kttl::String r("x");
        ASSERT_TRUE(r.fromXML(v.toXML("v").c_str())) << v;
        EXPECT_EQ(r, v);
    }
    kttl::String r("keep");
    EXPECT_FALSE(r.fromXML("<a>unclosed"));
    EXPECT_FALSE(r.fromXML(nullptr));
    EXPECT_FALSE(r.fromXML(""));
    EXPECT_EQ(r, "keep");
}

TEST(String, FormattingComparisonTrimTokenize) {
    EXPECT_EQ(kttl::String::format("%d-%s-%.2f", 7, "x", 1.5), "7-x-1.50");
    EXPECT_EQ(kttl::String::format(nullptr), "");
    kttl::String big = kttl::String::format("%s%0300d", "z", 5);  // beyond the small buffer
    EXPECT_EQ(big.size(), 301u);
    EXPECT_EQ(big.back(), '5');
    kttl::String a("v=");
    a.appendFormat("%u", 42u);
    EXPECT_EQ(a, "v=42");
    EXPECT_EQ(a.assignFormat("%c", 'q'), "q");

    struct Cmp { const char* a; const char* b; int sign; };
    for (const Cmp& c : {Cmp{"Hour", "hour", 0}, Cmp{"abc", "ABD", -1}, Cmp{"abcd", "ABC", 1},
                         Cmp{"", "", 0}, Cmp{"a", "", 1}, Cmp{"MINUTES", "minutes", 0}}) {
        int got = kttl::String(c.a).compareNoCase(c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    }
    EXPECT_TRUE(kttl::String("").equalsNoCase(static_cast<const char*>(nullptr)));
    EXPECT_EQ(kttl::String("MiXeD1").toLower(), "mixed1");
    EXPECT_EQ(kttl::String("MiXeD1").toUpper(), "MIXED1");

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
    EXPECT_EQ(r.replaceAll("X", "XY"), 3u);
    EXPECT_EQ(r, "aXYbXYXYc");
    EXPECT_TRUE(kttl::String("kttl_String").startsWith("kttl_"));
    EXPECT_TRUE(kttl::String("a.bin").endsWith(".bin"));
    EXPECT_FALSE(kttl::String("n").endsWith("bin"));
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
    EXPECT_TRUE(kttl::String(" 1.25 ").parseDouble(d));
    EXPECT_EQ(d, 1.25);
    EXPECT_FALSE(kttl::String("1.2.3").parseDouble(d));
}

TEST(String, UsableAsOrderedAndHashedKey) {
    std::map<kttl::String, int> m;
    m["b"] = 2;
    m[kttl::String("a")] = 1;
    m[std::string("c")] = 3;
    std::string order;
    for (auto& kv : m) order += kv.first;
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(m.count("a"), 1u);
    std::unordered_map<kttl::String, int> h{{"x", 1}};
    EXPECT_EQ(h.at("x"), 1);
    kttl::String s = kttl::String("a") + "b";
    EXPECT_TRUE(s == "ab");
    EXPECT_TRUE(s != kttl::String("AB"));
    EXPECT_TRUE(kttl::String("a") < kttl::String("b"));

    std::map<kttl::String, int, kttl::String::NoCaseLess> units{{"Minute", 1}};
    EXPECT_EQ(units.count("MINUTE"), 1u);
    EXPECT_EQ(units.count("minutes"), 0u);
}
