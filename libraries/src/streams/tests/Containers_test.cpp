#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "StreamTestUtil.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_UUID.h"
#include "ktsl_IntMap.h"
#include "ktsl_List.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"

namespace {

// Stands in for a tracked object: only its id matters for the container ids.
struct FakeObject : ktsl::Serializable {
    kttl::Integer n;
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Object; }
    kttl::String getTypeName() const override { return "Object"; }
    kttl::String toXML(const char* tag) const override { return n.toXML(tag); }
    bool fromXML(const char* xml) override { return n.fromXML(xml); }
    unsigned getBinLength() const override { return n.getBinLength(); }
    unsigned toBin(unsigned char* out) const override { return n.toBin(out); }
    unsigned fromBin(const unsigned char* in, unsigned len) override { return n.fromBin(in, len); }
};

using StrList = ktsl::List<kttl::String>;
using IntSet = ktsl::Set<kttl::Integer>;
using StrMap = ktsl::StringMap<kttl::String>;

const char* const kNs = "http://schemas.veltrano.com/settings/1.0";

}  // namespace

TEST(Containers, TypeIdsDeriveFromTheElement) {
    struct Case { unsigned short got, want; const char* name; };
    const Case cases[] = {
        {StrList().getTypeId(), 5501, "list of strings"},
        {IntSet().getTypeId(), 10504, "set of integers"},
        {StrMap().getTypeId(), 15501, "string map of strings"},
        {ktsl::IntMap<FakeObject>().getTypeId(), 20004, "integer map of objects"},
        {ktsl::List<kttl::UUID>().getTypeId(), 5507, "list of ids"},
        {ktsl::StringMap<StrList>().getTypeId(), 20501, "string map of string lists"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_EQ(StrList().getTypeName(), "List");
    EXPECT_EQ(StrMap().getTypeName(), "StringMap");
    EXPECT_EQ(ktsl::IntMap<kttl::String>().getTypeName(), "IntMap");
}

TEST(Containers, ListBinaryFormIsAStreamOfIdCountAndElements) {
    Bytes empty;
    put32(empty, 24);
    putIntegerRecord(empty, 501);
    putIntegerRecord(empty, 0);
    EXPECT_EQ(binOf(StrList()), empty);
    EXPECT_EQ(empty.size(), 28u);

    StrList l{"b", "a", "b"};
    Bytes want;
    put32(want, 24 + 3 * 14);
    putIntegerRecord(want, 501);
    putIntegerRecord(want, 3);
    for (char c : {'b', 'a', 'b'}) {
        putRecordHeader(want, 501, 6);
        put32(want, 1);
        want.push_back(static_cast<unsigned char>(c));
        want.push_back(0);
    }
    EXPECT_EQ(binOf(l), want);
    StrList back{"old"};
    EXPECT_EQ(readBin(back, want), want.size());
    EXPECT_EQ(back, l);

    // The stream form can be read with an object stream directly.
    ktsl::MemIOStream s;
    readBin(s, want);
    kttl::Integer id, count;
    s.read(id);
    s.read(count);
    EXPECT_EQ(id, 501);
    EXPECT_EQ(count, 3);

    // A set shares the form and keeps order and uniqueness.
    IntSet set{3, 1, 2, 1};
    IntSet setBack;
    EXPECT_EQ(readBin(setBack, binOf(set)), set.getBinLength());
    EXPECT_EQ(setBack, (IntSet{1, 2, 3}));
}

TEST(Containers, HostileSequenceInputsAreRefusedAndLeaveTheTargetUnchanged) {
    auto header = [](unsigned bodyLen, int id, int count) {
        Bytes b;
        put32(b, bodyLen);
        putIntegerRecord(b, id);
        putIntegerRecord(b, count);
        return b;
    };
    Bytes countTooLarge = header(24 + 8, 501, 2);  // room for one 8-byte record only
    putRecordHeader(countTooLarge, 501, 0);
    Bytes hugeCount = header(24, 501, 0x7FFFFFFF);
    Bytes negative = header(24, 501, -1);
    Bytes wrongElement = header(24 + 14, 504, 1);
    putRecordHeader(wrongElement, 501, 6);
    put32(wrongElement, 1);
    wrongElement.push_back('a');
    wrongElement.push_back(0);
    Bytes recordOfOtherType = header(24 + 12, 501, 1);
    putIntegerRecord(recordOfOtherType, 5);
    Bytes bodyLies = header(24, 501, 0);
    bodyLies[0] = 25;  // one byte more than there is
    Bytes bodyWraps = header(24, 501, 0);
    bodyWraps[0] = bodyWraps[1] = bodyWraps[2] = bodyWraps[3] = 0xFF;
    Bytes truncated = binOf(StrList{"abc"});
    truncated.pop_back();
    Bytes elementLies = header(24 + 14, 501, 1);
    putRecordHeader(elementLies, 501, 6);
    put32(elementLies, 0x7FFFFFFF);  // the string's own length runs past its record
    elementLies.push_back('a');
    elementLies.push_back(0);
    Bytes missingCount;
    put32(missingCount, 12);
    putIntegerRecord(missingCount, 501);

    struct Case { const char* what; const Bytes* in; };
    for (const Case& c : {Case{"count beyond the bytes", &countTooLarge}, Case{"huge count", &hugeCount},
                          Case{"negative count", &negative}, Case{"element id differs", &wrongElement},
                          Case{"record of another type", &recordOfOtherType}, Case{"body length lies", &bodyLies},
                          Case{"body length wraps", &bodyWraps}, Case{"truncated", &truncated},
                          Case{"element length lies", &elementLies}, Case{"count record missing", &missingCount}}) {
        StrList l{"keep"};
        EXPECT_TRUE(fromBinRefused(l, *c.in)) << c.what;
        EXPECT_EQ(l, StrList{"keep"}) << c.what;
        ktsl::Set<kttl::String> s{"keep"};
        EXPECT_TRUE(fromBinRefused(s, *c.in)) << c.what;
        EXPECT_EQ(s.size(), 1u) << c.what;
    }
}

TEST(Containers, MapBinaryFormIsCountThenKeyValuePairsInKeyOrder) {
    StrMap m;
    m["b"] = "2";
    m["a"] = "1";
    Bytes want{2, 0, 0, 0};
    for (const char* kv : {"a", "1", "b", "2"}) {
        put32(want, 1);
        want.push_back(static_cast<unsigned char>(kv[0]));
        want.push_back(0);
    }
    EXPECT_EQ(binOf(m), want);
    StrMap back;
    back["x"] = "y";
    EXPECT_EQ(readBin(back, want), want.size());
    EXPECT_EQ(back, m);

    ktsl::IntMap<kttl::Double> im;
    im[-1] = 0.5;
    im[7] = 2.0;
    Bytes imBin = binOf(im);
    EXPECT_EQ(imBin.size(), 4u + 2 * 12);
    EXPECT_EQ(Bytes(imBin.begin(), imBin.begin() + 8), (Bytes{2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    ktsl::IntMap<kttl::Double> imBack;
    readBin(imBack, imBin);
    EXPECT_EQ(imBack, im);

    // Nested containers round-trip.
    ktsl::StringMap<StrList> nested;
    nested["one"] = StrList{"x"};
    nested["none"];
    ktsl::StringMap<StrList> nestedBack;
    EXPECT_EQ(readBin(nestedBack, binOf(nested)), nested.getBinLength());
    EXPECT_EQ(nestedBack, nested);

    for (const Bytes& bad : {Bytes{1, 0, 0, 0, 1, 0, 0, 0, 'a', 0}, Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0},
                             Bytes{0xFE, 0xFF, 0xFF, 0xFF}, Bytes{1, 0}}) {
        StrMap keep{{"k", "v"}};
        EXPECT_TRUE(fromBinRefused(keep, bad));
        EXPECT_EQ(keep, (StrMap{{"k", "v"}}));
    }
    // A repeated key keeps its first value.
    Bytes dup{2, 0, 0, 0};
    for (const char* kv : {"a", "1", "a", "2"}) {
        put32(dup, 1);
        dup.push_back(static_cast<unsigned char>(kv[0]));
        dup.push_back(0);
    }
    StrMap d;
    readBin(d, dup);
    EXPECT_EQ(d, (StrMap{{"a", "1"}}));
}

TEST(Containers, XmlForms) {
    StrList l{"x&y", ""};
    EXPECT_EQ(l.toXML("names"), "<names><kttl_String>x&amp;y</kttl_String><kttl_String/></names>");
    EXPECT_EQ(l.toXML(), "<List><kttl_String>x&amp;y</kttl_String><kttl_String/></List>");
    EXPECT_EQ(l.toXML(nullptr), "");
    StrList lBack;
    ASSERT_TRUE(lBack.fromXML(l.toXML("names").c_str()));
    EXPECT_EQ(lBack, l);

    IntSet s{2, 1};
    EXPECT_EQ(s.toXML("ids"), "<ids><item>1</item><item>2</item></ids>\n");
    EXPECT_EQ(s.toXML("ids", "id"), "<ids><id>1</id><id>2</id></ids>\n");
    EXPECT_EQ(IntSet().toXML("ids"), "<ids></ids>\n");
    IntSet sBack{9};
    ASSERT_TRUE(sBack.fromXML("<ids><item>4</item><item>bad</item><other>5</other><item>4</item></ids>"));
    EXPECT_EQ(sBack, (IntSet{4, 5}));  // every child that reads, whatever its tag
    EXPECT_FALSE(sBack.fromXML("<ids/>"));
    EXPECT_FALSE(sBack.fromXML("<ids>3</ids>"));
    EXPECT_FALSE(sBack.fromXML("not xml"));
    EXPECT_EQ(sBack, (IntSet{4, 5}));

    StrMap m{{"b", "2"}, {"a \"q\"", "<1>"}};
    EXPECT_EQ(m.toXML("map"), std::string("<map xmlns:kt=\"") + kNs +
                                  "\"><item kt:displayName=\"a &quot;q&quot;\">&lt;1&gt;</item>"
                                  "<item kt:displayName=\"b\">2</item></map>");
    StrMap mBack;
    ASSERT_TRUE(mBack.fromXML(m.toXML("map").c_str()));
    EXPECT_EQ(mBack, m);
    EXPECT_EQ((StrMap{{"e", ""}}.toXML("m")), std::string("<m xmlns:kt=\"") + kNs + "\"><item kt:displayName=\"e\"/></m>");
}

TEST(Containers, StringMapXmlReading) {
    ktsl::StringMap<kttl::Integer> m;
    m["keep"] = 1;
    EXPECT_FALSE(m.fromXML("<map/>"));
    EXPECT_FALSE(m.fromXML("<map>text</map>"));
    EXPECT_FALSE(m.fromXML("<map><unclosed></map>"));
    EXPECT_EQ(m.size(), 1u);

    ASSERT_TRUE(m.fromXML("<map xmlns:kt=\"u\">"
                          "<item kt:displayName=\"width\">5</item>"
                          "<height>7</height>"                         // no display name: element name
                          "<item kt:displayName=\"\">8</item>"          // empty display name: element name
                          "<item kt:displayName=\"width\">6</item>"     // repeated key: first wins
                          "<item kt:displayName=\"bad\">x</item>"       // value that does not read: skipped
                          "</map>"));
    EXPECT_EQ(m, (ktsl::StringMap<kttl::Integer>{{"width", 5}, {"height", 7}, {"item", 8}}));
}

TEST(Containers, GeneralMapHasNoXmlForm) {
    ktsl::IntMap<kttl::String> m;
    expectThrowMessage([&] { m.toXML("t"); }, "streams/ktsl_Map", "ktsl::Map::toXML - not defined for this type of map.");
    expectThrowMessage([&] { m.toXML(); }, "streams/ktsl_Map", "ktsl::Map::toXML - not defined for this type of map.");
    expectThrowMessage([&] { m.fromXML("<t/>"); }, "streams/ktsl_Map",
                       "ktsl::Map::fromXML - not defined for this type of map.");
}

TEST(Containers, FileRoundTrips) {
    const std::string path = std::string(KT_BINARY_DIR) + "/ktsl_containers_file.bin";
    StrMap m{{"zone", "a"}, {"name", "b"}};
    ASSERT_TRUE(m.toFile(path.c_str()));
    StrMap back;
    ASSERT_TRUE(back.fromFile(path.c_str()));
    EXPECT_EQ(back, m);
    StrList wrongType;
    EXPECT_FALSE(wrongType.fromFile(path.c_str()));

    ktsl::List<kttl::UUID> ids{kttl::UUID::generate(), kttl::UUID::generateTime()};
    ASSERT_TRUE(ids.toFile(path.c_str()));
    ktsl::List<kttl::UUID> idsBack;
    ASSERT_TRUE(idsBack.fromFile(path.c_str()));
    EXPECT_EQ(idsBack, ids);
    std::remove(path.c_str());
}
