#include <gtest/gtest.h>

#include <string>

#include "../../misc/tests/TestBytes.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_UUID.h"
#include "ktsl_IntMap.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"

namespace {

// Stands in for a tracked object: only its id matters for the container ids.
struct FakeObject : kttl::Integer {
    unsigned short getTypeId() const override { return ktsl::TypeId::Object; }
};

using StrList = ktsl::List<kttl::String>;
using IntSet = ktsl::Set<kttl::Integer>;
using StrMap = ktsl::StringMap<kttl::String>;

const std::string kNs = "http://schemas.veltrano.com/settings/1.0";

// A sequence form: u32 body length, the element id and count records, then `records`.
Bytes sequence(int elementId, int count, const Bytes& records) {
    Bytes b;
    put32(b, static_cast<unsigned>(24 + records.size()));
    putIntegerRecord(b, elementId);
    putIntegerRecord(b, count);
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

// One-character String forms, back to back.
Bytes chars(const char* s, bool asRecords) {
    Bytes b;
    for (; *s; ++s) {
        if (asRecords) putRecordHeader(b, 501, 6);
        put32(b, 1);
        b.push_back(static_cast<unsigned char>(*s));
        b.push_back(0);
    }
    return b;
}

}  // namespace

TEST(Containers, TypeIdsDeriveFromTheElement) {
    EXPECT_EQ(StrList().getTypeId(), 5501);
    EXPECT_EQ(IntSet().getTypeId(), 10504);
    EXPECT_EQ(StrMap().getTypeId(), 15501);
    EXPECT_EQ(ktsl::IntMap<FakeObject>().getTypeId(), 20004);
    EXPECT_EQ(ktsl::StringMap<StrList>().getTypeId(), 20501);
    EXPECT_EQ(StrList().getTypeName() + IntSet().getTypeName() + StrMap().getTypeName() +
                  ktsl::IntMap<kttl::String>().getTypeName(),
              "ListSetStringMapIntMap");
}

TEST(Containers, SequenceBinaryFormIsAStreamOfIdCountAndElements) {
    const Bytes empty = sequence(501, 0, {});
    EXPECT_EQ(empty.size(), 28u);
    EXPECT_EQ(binOf(StrList()), empty);
    const Bytes three = sequence(501, 3, chars("bab", true));
    EXPECT_EQ(binOf(StrList{"b", "a", "b"}), three);
    StrList back{"old"};
    EXPECT_EQ(readBin(back, three), three.size());
    EXPECT_EQ(back, (StrList{"b", "a", "b"}));
    // A set shares the form and keeps order and uniqueness.
    IntSet setBack;
    EXPECT_EQ(readBin(setBack, binOf(IntSet{3, 1, 2, 1})), 28u + 3 * 12);
    EXPECT_EQ(setBack, (IntSet{1, 2, 3}));
}

TEST(Containers, HostileSequenceInputsAreRefusedAndLeaveTheTargetUnchanged) {
    Bytes oneRecordShort;  // room for one 8-byte record, count 2
    putRecordHeader(oneRecordShort, 501, 0);
    Bytes bodyLies = sequence(501, 0, {}), bodyWraps = bodyLies, truncated = binOf(StrList{"abc"});
    bodyLies[0] = 25;  // one byte more than there is
    bodyWraps[0] = bodyWraps[1] = bodyWraps[2] = bodyWraps[3] = 0xFF;
    truncated.pop_back();
    Bytes elementLies = chars("a", true);
    elementLies[8] = elementLies[9] = elementLies[10] = 0xFF;  // the string's own length runs past its record
    Bytes otherRecord, missingCount;
    putIntegerRecord(otherRecord, 5);
    put32(missingCount, 12);
    putIntegerRecord(missingCount, 501);

    struct Case { const char* what; Bytes in; };
    const Case cases[] = {
        {"count beyond the bytes", sequence(501, 2, oneRecordShort)},
        {"huge count", sequence(501, 0x7FFFFFFF, {})},
        {"negative count", sequence(501, -1, {})},
        {"element id differs", sequence(504, 1, chars("a", true))},
        {"record of another type", sequence(501, 1, otherRecord)},
        {"body length lies", bodyLies},
        {"body length wraps", bodyWraps},
        {"truncated", truncated},
        {"element length lies", sequence(501, 1, elementLies)},
        {"count record missing", missingCount},
    };
    for (const Case& c : cases) {
        StrList l{"keep"};
        EXPECT_TRUE(fromBinRefused(l, c.in)) << c.what;
        EXPECT_EQ(l, StrList{"keep"}) << c.what;
        ktsl::Set<kttl::String> s{"keep"};
        EXPECT_TRUE(fromBinRefused(s, c.in)) << c.what;
        EXPECT_EQ(s.size(), 1u) << c.what;
    }
}

TEST(Containers, MapBinaryFormIsCountThenKeyValuePairsInKeyOrder) {
    Bytes want{2, 0, 0, 0};
    const Bytes pairs = chars("a1b2", false);
    want.insert(want.end(), pairs.begin(), pairs.end());
    EXPECT_EQ(binOf(StrMap{{"b", "2"}, {"a", "1"}}), want);
    StrMap back{{"x", "y"}};
    EXPECT_EQ(readBin(back, want), want.size());
    EXPECT_EQ(back, (StrMap{{"a", "1"}, {"b", "2"}}));

    const ktsl::IntMap<kttl::Double> im{{-1, 0.5}, {7, 2.0}};
    ktsl::IntMap<kttl::Double> imBack;
    EXPECT_EQ(readBin(imBack, binOf(im)), 4u + 2 * 12);
    EXPECT_EQ(imBack, im);
    ktsl::StringMap<StrList> nested{{"one", StrList{"x"}}, {"none", StrList()}}, nestedBack;
    EXPECT_EQ(readBin(nestedBack, binOf(nested)), nested.getBinLength());
    EXPECT_EQ(nestedBack, nested);

    Bytes dup{2, 0, 0, 0};  // a repeated key keeps its first value
    const Bytes dupPairs = chars("a1a2", false);
    dup.insert(dup.end(), dupPairs.begin(), dupPairs.end());
    readBin(back, dup);
    EXPECT_EQ(back, (StrMap{{"a", "1"}}));
}

TEST(Containers, XmlForms) {
    const StrList l{"x&y", ""};
    EXPECT_EQ(l.toXML(), "<List><kttl_String>x&amp;y</kttl_String><kttl_String/></List>");
    StrList lBack;
    ASSERT_TRUE(lBack.fromXML(l.toXML("names").c_str()));
    EXPECT_EQ(lBack, l);

    EXPECT_EQ(IntSet({2, 1}).toXML("ids"), "<ids><item>1</item><item>2</item></ids>\n");
    EXPECT_EQ(IntSet({2, 1}).toXML("ids", "id"), "<ids><id>1</id><id>2</id></ids>\n");
    IntSet sBack{9};
    ASSERT_TRUE(sBack.fromXML("<ids><item>4</item><item>bad</item><other>5</other><item>4</item></ids>"));
    EXPECT_EQ(sBack, (IntSet{4, 5}));  // every child that reads, whatever its tag
    for (const char* bad : {"<ids/>", "<ids>3</ids>", "not xml"}) EXPECT_FALSE(sBack.fromXML(bad)) << bad;
    EXPECT_EQ(sBack, (IntSet{4, 5}));

    const StrMap m{{"b", "2"}, {"a \"q\"", "<1>"}, {"e", ""}};
    EXPECT_EQ(m.toXML("map"), "<map xmlns:kt=\"" + kNs +
                                  "\"><item kt:displayName=\"a &quot;q&quot;\">&lt;1&gt;</item>"
                                  "<item kt:displayName=\"b\">2</item><item kt:displayName=\"e\"/></map>");
    StrMap mBack;
    ASSERT_TRUE(mBack.fromXML(m.toXML("map").c_str()));
    EXPECT_EQ(mBack, m);

    ktsl::IntMap<kttl::String> general;
    expectThrowMessage([&] { general.toXML("t"); }, "streams/ktsl_Map",
                       "ktsl::Map::toXML - not defined for this type of map.");
    expectThrowMessage([&] { general.fromXML("<t/>"); }, "streams/ktsl_Map",
                       "ktsl::Map::fromXML - not defined for this type of map.");
}

TEST(Containers, StringMapXmlReading) {
    ktsl::StringMap<kttl::Integer> m{{"keep", 1}};
    for (const char* bad : {"<map/>", "<map>text</map>", "<map><unclosed></map>"}) EXPECT_FALSE(m.fromXML(bad)) << bad;
    EXPECT_EQ(m.size(), 1u);
    ASSERT_TRUE(m.fromXML("<map xmlns:kt=\"u\">"
                          "<item kt:displayName=\"width\">5</item>"
                          "<height>7</height>"                      // no display name: element name
                          "<item kt:displayName=\"\">8</item>"       // empty display name: element name
                          "<item kt:displayName=\"width\">6</item>"  // repeated key: first wins
                          "<item kt:displayName=\"bad\">x</item>"    // value that does not read: skipped
                          "</map>"));
    EXPECT_EQ(m, (ktsl::StringMap<kttl::Integer>{{"width", 5}, {"height", 7}, {"item", 8}}));
}
